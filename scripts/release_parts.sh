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
