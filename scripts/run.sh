#!/usr/bin/env bash
# Sets up (packages and build), then starts the installer.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$here/scripts/setup.sh" "$here/build"
if [ ! -x "$here/build/app/hobnar-setup" ]; then
  echo "run: the installer window is not built yet; the foundation (registry store, device" >&2
  echo "run: identity) is, and scripts/test.sh exercises it." >&2
  exit 1
fi
exec "$here/build/app/hobnar-setup" "$@"
