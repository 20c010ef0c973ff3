#!/usr/bin/env bash
# Sets up (packages and build), then runs every test suite.
# Usage: scripts/test.sh [extra ctest arguments]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$here/scripts/setup.sh" "$here/build"
cd "$here/build"
ctest -j"$(nproc)" --output-on-failure --timeout 600 "$@"
