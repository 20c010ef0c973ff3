#!/usr/bin/env bash
# Runs a program of the Windows build under Wine; CTest's emulator for that
# build (cmake/Win32Testing.cmake), so tests and test discovery come here.
#
#   scripts/wine-test-run.sh STATE PROGRAM.exe [ARGS...]
#   scripts/wine-test-run.sh --host STATE PROGRAM [ARGS...]
#   scripts/wine-test-run.sh --cleanup STATE
#
# --host runs a program of the build machine instead (the GUI suite's
# gui_wine_test) in such a copy, with WINEPREFIX set: it starts the Windows
# programs it drives with `wine` itself.
#
# STATE is a folder of the build (build-win32/wine) holding what a run
# shares.  A Wine prefix takes about 600 MB and 5-10 s to boot, so one
# "template" prefix is made per test run, that is per CTest process (run by
# hand, per calling shell; --cleanup from that shell removes it): by the first
# program that needs it, in a temporary folder, with its user folders made
# real folders inside it rather than links into a home folder.  Templates of
# runs whose CTest has gone are removed by the next run.  Every program then
# runs in a private
# copy of it: hard links to the template's files (Wine replaces, never
# rewrites, the files it changes), real copies of the files it does rewrite
# (the registry, the precompiled INF files), its own HOME (Wine would
# otherwise write menu entries and links into the real one) and its own
# wineserver.  --cleanup (the last test of a run) removes the
# template and fails when a test's write reached it through a hard link.
set -euo pipefail

export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"

die() {
  echo "wine-test-run: $*" >&2
  exit 1
}

# The CTest process this run belongs to, with its start time against pid
# reuse: "PID:START".
run_owner() {
  local start
  start=$(awk '{print $22}' "/proc/$PPID/stat" 2>/dev/null || echo 0)
  echo "$PPID:$start"
}

owner_alive() {
  local pid=${1%%:*} start=${1#*:}
  [ "$(awk '{print $22}' "/proc/$pid/stat" 2>/dev/null)" = "$start" ]
}

# Size, time and inode of every file: a write through a hard link changes them.
manifest() {
  (cd "$1" && find . -type f -printf '%i %s %T@ %p\n' | LC_ALL=C sort)
}

boot_template() {
  local run=$1
  mkdir -p "$run/template/home" "$run/template/tmp"
  (
    export WINEPREFIX="$run/template/prefix" HOME="$run/template/home"
    export TMPDIR="$run/template/tmp"
    wineboot --init </dev/null >"$run/template/boot.log" 2>&1
    # The GUI suite's Xvfb has no window manager, for which Wine would wait
    # 2 s whenever a window it left to one is hidden or destroyed.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
      </dev/null >>"$run/template/boot.log" 2>&1
    # A graceful shutdown writes the registry files out; asked for at once,
    # it spares the server's idle wait of a few seconds.
    wineserver -k </dev/null >/dev/null 2>&1
    wineserver --wait </dev/null >/dev/null 2>&1
  ) || die "booting the Wine prefix failed (see $run/template/boot.log)"
  # Desktop, Documents, Templates... are links to the booting HOME.
  find "$run/template/prefix/drive_c/users" -type l -print0 |
    while IFS= read -r -d '' link; do
      rm "$link"
      mkdir "$link"
    done
  manifest "$run/template/prefix" >"$run/template.manifest"
}

# Removes a run: its leftover copies, then its template, checked first for
# changes that a test made through a hard link (a failure).
remove_run() {
  local run=$1 clone status=0
  for clone in "$run"/clone-*; do
    if [ -d "$clone/prefix" ]; then
      end_clone "$clone"
    fi
  done
  if [ -f "$run/template.manifest" ] &&
    ! diff "$run/template.manifest" <(manifest "$run/template/prefix") >&2; then
    echo "wine-test-run: a test changed the template prefix through a hard link" >&2
    status=1
  fi
  rm -rf "$run"
  return "$status"
}

# Each CTest run has its own entry in STATE/runs naming its run folder, so
# runs of one build at the same time keep apart; entries of runs whose CTest
# has gone (interrupted) are removed with their folders.
# Prints the run folder, making the template when this run has none yet.
template_for_this_run() {
  local state=$1 owner entry run=""
  owner=$(run_owner)
  mkdir -p "$state/runs"
  exec 9>"$state/lock"
  flock 9
  for entry in "$state"/runs/*; do
    [ -f "$entry" ] || continue
    if [ "${entry##*/}" = "$owner" ]; then
      run=$(cat "$entry")
    elif ! owner_alive "${entry##*/}"; then
      remove_run "$(cat "$entry")" || true
      rm -f "$entry"
    fi
  done
  if [ -z "$run" ] || [ ! -f "$run/template.manifest" ]; then
    run=$(mktemp -d "${TMPDIR:-/tmp}/hobnar-wine-XXXXXX")
    boot_template "$run"
    echo "$run" >"$state/runs/$owner"
  fi
  exec 9>&-
  echo "$run"
}

