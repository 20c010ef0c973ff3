#!/usr/bin/env bash
# Sets up (packages and build), then runs the whole installer against a local
# demo backend: a demo product is packed with rar, hobnar-backend serves it on
# the test port, and `hobnar-setup dev` installs it — in its window when there
# is a display, unattended (--silent) otherwise.  The backend stops when the
# installer ends.  Extra arguments go to hobnar-setup.
#
#   scripts/run.sh [ARGS...]             the Linux installer
#   scripts/run.sh --windows [ARGS...]   hobnar-setup.exe under Wine (build-win32/)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${HOBNAR_BUILD_DIR:-"$here/build"}

"$here/scripts/setup.sh" "$build"
if [ "${1:-}" = "--windows" ]; then
  shift
  exec "$here/scripts/run_windows.sh" "$build" "$@"
fi

demo="$build/demo/run"
mkdir -p "$demo/product"
cp "$build/demo/hobnar-demo-product" "$demo/product/hobnarAudio.exe"
cp "$here/demo/unInstall.sh" "$demo/product/unInstall.exe"
chmod 755 "$demo/product/hobnarAudio.exe" "$demo/product/unInstall.exe"
rm -f "$demo/win-ia32-unpacked.rar" "$demo/events.db"
(cd "$demo/product" && rar a -idq ../win-ia32-unpacked.rar hobnarAudio.exe unInstall.exe)

# shellcheck source=scripts/demo_backend.sh
. "$here/scripts/demo_backend.sh"
serve_demo_package "$build" "$demo"

status=0
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  "$build/app/hobnar-setup" dev "$@" || status=$?
else
  echo "run: no display; installing unattended (hobnar-setup --silent dev)"
  "$build/app/hobnar-setup" --silent dev "$@" || status=$?
fi

state=${XDG_STATE_HOME:-$HOME/.local/state}
cat <<SUMMARY

What happened (installer exit status $status):
  product folder   ${XDG_DATA_HOME:-$HOME/.local/share}/win-ia32-unpacked (unless you chose another)
  shortcut         ${XDG_DESKTOP_DIR:-$HOME/Desktop}/hobnar语音文字转换器.desktop
  registry         ${HOBNAR_REGISTRY_DB:-$state/hobnar/registry.db}
  state files      $state/hobnarAudio/ (paramdata, bdviddata)
  events received  $build/server/hobnar-backend --db $demo/events.db --list-events
SUMMARY
"$build/server/hobnar-backend" --db "$demo/events.db" --list-events |
  sed -n 's/.*btnId\\":\\"\([A-Za-z_]*\)\\".*/                   \1/p'
exit "$status"
