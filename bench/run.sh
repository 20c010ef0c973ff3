#!/usr/bin/env bash
# Benchmarks of hobnar-setup against its reference tools, on loopback against
# the real hobnar-backend, in one run; prints a table (see bench/RESULTS.md).
#
#   bench/run.sh            # builds build-bench (Release, -DHOBNAR_BENCH=ON) when needed
#
# Rows: download (engine vs curl -o), the same checked while it arrives
# (SHA-256, and the signature's BLAKE2b hash) against unchecked, the same
# through a capped and cut link
# (bytes transferred), extraction (engine vs unrar x, or rar x when unrar is
# not installed), start-up until the window is mapped (Xvfb) with a backend
# that answers, one that never answers and none listening, peak resident
# memory of an unattended install, stripped program size, and the size of
# the one Windows program when build-win32 has made it.
#
# Environment: HOBNAR_BENCH_BUILD (build folder, default build-bench),
# BENCH_RUNS (download and extraction runs each, default 5),
# BENCH_CAPPED_RUNS (default 2; each takes ~35 s), BENCH_STARTUP_RUNS
# (default 20), BENCH_ROWS (startup: only the start-up rows).  The start-up
# and memory rows need the installer's test port 18080 (hobnar-setup dev
# talks to it); the script waits for it to be free.
# These are measurements, never pass/fail tests: the exit status is 0 when
# every row could be measured, whatever the numbers.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${HOBNAR_BENCH_BUILD:-"$here/build-bench"}
runs=${BENCH_RUNS:-5}
capped_runs=${BENCH_CAPPED_RUNS:-2}
startup_runs=${BENCH_STARTUP_RUNS:-20}
work="$build/bench-run"
package_mib=256
test_port=18080
route=/client/win/mainprogram/win-ia32-unpacked.rar

say() { echo "bench: $*" >&2; }
die() {
  say "$*"
  exit 1
}

# ---- build ------------------------------------------------------------------
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DHOBNAR_BENCH=ON \
    -DHOBNAR_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j2 >/dev/null
setup="$build/app/hobnar-setup"
backend="$build/server/hobnar-backend"
bench="$build/bench/hobnar-bench"
mapwatch="$build/bench/hobnar-mapwatch"
for program in "$setup" "$backend" "$bench" "$mapwatch"; do
  [ -x "$program" ] || die "$program is missing (configure $build with -DHOBNAR_BENCH=ON)"
done
for tool in rar curl Xvfb awk; do
  command -v "$tool" >/dev/null || die "$tool is not installed (scripts/setup.sh installs it)"
done
if command -v unrar >/dev/null; then
  unpacker=(unrar x -idq -o+)
  unpacker_name="unrar x"
else
  # rar extracts with the same RARLAB engine; Debian's non-free unrar package
  # provides the unrar program itself.
  unpacker=(rar x -idq -o+)
  unpacker_name="rar x"
fi

# ---- clean-up -----------------------------------------------------------------
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
rm -rf "$work"
mkdir -p "$work"

