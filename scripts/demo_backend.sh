# Sourced by scripts/run.sh and scripts/run_windows.sh.
#   serve_demo_package BUILD DEMO [AT_EXIT]
# Serves DEMO/win-ia32-unpacked.rar with BUILD's hobnar-backend on the test
# port 18080 (events in DEMO/events.db) until the calling script ends, then
# stops it and runs AT_EXIT.
serve_demo_package() {
  local build=$1 demo=$2 at_exit=${3:-true} port=18080
  if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
    echo "run: port $port is in use; stop whatever listens there first." >&2
    exit 1
  fi
  "$build/server/hobnar-backend" --port "$port" --package "$demo/win-ia32-unpacked.rar" \
    --db "$demo/events.db" >"$demo/backend.out" 2>"$demo/backend.log" &
  # shellcheck disable=SC2064  # the pid is fixed now
  trap "kill $! 2>/dev/null; wait $! 2>/dev/null || true; $at_exit" EXIT
  for _ in $(seq 100); do
    grep -q "listening on" "$demo/backend.out" 2>/dev/null && break
    sleep 0.1
  done
}
