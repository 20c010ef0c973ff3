#!/usr/bin/env bash
# Sets up (packages and build), then runs every test suite: the normal build,
# the AddressSanitizer/UndefinedBehaviorSanitizer and ThreadSanitizer builds
# (scripts/sanitizers.sh), a short run of every fuzz target (scripts/fuzz.sh
# 10), and the 32-bit Windows build's suites under Wine (build-win32/,
# scripts/wine-test-run.sh), then the shipped zip's program on the whole
# road.  About 14 minutes from a fresh clone on two cores: 9 for the Linux
# part, 5 for the Windows one.
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
  echo "== win32: the shipped zip, unpacked on its own, on the whole road"
  local shipped="$here/build-win32/shipped"
  (cd "$here/build-win32" && cpack >/dev/null)
  rm -rf "$shipped"
  mkdir -p "$shipped"
  (cd "$shipped" && cmake -E tar xf "$here/build-win32/hobnar-setup-2.0.1-win32.zip")
  cmake -DPROGRAM="$shipped/hobnar-setup-2.0.1-win32/hobnar-setup.exe" \
    -DOBJDUMP=i686-w64-mingw32-objdump -P "$here/cmake/CheckImports.cmake"
  HOBNAR_GUI_PROGRAM="$shipped/hobnar-setup-2.0.1-win32/hobnar-setup.exe" \
    ctest --preset win32 -L gui_wine_test -R WholeRoad
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
if [ "$mode" = quick ]; then
  exit 0
fi
"$here/scripts/sanitizers.sh" all
# A fixed seed keeps the short run repeatable; long runs explore afresh.
FUZZ_SEED=1 "$here/scripts/fuzz.sh" 10
cd "$here"
windows_suites
