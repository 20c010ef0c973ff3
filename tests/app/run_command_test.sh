#!/usr/bin/env bash
# The README's run command on a machine without a display: it must end with
# the demo product installed.  Usage: run_command_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$1
build_dir=$2
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_STATE_HOME -u XDG_DATA_HOME -u XDG_CONFIG_HOME \
  -u XDG_DESKTOP_DIR -u HOBNAR_REGISTRY_DB HOME="$home" HOBNAR_BUILD_DIR="$build_dir" \
  timeout 300 "$source_dir/scripts/run.sh" >"$home/run.log" 2>&1 || status=$?
fail() { echo "run_command_test: $1" >&2; tail -n 30 "$home/run.log" >&2; exit 1; }
[ "$status" -eq 0 ] || fail "run.sh exited with $status"
product="$home/.local/share/win-ia32-unpacked"
[ -x "$product/hobnarAudio.exe" ] || fail "no product at $product"
"$product/hobnarAudio.exe" | grep -q "installed and runs" || fail "the product does not run"
[ -f "$home/Desktop/hobnar语音文字转换器.desktop" ] || fail "no shortcut"
grep -q "pc_install_success" "$home/run.log" || fail "no success event listed"
echo "run_command_test: installed into $product"
