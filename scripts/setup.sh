#!/usr/bin/env bash
# Installs every Debian package the project needs, then configures and builds.
# Safe to run again: packages already present are left alone, and the build is
# incremental.  Usage: scripts/setup.sh [--no-build] [build-dir]
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
do_build=1
if [ "${1:-}" = "--no-build" ]; then do_build=0; shift; fi
build_dir=${1:-"$here/build"}

packages=(
  build-essential cmake pkg-config git clang-format
  clang libclang-rt-14-dev time
  libcurl4-openssl-dev nlohmann-json3-dev libpugixml-dev libgtk-3-dev libsqlite3-dev
  libunrar-dev libunrar5 rar unrar
  libgtest-dev libgmock-dev googletest libcpp-httplib-dev
  xvfb xdotool x11-utils fonts-wqy-microhei sqlite3 curl
  libsodium-dev minisign
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing_packages() {
  local p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || echo "$p"
  done
}

# rar and libunrar live in Debian's non-free component.
enable_non_free() {
  if grep -rqsE '^(Components:.*[[:space:]]non-free([[:space:]]|$)|deb .* non-free( |$))' \
      /etc/apt/sources.list /etc/apt/sources.list.d/; then
    return 0
  fi
  echo "setup: adding apt's non-free component"
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    as_root sed -i -E '/^Components:/{/ non-free( |$)/!s/$/ non-free/}' \
      /etc/apt/sources.list.d/debian.sources
  elif [ -f /etc/apt/sources.list ]; then
    as_root sed -i -E '/^deb /{/ non-free( |$)/!s/$/ non-free/}' /etc/apt/sources.list
  fi
}

install_packages() {
  local need
  need=$(missing_packages)
  [ -z "$need" ] && return 0
  enable_non_free
  echo "setup: installing" $need
  local log
  log=$(mktemp)
  # shellcheck disable=SC2086
  if ! { as_root apt-get update -qq &&
         as_root env DEBIAN_FRONTEND=noninteractive \
           apt-get install -y -qq --no-install-recommends $need; } >"$log" 2>&1; then
    tail -n 30 "$log" >&2
    echo "setup: package installation failed" >&2
    exit 1
  fi
  rm -f "$log"
}

install_packages
if [ "$do_build" -eq 1 ]; then
  cmake -S "$here" -B "$build_dir" >/dev/null
  cmake --build "$build_dir" -j"$(nproc)"
fi
