# shellcheck shell=bash
# Sourced by scripts/run.sh and scripts/run_windows.sh.
#   serve_demo_package BUILD DEMO [AT_EXIT]
# Makes DEMO a release folder around DEMO/win-ia32-unpacked.rar, as
# scripts/release.sh would (a signature by the demo's own throw-away key, the
# install information), and serves it with BUILD's hobnar-backend --release
# on the test port 18080 (events in DEMO/events.db) until the calling script
# ends, then stops it and runs AT_EXIT.
# shellcheck source=scripts/release_parts.sh
. "$(dirname "${BASH_SOURCE[0]}")/release_parts.sh"

serve_demo_package() {
  local build=$1 demo=$2 at_exit=${3:-true} port=18080 version
  if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
    echo "run: port $port is in use; stop whatever listens there first." >&2
    exit 1
  fi
  version=$(project_version "$(dirname "${BASH_SOURCE[0]}")/..")
  if [ ! -f "$demo/demo-minisign.key" ]; then
    minisign -G -W -p "$demo/demo-minisign.pub" -s "$demo/demo-minisign.key" >/dev/null
  fi
  minisign -S -s "$demo/demo-minisign.key" -m "$demo/win-ia32-unpacked.rar" \
    -t "version:$version" >/dev/null
  write_install_info "$demo" "http://127.0.0.1:$port/client/win/mainprogram/win-ia32-unpacked.rar" \
    "$version"
  if ! start_release_backend "$build/server/hobnar-backend" "$demo" "$port" "$demo/events.db" \
    "$demo/backend"; then
    echo "run: the demo backend did not start (see $demo/backend.err)" >&2
    exit 1
  fi
  # shellcheck disable=SC2064  # the pid is fixed now
  trap "kill $backend_pid 2>/dev/null; wait $backend_pid 2>/dev/null || true; $at_exit" EXIT
}