cleanup() {
  local state=$1 entry status=0
  entry="$state/runs/$(run_owner)"
  [ -f "$entry" ] || exit 0
  exec 9>"$state/lock"
  flock 9
  remove_run "$(cat "$entry")" || status=1
  rm -f "$entry"
  exit "$status"
}

# Every process started with this prefix: the server, Wine's services, what
# the program started (Windows programs, and build-machine programs through
# hobnar-host-run, which inherit the variable too).
prefix_processes() {
  grep -lsxzF "WINEPREFIX=$1" /proc/[0-9]*/environ | cut -d/ -f3 || true
}

# Ends whatever the program left behind and removes the copy.  A killed
# prefix is not saved, and needs not be: a graceful `wineserver -k` spends
# 0.75 s shutting down what is thrown away anyway.  hobnar-host-run's
# process groups are ended too, in case a program cleared its environment.
end_clone() {
  local clone=$1 pid
  # shellcheck disable=SC2046
  kill -KILL $(prefix_processes "$clone/prefix") 2>/dev/null || true
  for pid in "$clone"/host-pids/*; do
    [ -e "$pid" ] && kill -KILL -- "-${pid##*/}" 2>/dev/null || true
  done
  rm -rf "$clone"
}

run_program() {
  local state=$1 run clone status=0 reg
  shift
  run=$(template_for_this_run "$state")
  [ -d "$run/template/prefix" ] || exit 1
  clone=$(mktemp -d "$run/clone-XXXXXX")
  trap 'end_clone "$clone"' EXIT
  trap 'exit 130' INT TERM
  cp -al "$run/template/prefix" "$clone/prefix"
  # A program with a window also installs Wine's input devices, which
  # rewrites the precompiled INF files in place: real copies too.
  local template=$run/template/prefix
  for reg in "$template"/*.reg "$template"/drive_c/windows/inf/*.pnf; do
    cp --remove-destination "$reg" "$clone/prefix/${reg#"$template"/}"
  done
  mkdir "$clone/home" "$clone/tmp" "$clone/host-pids"
  # The server's socket folder (Debian's Wine makes it in TMPDIR) goes with
  # the copy too.
  export WINEPREFIX="$clone/prefix" HOME="$clone/home" TMPDIR="$clone/tmp"
  export HOBNAR_HOST_PIDS="$clone/host-pids"
  # Started apart from CTest's pipes: a server holding them open would keep
  # CTest waiting after the test.  Left alone, it ends 30 s after its last client.
  wineserver -p30 </dev/null >/dev/null 2>&1
  # In the background so that an interrupt ends it (through end_clone)
  # instead of waiting for it.
  if [ "$host" = 1 ]; then
    "$@" &
  else
    wine "$@" &
  fi
  wait $! || status=$?
  exit "$status"
}

host=0
case "${1:-}" in
  --host)
    [ $# -ge 3 ] || die "usage: $0 --host STATE PROGRAM [ARGS...]"
    host=1
    shift
    run_program "$@"
    ;;
  --cleanup)
    [ $# -eq 2 ] || die "usage: $0 --cleanup STATE"
    cleanup "$2"
    ;;
  "" | -*)
    die "usage: $0 [--host] STATE PROGRAM [ARGS...] | $0 --cleanup STATE"
    ;;
  *)
    [ $# -ge 2 ] || die "usage: $0 STATE PROGRAM.exe [ARGS...]"
    run_program "$@"
    ;;
esac
