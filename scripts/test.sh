#!/usr/bin/env bash
# Sets up (packages and build), then runs every test suite: the normal build,
# the AddressSanitizer/UndefinedBehaviorSanitizer and ThreadSanitizer builds
# (scripts/sanitizers.sh), and a short run of every fuzz target
# (scripts/fuzz.sh 10).  About 12 minutes from scratch on two cores.
#   scripts/test.sh            everything
#   scripts/test.sh --quick    the normal build's suites only (about 3 minutes)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
quick=0
if [ "${1:-}" = "--quick" ]; then
  quick=1
  shift
fi
"$here/scripts/setup.sh" "$here/build"
(cd "$here/build" && ctest -j"$(nproc)" --output-on-failure --timeout 600 "$@")
if [ "$quick" -eq 1 ]; then
  exit 0
fi
"$here/scripts/sanitizers.sh" all
# A fixed seed keeps the short run repeatable; long runs explore afresh.
FUZZ_SEED=1 "$here/scripts/fuzz.sh" 10
