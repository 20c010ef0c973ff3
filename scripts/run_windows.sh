#!/usr/bin/env bash
# The local demo with the Windows installer under Wine: the Windows demo
# product is packed with rar, the reference backend (a Linux program) serves
# it on the test port, and `hobnar-setup.exe dev` installs it into a Wine
# prefix of the demo's own — in its window when there is a display,
# unattended (/S) otherwise.  The prefix stays, so a second run starts the
# installed product instead.  Called by `scripts/run.sh --windows`.
#   scripts/run_windows.sh LINUX_BUILD [ARGS...]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$1
shift
win="$here/build-win32"

cmake --preset win32 -S "$here" >/dev/null
cmake --build --preset win32 --target hobnar-setup hobnar-demo-product hobnar-demo-uninstall

demo="$win/demo"
mkdir -p "$demo/product" "$demo/home"
cp "$win/bin/hobnar-demo-product.exe" "$demo/product/hobnarAudio.exe"
cp "$win/bin/hobnar-demo-uninstall.exe" "$demo/product/unInstall.exe"
rm -f "$demo/win-ia32-unpacked.rar" "$demo/events.db"
(cd "$demo/product" && rar a -idq ../win-ia32-unpacked.rar hobnarAudio.exe unInstall.exe)

# The demo's own prefix and home: Wine never touches the real home folder.
export WINEPREFIX="$demo/prefix" HOME="$demo/home" WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "run: making the demo's Wine prefix (once, about 10 s)"
  wineboot --init >/dev/null 2>&1
  wineserver --wait
  # Its Desktop, Documents... would be links into the home folder.
  find "$WINEPREFIX/drive_c/users" -type l -print0 | while IFS= read -r -d '' link; do
    rm "$link" && mkdir "$link"
  done
fi

# shellcheck source=scripts/demo_backend.sh
. "$here/scripts/demo_backend.sh"
serve_demo_package "$build" "$demo" "wineserver -k 2>/dev/null || true"

status=0
if [ -n "${DISPLAY:-}" ]; then
  wine "$win/bin/hobnar-setup.exe" dev "$@" || status=$?
else
  echo "run: no display; installing unattended (hobnar-setup.exe /S dev)"
  wine "$win/bin/hobnar-setup.exe" /S dev "$@" || status=$?
fi

user_dir=$(find "$WINEPREFIX/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -n 1)
cat <<SUMMARY

What happened (installer exit status $status):
  Wine prefix      $WINEPREFIX
  product folder   $user_dir/AppData/Roaming/win-ia32-unpacked (unless you chose another)
  shortcut         $(find "$user_dir" -name 'hobnar*.lnk' 2>/dev/null | head -n 1)
  events received  $build/server/hobnar-backend --db $demo/events.db --list-events
  registry (HKEY_LOCAL_MACHINE\\SOFTWARE\\ZorozAvuzado and the uninstall key):
SUMMARY
# The values as the registry file keeps them (Wine writes it when its server
# ends), wide letters decoded; `wine reg query` would print them in the OEM
# code page.
wineserver --wait 2>/dev/null || true
registry_values() {
  awk -v key="[$1]" 'index($0, key) == 1 {on = 1; next} /^\[/ {on = 0} on && /^"/' \
    "$WINEPREFIX/system.reg" |
    perl -CS -pe 's/\\x([0-9a-f]{4})/chr(hex($1))/ge; s/\\\\/\\/g; s/^"([^"]*)"="(.*)"$/                   $1 = $2/'
}
registry_values 'Software\\\\ZorozAvuzado'
registry_values 'Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\QvmZorozAvuzado'
echo "  events:"
"$build/server/hobnar-backend" --db "$demo/events.db" --list-events |
  sed -n 's/.*btnId\\":\\"\([A-Za-z_]*\)\\".*/                   \1/p'
exit "$status"