# ---- helpers --------------------------------------------------------------------
median() { sort -g | awk '{v[NR] = $1} END {if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
minmax() { sort -g | awk 'NR == 1 {lo = $1} {hi = $1} END {printf "%s..%s", lo, hi}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.3f\n", a / b}'; }
verdict() { awk -v v="$1" -v t="$2" 'BEGIN {print (v <= t ? "met" : "MISSED")}'; }
now() { echo "$EPOCHREALTIME"; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.4f\n", b - a}'; }

# A throw-away HOME, XDG folders and registry file, fresh for each call.
fresh_home() {
  local home="$work/home"
  rm -rf "$home"
  mkdir -p "$home/state" "$home/data" "$home/config" "$home/Desktop"
  export HOME="$home" XDG_STATE_HOME="$home/state" XDG_DATA_HOME="$home/data"
  export XDG_CONFIG_HOME="$home/config" XDG_DESKTOP_DIR="$home/Desktop"
  export HOBNAR_REGISTRY_DB="$home/registry.db"
}

# start_backend NAME PORT PACKAGE [FAULTS...]: sets backend_url.
start_backend() {
  local name=$1 port=$2 package=$3
  shift 3
  "$backend" --port "$port" --package "$package" --db "$work/$name.db" "$@" \
    >"$work/$name.out" 2>"$work/$name.log" &
  pids+=($!)
  backend_pid=$!
  for _ in $(seq 100); do
    backend_url=$(sed -n 's/^hobnar-backend listening on //p' "$work/$name.out")
    [ -n "$backend_url" ] && return 0
    kill -0 "$backend_pid" 2>/dev/null || break
    sleep 0.1
  done
  die "hobnar-backend $name did not start: $(cat "$work/$name.log")"
}

stop_backend() {
  kill "$backend_pid" 2>/dev/null || true
  wait "$backend_pid" 2>/dev/null || true
}

# start_test_backend NAME PACKAGE [FAULTS...]: a backend on the installer's
# test port, which test runs of other checkouts may hold for a while.
start_test_backend() {
  local attempt name=$1 package=$2
  shift 2
  for attempt in $(seq 300); do
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$test_port") 2>/dev/null; then
      "$backend" --port "$test_port" --package "$package" --db "$work/$name.db" "$@" \
        >"$work/$name.out" 2>"$work/$name.log" &
      backend_pid=$!
      pids+=($!)
      for _ in $(seq 100); do
        grep -q '^hobnar-backend listening on ' "$work/$name.out" && return 0
        kill -0 "$backend_pid" 2>/dev/null || break
        sleep 0.1
      done
      wait "$backend_pid" 2>/dev/null || true
    fi
    [ $((attempt % 20)) = 1 ] && say "waiting for port $test_port"
    sleep 1
  done
  die "port $test_port stayed busy: $(cat "$work/$name.log")"
}

# wait_for_free_test_port: nothing listens on the installer's test port.
wait_for_free_test_port() {
  local attempt
  for attempt in $(seq 300); do
    (exec 3<>"/dev/tcp/127.0.0.1/$test_port") 2>/dev/null || return 0
    [ $((attempt % 20)) = 1 ] && say "waiting for port $test_port"
    sleep 1
  done
  die "port $test_port stayed busy"
}

# Sum of the body bytes the backend sent for the package route, from its
# request log, starting at line $2.
sent_bytes() {
  tail -n "+$2" "$1" | awk -v route="$route" '$2 == route {for (i = 3; i <= NF; i++) if ($i ~ /^sent=/) s += substr($i, 6)} END {printf "%d", s}'
}

# ---- the package: ~256 MiB of mixed files, stored and compressed ------------------
make_package() {
  local content="$work/content"
  mkdir -p "$content/stored" "$content/packed/logs" "$content/packed/data"
  printf '#!/bin/sh\necho hobnarAudio\n' >"$content/hobnarAudio.exe"
  printf '#!/bin/sh\nexit 0\n' >"$content/unInstall.exe"
  chmod 755 "$content/hobnarAudio.exe" "$content/unInstall.exe"
  # Incompressible: pseudo-random model files, stored.
  local i
  for i in $(seq -w 1 13); do
    head -c 16M /dev/urandom >"$content/stored/model$i.bin"
  done
  # Partly compressible: base64 text (about three quarters of its size).
  for i in 1 2 3 4; do
    head -c 10400K /dev/urandom | base64 -w 76 >"$content/packed/data/table$i.txt"
  done
  # Very compressible: a thousand small log-like files in nested folders.
  awk -v dir="$content/packed/logs" 'BEGIN {
    srand(7)
    for (f = 0; f < 1000; f++) {
      sub_dir = dir "/part" (f % 10)
      if (f < 10) system("mkdir -p \"" sub_dir "\"")
      name = sub_dir "/entry" f ".log"
      for (l = 0; l < 500; l++)
        printf "%06d level=%s module=speech%d frame=%d score=%.4f\n", l, (l % 7 ? "info" : "warn"), f % 13, int(rand() * 100000), rand() > name
      close(name)
    }
  }'
  (cd "$content" && rar a -idq -m0 -r "$work/package.rar" hobnarAudio.exe unInstall.exe stored &&
    rar a -idq -m3 -r "$work/package.rar" packed)
  rm -rf "$content"
}

# ---- rows ---------------------------------------------------------------------------
row_download() {
  start_backend plain 0 "$work/package.rar"
  local url="$backend_url$route" i order engine_t curl_t
  : >"$work/dl-engine.txt"
  : >"$work/dl-engine-inner.txt"
  : >"$work/dl-curl.txt"
  fresh_home
  for i in $(seq "$runs"); do
    # Alternate which one goes first, so neither always meets a warmer cache.
    for order in $([ $((i % 2)) -eq 1 ] && echo "engine curl" || echo "curl engine"); do
      rm -rf "$work/dl"
      mkdir -p "$work/dl"
      sync
      if [ "$order" = engine ]; then
        local t0 t1 out
        t0=$(now)
        out=$("$bench" download "$url" "$work/dl" 2>/dev/null | tail -n 1)
        t1=$(now)
        [ "$(sed -n 's/.*bytes=//p' <<<"$out")" = "$package_bytes" ] || die "engine download incomplete: $out"
        elapsed "$t0" "$t1" >>"$work/dl-engine.txt"
        sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$out" >>"$work/dl-engine-inner.txt"
      else
        local t0 t1
        t0=$(now)
        curl -s -o "$work/dl/curl.rar" "$url"
        t1=$(now)
        [ "$(stat -c %s "$work/dl/curl.rar")" = "$package_bytes" ] || die "curl download incomplete"
        elapsed "$t0" "$t1" >>"$work/dl-curl.txt"
      fi
    done
  done
  rm -rf "$work/dl"
  stop_backend
  engine_t=$(median <"$work/dl-engine.txt")
  curl_t=$(median <"$work/dl-curl.txt")
  dl_engine=$engine_t
  dl_engine_inner=$(median <"$work/dl-engine-inner.txt")
  dl_curl=$curl_t
  dl_ratio=$(ratio "$engine_t" "$curl_t")
  dl_engine_range=$(minmax <"$work/dl-engine.txt")
  dl_curl_range=$(minmax <"$work/dl-curl.txt")
}

# row_check PREFIX [BACKEND OPTIONS]: the package checked while it arrives
# (its SHA-256, and the BLAKE2b hash a signature check needs) against the
# same download unchecked, alternating.  Sets PREFIX_none, PREFIX_sha,
# PREFIX_both (median seconds) and PREFIX_sha_cost, PREFIX_both_cost (%).
row_check() {
  local prefix=$1
  shift
  start_backend "checked-$prefix" 0 "$work/package.rar" "$@"
  local url="$backend_url$route" i out
  local checks=(none sha256 sha256+signature) check
  for check in "${checks[@]}"; do : >"$work/chk-$check.txt"; done
  fresh_home
  for i in $(seq "$runs"); do
    for check in "${checks[@]}"; do
      rm -rf "$work/dl"
      mkdir -p "$work/dl"
      sync
      if [ "$check" = none ]; then
        out=$("$bench" download "$url" "$work/dl" 2>/dev/null | tail -n 1)
      else
        out=$("$bench" download "$url" "$work/dl" "$check" 2>/dev/null | tail -n 1)
      fi
      [ "$(sed -n 's/.*bytes=//p' <<<"$out")" = "$package_bytes" ] || die "checked download incomplete: $out"
      sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$out" >>"$work/chk-$check.txt"
    done
  done
  rm -rf "$work/dl"
  stop_backend
  local none sha both
  none=$(median <"$work/chk-none.txt")
  sha=$(median <"$work/chk-sha256.txt")
  both=$(median <"$work/chk-sha256+signature.txt")
  printf -v "${prefix}_none" %s "$none"
  printf -v "${prefix}_sha" %s "$sha"
  printf -v "${prefix}_both" %s "$both"
  printf -v "${prefix}_sha_cost" %s "$(awk -v a="$sha" -v b="$none" 'BEGIN {printf "%.1f", (a / b - 1) * 100}')"
  printf -v "${prefix}_both_cost" %s "$(awk -v a="$both" -v b="$none" 'BEGIN {printf "%.1f", (a / b - 1) * 100}')"
}

row_capped() {
  start_backend capped 0 "$work/package.rar" --bandwidth 8388608 --drop-after 33554432
  local url="$backend_url$route" i line out t0 t1
  : >"$work/cap-ratio.txt"
  : >"$work/cap-time.txt"
  : >"$work/cap-requests.txt"
  fresh_home
  for i in $(seq "$capped_runs"); do
    rm -rf "$work/dl"
    mkdir -p "$work/dl"
    line=$(($(wc -l <"$work/capped.log") + 1))
    t0=$(now)
    out=$("$bench" download "$url" "$work/dl" 2>/dev/null | tail -n 1)
    t1=$(now)
    [ "$(sed -n 's/.*bytes=//p' <<<"$out")" = "$package_bytes" ] || die "capped download incomplete: $out"
    ratio "$(sent_bytes "$work/capped.log" "$line")" "$package_bytes" >>"$work/cap-ratio.txt"
    elapsed "$t0" "$t1" >>"$work/cap-time.txt"
    tail -n "+$line" "$work/capped.log" | grep -c "$route" >>"$work/cap-requests.txt" || true
  done
  rm -rf "$work/dl"
  stop_backend
  cap_ratio=$(sort -g "$work/cap-ratio.txt" | tail -n 1)
  cap_time=$(median <"$work/cap-time.txt")
  cap_requests=$(median <"$work/cap-requests.txt")
}

row_extract() {
  : >"$work/x-engine.txt"
  : >"$work/x-engine-inner.txt"
  : >"$work/x-ref.txt"
  fresh_home
  local i order t0 t1 out
  for i in $(seq "$runs"); do
    for order in $([ $((i % 2)) -eq 1 ] && echo "engine ref" || echo "ref engine"); do
      rm -rf "$work/x"
      mkdir -p "$work/x/out"
      # The engine deletes the archive it unpacked: give it a second name.
      ln "$work/package.rar" "$work/x/engine.rar"
      sync
      t0=$(now)
      if [ "$order" = engine ]; then
        out=$("$bench" extract "$work/x/engine.rar" "$work/x/out" 2>/dev/null | tail -n 1)
        t1=$(now)
        [ "$(sed -n 's/.*bytes=//p' <<<"$out")" = "$package_entries" ] || die "engine extraction incomplete: $out"
        elapsed "$t0" "$t1" >>"$work/x-engine.txt"
        sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$out" >>"$work/x-engine-inner.txt"
        if [ "$i" = 1 ]; then
          mkdir -p "$work/x/check"
          "${unpacker[@]}" "$work/package.rar" "$work/x/check/" >/dev/null
          diff -r "$work/x/out" "$work/x/check" >/dev/null || die "the engine's files differ from $unpacker_name's"
        fi
      else
        "${unpacker[@]}" "$work/package.rar" "$work/x/out/" >/dev/null
        t1=$(now)
        elapsed "$t0" "$t1" >>"$work/x-ref.txt"
      fi
    done
  done
  rm -rf "$work/x"
  x_engine=$(median <"$work/x-engine.txt")
  x_engine_inner=$(median <"$work/x-engine-inner.txt")
  x_ref=$(median <"$work/x-ref.txt")
  x_ratio=$(ratio "$x_engine" "$x_ref")
  x_engine_range=$(minmax <"$work/x-engine.txt")
  x_ref_range=$(minmax <"$work/x-ref.txt")
}

start_xvfb() {
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/xvfb-display" 2>"$work/xvfb.log" &
  pids+=($!)
  for _ in $(seq 100); do
    [ -s "$work/xvfb-display" ] && grep -q '^[0-9]' "$work/xvfb-display" && break
    sleep 0.1
  done
  export DISPLAY=":$(head -n 1 "$work/xvfb-display")"
  [ "$DISPLAY" != ":" ] || die "Xvfb did not start: $(cat "$work/xvfb.log")"
  export GDK_BACKEND=x11 NO_AT_BRIDGE=1 GTK_A11Y=none GSETTINGS_BACKEND=memory
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-session-bus"
}

# row_startup NAME: $startup_runs starts of `hobnar-setup dev` against
# whatever answers on the test port; the median and range of the time until
# the window is mapped go to NAME_ms and NAME_range.
row_startup() {
  local name=$1 i out
  : >"$work/$name.txt"
  for i in $(seq "$startup_runs"); do
    fresh_home
    out=$("$mapwatch" 安装包下载器 "$setup" dev) || die "no installer window mapped ($name)"
    sed -n 's/^mapped_ms=//p' <<<"$out" >>"$work/$name.txt"
  done
  printf -v "${name}_ms" '%s' "$(median <"$work/$name.txt")"
  printf -v "${name}_range" '%s' "$(minmax <"$work/$name.txt")"
}

# The window's start on three networks: a backend that answers, one that
# accepts and never answers (a hung load balancer), and none at all.
rows_startup() {
  start_xvfb
  start_test_backend startup "$work/package.rar"
  say "start-up: $startup_runs runs each, answering, hung and absent backend"
  row_startup startup
  stop_backend
  start_test_backend hung "$work/package.rar" --stall 3600
  row_startup hung
  stop_backend
  wait_for_free_test_port
  row_startup absent
}

startup_table_rows() {
  cat <<ROWS
| start-up to mapped window (median of $startup_runs) | ${startup_ms} ms (${startup_range}) | | ${startup_ms} ms | < 150 ms | $(verdict "$startup_ms" 149.999) |
| the same with a backend that never answers | ${hung_ms} ms (${hung_range}) | | ${hung_ms} ms | < 200 ms | $(verdict "$hung_ms" 199.999) |
| the same with nothing listening | ${absent_ms} ms (${absent_range}) | | ${absent_ms} ms | < 200 ms | $(verdict "$absent_ms" 199.999) |
ROWS
}

# peak_rss PACKAGE: VmHWM of one unattended install, in KiB, from GNU time.
peak_rss() {
  fresh_home
  rm -rf "$work/mem"
  mkdir -p "$work/mem"
  local status=0
  /usr/bin/time -v -o "$work/time.txt" "$setup" --silent --dir="$work/mem" dev \
    >"$work/silent.out" 2>"$work/silent.err" || status=$?
  [ "$status" = 0 ] || die "unattended install failed ($status): $(tail -n 3 "$work/silent.err")"
  [ -x "$work/mem/win-ia32-unpacked/hobnarAudio.exe" ] || die "unattended install left no product"
  rm -rf "$work/mem"
  sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt"
}

row_memory() {
  [ -x /usr/bin/time ] || die "/usr/bin/time is missing (Debian package time)"
  start_test_backend port18080 "$work/package.rar"
  mem_big_kib=$(peak_rss)
  stop_backend
  # The same install of a tiny package: the peak must not grow with the size.
  mkdir -p "$work/tiny"
  printf '#!/bin/sh\n' >"$work/tiny/hobnarAudio.exe"
  printf '#!/bin/sh\n' >"$work/tiny/unInstall.exe"
  chmod 755 "$work/tiny/"*.exe
  (cd "$work/tiny" && rar a -idq "$work/tiny.rar" hobnarAudio.exe unInstall.exe)
  start_test_backend port18080-tiny "$work/tiny.rar"
  mem_tiny_kib=$(peak_rss)
  stop_backend
}

row_size() {
  cp "$setup" "$work/hobnar-setup.stripped"
  strip "$work/hobnar-setup.stripped"
  size_bytes=$(stat -c %s "$work/hobnar-setup.stripped")
  size_unstripped=$(stat -c %s "$setup")
  # The Windows program people download, when the Windows build has made it.
  local shipped
  shipped=$(ls "$here"/build-win32/shipped/hobnar-setup-*.exe 2>/dev/null | head -n 1)
  win_bytes=$([ -n "$shipped" ] && stat -c %s "$shipped" || echo 0)
}

# ---- run ------------------------------------------------------------------------------
if [ "${BENCH_ROWS:-all}" = startup ]; then
  # Only the start-up rows (a minute, not half an hour): a small package.
  printf '#!/bin/sh\n' >"$work/hobnarAudio.exe"
  (cd "$work" && rar a -idq package.rar hobnarAudio.exe)
  rows_startup
  printf '\nhobnar-setup start-up, %s, %s cores\n\n' "$(date -u '+%Y-%m-%d %H:%M UTC')" "$(nproc)"
  echo "| row | hobnar-setup | reference | result | target | |"
  echo "|---|---|---|---|---|---|"
  startup_table_rows
  exit 0
fi
say "making the ${package_mib} MiB package"
make_package
package_bytes=$(stat -c %s "$work/package.rar")
package_entries=$(rar lb "$work/package.rar" | wc -l)
say "package: $package_bytes bytes, $package_entries entries (files and folders)"
say "download: $runs runs each, interleaved"
row_download
say "download checked while it arrives: $runs runs each"
row_check chk
# Loopback moves the package in a fraction of a second with both cores busy
# (backend and installer); a fast real link (100 MiB/s, 800 Mbit/s) leaves
# the hashing thread the idle time it has on users' machines.
say "the same over a 100 MiB/s link: $runs runs each"
row_check link --bandwidth 104857600
say "download through an 8 MiB/s link cut every 32 MiB: $capped_runs runs"
row_capped
say "extraction: $runs runs each against $unpacker_name"
row_extract
say "start-up and memory need port $test_port"
rows_startup
row_memory
row_size

mib() { awk -v b="$1" 'BEGIN {printf "%.2f MiB", b / 1048576}'; }
cores=$(nproc)
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
memory=$(awk '/^MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)
cat <<TABLE

hobnar-setup benchmarks, $(date -u '+%Y-%m-%d %H:%M UTC'), $cpu, $cores cores, $memory
package: $package_bytes bytes ($(mib "$package_bytes")), $package_entries archive entries
load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)

| row | hobnar-setup | reference | result | target | |
|---|---|---|---|---|---|
| download, wall time (median of $runs) | ${dl_engine} s (${dl_engine_range}) | curl -o ${dl_curl} s (${dl_curl_range}) | ${dl_ratio}x | <= 1.10x | $(verdict "$dl_ratio" 1.10) |
| download with the SHA-256 check (median of $runs) | ${chk_sha} s | unchecked ${chk_none} s | +${chk_sha_cost}% | < 5% | $(verdict "$chk_sha_cost" 4.999) |
| download with SHA-256 and signature hashes (median of $runs) | ${chk_both} s | unchecked ${chk_none} s | +${chk_both_cost}% | < 5% | $(verdict "$chk_both_cost" 4.999) |
| the same at 100 MiB/s, SHA-256 check (median of $runs) | ${link_sha} s | unchecked ${link_none} s | +${link_sha_cost}% | < 5% | $(verdict "$link_sha_cost" 4.999) |
| the same at 100 MiB/s, SHA-256 and signature hashes (median of $runs) | ${link_both} s | unchecked ${link_none} s | +${link_both_cost}% | < 5% | $(verdict "$link_both_cost" 4.999) |
| download 8 MiB/s, cut every 32 MiB ($capped_runs runs) | ${cap_time} s, ${cap_requests} requests | package size | ${cap_ratio}x bytes sent | <= 1.01x | $(verdict "$cap_ratio" 1.01) |
| extraction, wall time (median of $runs) | ${x_engine} s (${x_engine_range}) | $unpacker_name ${x_ref} s (${x_ref_range}) | ${x_ratio}x | <= 1.05x | $(verdict "$x_ratio" 1.05) |
$(startup_table_rows)
| peak RSS, unattended install (GNU time) | $((mem_big_kib / 1024)) MiB ($mem_big_kib KiB) | tiny package: $((mem_tiny_kib / 1024)) MiB | $((mem_big_kib / 1024)) MiB | < 32 MiB | $(verdict "$mem_big_kib" 32767) |
| stripped hobnar-setup | $(mib "$size_bytes") ($size_bytes bytes) | unstripped $(mib "$size_unstripped") | $(mib "$size_bytes") | < 2 MiB | $(verdict "$size_bytes" 2097151) |
| hobnar-setup-2.0.1.exe, the one Windows file (build-win32/shipped; 0: not built) | $win_bytes bytes | | $win_bytes bytes | <= 1,500,000 bytes | $(verdict "$win_bytes" 1500000) |

Wall times are whole processes started by this script; the engine's own time
inside the bench program (context already built): download ${dl_engine_inner} s,
extraction ${x_engine_inner} s.
TABLE
