#!/usr/bin/env bash
# Installs every Debian package the project needs (the Linux build's, and the
# MinGW-w64 toolchain and Wine of the 32-bit Windows build), fetches the Debian
# sources the Windows build compiles into third_party/src, then configures and
# builds the Linux build.  Safe to run again: packages and sources already
# present are left alone, and the build is incremental.
# Usage: scripts/setup.sh [--no-build] [build-dir]
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
  libsodium-dev libssl-dev minisign tinyproxy
  openssl osslsigncode
)
# The Windows build: cross compilers (posix thread model included), Ninja, Wine
# with its 32-bit half, and dpkg-dev for `apt-get source`.
windows_packages=(g++-mingw-w64-i686 ninja-build wine wine32:i386 dpkg-dev)
# Debian source packages the Windows build compiles (folder names carry versions;
# Debian splits cpp-httplib into a Linux library, the source has the header-only form).
windows_sources=(curl unrar-nonfree pugixml libsodium cpp-httplib)
third_party="$here/third_party/src"

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing_packages() {
  local p
  for p in "${packages[@]}" "${windows_packages[@]}"; do
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

# wine32 is an i386 package.
enable_i386() {
  dpkg --print-foreign-architectures | grep -qx i386 && return 0
  echo "setup: adding the i386 architecture"
  as_root dpkg --add-architecture i386
}

# `apt-get source` needs source entries beside the binary ones.
has_deb_src() {
  grep -rqsE '^(Types:.*[[:space:]]deb-src([[:space:]]|$)|deb-src )' \
    /etc/apt/sources.list /etc/apt/sources.list.d/
}

enable_deb_src() {
  has_deb_src && return 0
  echo "setup: adding apt's source entries (deb-src)"
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    as_root sed -i -E '/^Types:/{/ deb-src( |$)/!s/$/ deb-src/}' \
      /etc/apt/sources.list.d/debian.sources
  elif [ -f /etc/apt/sources.list ]; then
    as_root sed -i -E 's/^deb (.*)$/deb \1\ndeb-src \1/' /etc/apt/sources.list
  fi
}

install_packages() {
  local need
  need=$(missing_packages)
  [ -z "$need" ] && return 0
  enable_non_free
  enable_i386
  enable_deb_src
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

missing_sources() {
  local s
  for s in "${windows_sources[@]}"; do
    compgen -G "$third_party/$s-[0-9]*/" >/dev/null || echo "$s"
  done
}

# Sources are unpacked (with Debian's patches applied) as the calling user;
# nothing of them is committed (third_party/ is git-ignored).
fetch_sources() {
  local need
  need=$(missing_sources)
  [ -z "$need" ] && return 0
  if ! has_deb_src; then
    enable_non_free
    enable_deb_src
    as_root apt-get update -qq
  fi
  echo "setup: fetching Debian sources" $need "into $third_party"
  mkdir -p "$third_party"
  local log
  log=$(mktemp)
  # shellcheck disable=SC2086
  if ! (cd "$third_party" && apt-get source -qq $need) >"$log" 2>&1; then
    tail -n 30 "$log" >&2
    echo "setup: fetching sources failed" >&2
    exit 1
  fi
  rm -f "$log"
}

install_packages
fetch_sources
if [ "$do_build" -eq 1 ]; then
  cmake -S "$here" -B "$build_dir" >/dev/null
  cmake --build "$build_dir" -j"$(nproc)"
fi
