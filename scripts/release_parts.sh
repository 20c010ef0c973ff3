# shellcheck shell=bash
# Sourced by scripts/release.sh and scripts/demo_backend.sh: the parts of a
# release folder that the demo makes the same way, so that the demo's
# backend serves what an operator's would (hobnar-backend --release).

# The version the sources deliver (project() of CMakeLists.txt).
project_version() {
  sed -n 's/^project(hobnar-setup VERSION \([0-9.]*\).*/\1/p' "$1/CMakeLists.txt"
}

# FOLDER/install-info.json for FOLDER/win-ia32-unpacked.rar: getInstallInfo's
# object, the size as a string as the backend has always answered it.
write_install_info() {
  local folder=$1 url=$2 version=$3 package="$1/win-ia32-unpacked.rar" size sha256
  size=$(stat -c %s "$package")
  sha256=$(sha256sum "$package" | cut -d' ' -f1)
  printf '{"url":"%s","size":"%s","version":"%s","sha256":"%s"}\n' \
    "$url" "$size" "$version" "$sha256" >"$folder/install-info.json"
}

# Starts PROGRAM (hobnar-backend) --release FOLDER on 127.0.0.1:PORT in the
# background, events in DB, its output in LOGS.out and LOGS.err, and waits
# until it listens; sets backend_pid.  Further arguments go to the backend.
# Says why and returns 1 when it does not start.
start_release_backend() {
  local program=$1 folder=$2 port=$3 db=$4 logs=$5
  shift 5
  "$program" --port "$port" --release "$folder" --db "$db" "$@" >"$logs.out" 2>"$logs.err" &
  backend_pid=$!
  local _
  for _ in $(seq 200); do
    grep -q "listening on" "$logs.out" 2>/dev/null && return 0
    kill -0 "$backend_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$backend_pid" 2>/dev/null || true
  echo "hobnar-backend --release did not start: $(tail -n 1 "$logs.err")"
  return 1
}
