#!/usr/bin/env bash
# Sets up (packages and build), then runs every test suite: the normal build,
# the AddressSanitizer/UndefinedBehaviorSanitizer and ThreadSanitizer builds
# (scripts/sanitizers.sh), a short run of every fuzz target (scripts/fuzz.sh
# 10), and the 32-bit Windows build's suites under Wine (build-win32/,
# scripts/wine-test-run.sh), then the shipped program alone in an empty
# folder on the whole road, unattended, and its size; last the release
# command, twice, with throw-away keys (tests/release/release_test.sh).
# About 24 minutes from a fresh clone on two cores: 11 for the Linux part,
# 7 for the Windows one, 5 for the releases.
#   scripts/test.sh             everything
#   scripts/test.sh --quick     the normal build's suites only (about 4 minutes)
#   scripts/test.sh --windows   the Windows build and its suites only
# Further arguments go to the normal build's ctest.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
mode=all
case "${1:-}" in
  --quick | --windows)
    mode=${1#--}
    shift
    ;;
esac

windows_suites() {
  local start=$SECONDS
  echo "== win32: configure, build and test under Wine"
  cmake --preset win32 >/dev/null
  cmake --build --preset win32
  ctest --preset win32
  echo "== win32: the shipped program, alone in an empty folder, on the whole road and unattended"
  local shipped="$here/build-win32/shipped/hobnar-setup-2.0.1.exe" alone
  alone=$(mktemp -d)
  cp "$shipped" "$alone/"
  cmake -DPROGRAM="$alone/hobnar-setup-2.0.1.exe" \
    -DOBJDUMP=i686-w64-mingw32-objdump -P "$here/cmake/CheckImports.cmake"
  local size
  size=$(stat -c %s "$shipped")
  echo "== win32: the shipped program is $size bytes (at most 1,500,000)"
  [ "$size" -le 1500000 ] || { echo "the shipped program is larger than 1.5 MB" >&2; exit 1; }
  HOBNAR_GUI_PROGRAM="$alone/hobnar-setup-2.0.1.exe" HOBNAR_SILENT_PROGRAM="$alone/hobnar-setup-2.0.1.exe" \
    ctest --preset win32 -R 'WholeRoad|SilentInstall.InstallsRegisters'
  rm -rf "$alone"
  echo "== win32: $((SECONDS - start)) s"
}

if [ "$mode" = windows ]; then
  "$here/scripts/setup.sh" --no-build
  cd "$here"
  windows_suites
  exit 0
fi
"$here/scripts/setup.sh" "$here/build"
(cd "$here/build" && ctest -j"$(nproc)" --output-on-failure --timeout 600 "$@")
# The Linux program, too, needs nothing beside it: its skin is built in.
alone=$(mktemp -d)
cp "$here/build/app/hobnar-setup" "$alone/"
(cd "$here/build" && HOBNAR_GUI_PROGRAM="$alone/hobnar-setup" ctest -R WholeRoad)
rm -rf "$alone"
if [ "$mode" = quick ]; then
  exit 0
fi
"$here/scripts/sanitizers.sh" all
# A fixed seed keeps the short run repeatable; long runs explore afresh.
FUZZ_SEED=1 "$here/scripts/fuzz.sh" 10
cd "$here"
windows_suites
"$here/tests/release/release_test.sh"
