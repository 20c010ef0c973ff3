#!/bin/sh
# Removes the demo product: its folder, its desktop entry and its registry
# values.
set -u
product=$(cd "$(dirname "$0")" && pwd)
desktop=${XDG_DESKTOP_DIR:-$HOME/Desktop}
registry=${HOBNAR_REGISTRY_DB:-${XDG_STATE_HOME:-$HOME/.local/state}/hobnar/registry.db}
rm -f "$desktop/hobnar语音文字转换器.desktop"
if command -v sqlite3 >/dev/null 2>&1 && [ -f "$registry" ]; then
  sqlite3 "$registry" "DELETE FROM registry_values WHERE key = 'SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QvmZorozAvuzado' OR (key = 'SOFTWARE\\ZorozAvuzado' AND name = 'DisplayPath');"
fi
rm -rf -- "$product"
echo "hobnarAudio removed from $product"
