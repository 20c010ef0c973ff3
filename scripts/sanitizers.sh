#!/usr/bin/env bash
# Configures, builds and tests the sanitizer presets of CMakePresets.json:
#
#   scripts/sanitizers.sh [asan|tsan|all]     (default: all)
#
# asan: AddressSanitizer + UndefinedBehaviorSanitizer over the whole test
# suite (build-asan/).  tsan: ThreadSanitizer over the suites that run the
# download thread and the window's cross-thread posting (build-tsan/).
# Suppressions for third-party internals only: tests/sanitizers/.
# Exits non-zero when a build fails or a test fails or reports a finding.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"

case "${1:-all}" in
  asan) presets=(asan) ;;
  tsan) presets=(tsan) ;;
  all) presets=(asan tsan) ;;
  *)
    echo "usage: scripts/sanitizers.sh [asan|tsan|all]" >&2
    exit 2
    ;;
esac

status=0
summary=()
for preset in "${presets[@]}"; do
  start=$SECONDS
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  built=$SECONDS
  echo "== $preset: tests"
  result=passed
  ctest --preset "$preset" || {
    result=FAILED
    status=1
  }
  summary+=("$preset: $result (build $((built - start)) s, tests $((SECONDS - built)) s)")
done
printf '%s\n' "${summary[@]}"
exit "$status"
