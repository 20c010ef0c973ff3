#!/usr/bin/env bash
# Makes a release of hobnarAudio in one folder, and proves it before it says
# it is done: the package (packed with rar from the product folder) and its
# minisign signature, the setup program built with the given servers and key
# and signed with Authenticode, the Linux .deb, the install information the
# backend must answer, and SHA256SUMS.  Run with --help for the options.
#
# The same sources and inputs give the same package and the same setup
# program (before signing) byte for byte: file times come from
# SOURCE_DATE_EPOCH (default: the last commit's time), entries are packed in
# sorted order, and the programs carry no build paths or build times.
#
# Secrets never appear on a command line: the PKCS#12 password comes from
# HOBNAR_SIGNING_PASSWORD and the minisign key's (if it has one) from
# HOBNAR_MINISIGN_PASSWORD, both handed to the tools on a file descriptor.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/release_parts.sh
. "$here/scripts/release_parts.sh"

usage() {
  cat <<'USAGE'
Usage: scripts/release.sh --product DIR --out DIR --api-url URL --package-url URL
                          --minisign-key FILE --cert FILE.p12 [options]

Makes, in the --out folder:
  win-ia32-unpacked.rar          the product folder packed with rar
  win-ia32-unpacked.rar.minisig  its minisign signature, trusted comment "version:VERSION"
  hobnar-setup-VERSION.exe       the setup program, Authenticode-signed (SHA-256)
  hobnar-setup_VERSION_amd64.deb the Linux installer
  install-info.json              what getInstallInfo must answer: url, size, version, sha256
  SHA256SUMS                     the digests of all of the above
then verifies them: the Authenticode signature against the certificate's
chain, the package signature with the public key compiled into the program,
and a trial: hobnar-backend --release serving the folder, the setup program
alone in an empty folder installing the package unattended (/S dev) under
Wine.  Any failure stops the release with one line naming the step and why.

Required:
  --product DIR         the product folder (hobnarAudio.exe at its top); links
                        and special files are refused
  --out DIR             where the release goes; must be absent or empty
  --api-url URL         the production API the setup program asks
                        (HOBNAR_PROD_API_URL)
  --package-url URL     where the package will be served: compiled in
                        (HOBNAR_PROD_PACKAGE_URL) and install-info.json's "url";
                        the .minisig goes beside it with ".minisig" appended
  --minisign-key FILE   the minisign secret key that signs the package
  --cert FILE.p12       the code-signing certificate and its key (PKCS#12)

Options:
  --ca FILE             certificates that anchor the signing certificate's chain
                        for the verification (default: the system's,
                        /etc/ssl/certs/ca-certificates.crt)
  --timestamp URL       an RFC 3161 timestamp server for the Authenticode
                        signature (default: none)
  --agreement-url URL   the user agreement page (HOBNAR_AGREEMENT_URL)
  --publisher-url URL   the address in the signature's description
                        (default: https://www.hobnar.example)
  --build-dir DIR       build there and keep it (the unstripped programs, the
                        unsigned setup program in win32/shipped/, the step logs);
                        default: a temporary folder, removed after a success
  --epoch SECONDS       the file and program time (default: $SOURCE_DATE_EPOCH,
                        else the last commit's time)
  --no-trial            skip the install under Wine (the other checks still run)
  --help                this text

Environment:
  HOBNAR_SIGNING_PASSWORD   the PKCS#12 file's password (required; may be empty)
  HOBNAR_MINISIGN_PASSWORD  the minisign key's password (when it has one)

The trial listens on the test servers' address compiled into every build,
127.0.0.1:18080, which must be free.  Exit status: 0 done, 1 a step failed,
2 bad options.
USAGE
}

die_usage() {
  echo "release: $*" >&2
  echo "release: see scripts/release.sh --help" >&2
  exit 2
}

product="" out="" api_url="" package_url="" minisign_key="" cert=""
ca=/etc/ssl/certs/ca-certificates.crt timestamp="" agreement_url=""
publisher_url=https://www.hobnar.example build_dir="" epoch=${SOURCE_DATE_EPOCH:-} trial=1

# Each option with a value sets the variable of its name (--api-url: api_url).
parse_options() {
  while [ $# -gt 0 ]; do
    local option=$1
    case "$option" in
      --help) usage; exit 0 ;;
      --no-trial) trial=0; shift; continue ;;
      --product | --out | --api-url | --package-url | --minisign-key | --cert | --ca | \
        --timestamp | --agreement-url | --publisher-url | --build-dir | --epoch) ;;
      *) die_usage "unknown argument '$option'" ;;
    esac
    if [ $# -lt 2 ] || [ -z "$2" ]; then
      die_usage "$option needs a value"
    fi
    local name=${option#--}
    printf -v "${name//-/_}" '%s' "$2"
    shift 2
  done
}

check_options() {
  local name
  for name in product out api_url package_url minisign_key cert; do
    [ -n "${!name}" ] || die_usage "--${name//_/-} is required"
  done
  [ -d "$product" ] || die_usage "--product '$product' is not a folder"
  [ -f "$minisign_key" ] || die_usage "--minisign-key '$minisign_key' is not a file"
  [ -f "$cert" ] || die_usage "--cert '$cert' is not a file"
  [ -f "$ca" ] || die_usage "--ca '$ca' is not a file"
  for name in api_url package_url timestamp agreement_url publisher_url; do
    case "${!name}" in
      "" | http://?* | https://?*) ;;
      *) die_usage "--${name//_/-} '${!name}' is not an http(s) address" ;;
    esac
  done
  [ "${HOBNAR_SIGNING_PASSWORD+set}" = set ] ||
    die_usage "HOBNAR_SIGNING_PASSWORD is not set (the --cert file's password; may be empty)"
  if [ -z "$epoch" ]; then
    epoch=$(git -C "$here" log -1 --format=%ct 2>/dev/null) ||
      die_usage "not a git clone: give --epoch SECONDS"
  fi
  [[ "$epoch" =~ ^[0-9]+$ ]] || die_usage "--epoch '$epoch' is not a number of seconds"
  if [ -e "$out" ] && [ -n "$(ls -A "$out")" ]; then
    die_usage "--out '$out' is not empty"
  fi
}

# ---- steps -----------------------------------------------------------------
# Each step's output goes to its log; a failing step's last line says why.

# A step runs in a subshell of its own with errexit in force (a function
# called as a condition would run with it off).
step() {
  local name=$1 log status
  shift
  log="$logs/$(echo "$name" | sed -E 's/[^a-zA-Z0-9]+/-/g; s/^-|-$//g').log"
  echo "release: $name"
  set +e
  (set -e; "$@") >"$log" 2>&1
  status=$?
  set -e
  if [ "$status" -ne 0 ]; then
    local why
    why=$(grep -v '^[[:space:]]*$' "$log" | tail -n 1)
    echo "release: $name failed: ${why:-no reason given} (log: $log)" >&2
    keep_build=1
    exit 1
  fi
}

fail() {
  echo "$*"
  return 1
}

check_certificate() {
  openssl pkcs12 -in "$cert" -passin fd:3 -nokeys -clcerts 3<<<"$HOBNAR_SIGNING_PASSWORD" |
    openssl x509 -noout -subject -enddate -checkend 0 ||
    fail "the certificate cannot be read with HOBNAR_SIGNING_PASSWORD, or it has expired"
}

derive_public_key() {
  minisign -R -s "$minisign_key" -p "$work/minisign.pub" <<<"${HOBNAR_MINISIGN_PASSWORD:-}" ||
    fail "the minisign key cannot be read"
  [ -n "$(sed -n 2p "$work/minisign.pub")" ] || fail "no public key came out of the minisign key"
}

# A copy of the product with the modes the installer gives files anyway and
# the same time on everything, packed in sorted order.
pack_product() {
  local stage="$work/product" odd
  odd=$(find "$product" ! -type f ! -type d -print -quit)
  [ -z "$odd" ] || fail "the product folder holds a link or special file: $odd"
  [ -f "$product/hobnarAudio.exe" ] || fail "the product folder has no hobnarAudio.exe"
  rm -rf "$stage"
  cp -R "$product" "$stage"
  find "$stage" -type d -exec chmod 0755 {} +
  find "$stage" -type f -perm /111 -exec chmod 0755 {} +
  find "$stage" -type f ! -perm /111 -exec chmod 0644 {} +
  find "$stage" -exec touch -h -d "@$epoch" {} +
  (cd "$stage" && find . -mindepth 1 | sed 's|^\./||' | LC_ALL=C sort) >"$work/entries"
  (cd "$stage" && rar a -idq -ma5 -m5 "$out/win-ia32-unpacked.rar" "@$work/entries")
  touch -d "@$epoch" "$out/win-ia32-unpacked.rar"
}

sign_package() {
  minisign -S -s "$minisign_key" -m "$out/win-ia32-unpacked.rar" -t "version:$version" \
    <<<"${HOBNAR_MINISIGN_PASSWORD:-}" || fail "minisign could not sign the package"
}

build_windows() {
  cmake -S "$here" -B "$build_dir/win32" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-i686-w64-mingw32.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo "${build_options[@]}"
  cmake --build "$build_dir/win32" --target hobnar_shipped -j2
}

build_linux() {
  cmake -S "$here" -B "$build_dir/linux" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${build_options[@]}"
  cmake --build "$build_dir/linux" -j2
  (cd "$build_dir/linux" && rm -f ./*.deb && cpack -G DEB)
  cp "$build_dir/linux"/hobnar-setup_*.deb "$out/"
}

sign_program() {
  local unsigned="$build_dir/win32/shipped/hobnar-setup-$version.exe"
  local args=(sign -pkcs12 "$cert" -readpass /dev/fd/3 -h sha256
    -n "hobnarAudio setup $version" -i "$publisher_url")
  [ -z "$timestamp" ] || args+=(-ts "$timestamp")
  osslsigncode "${args[@]}" -in "$unsigned" -out "$out/hobnar-setup-$version.exe" \
    3<<<"$HOBNAR_SIGNING_PASSWORD" || fail "osslsigncode could not sign $unsigned"
}

write_sums() {
  write_install_info "$out" "$package_url" "$version"
  (cd "$out" && find . -maxdepth 1 -type f -printf '%f\n' | LC_ALL=C sort |
    xargs -d '\n' sha256sum >"$work/SHA256SUMS")
  mv "$work/SHA256SUMS" "$out/SHA256SUMS"
}

verify_authenticode() {
  local program="$out/hobnar-setup-$version.exe"
  osslsigncode verify -in "$program" -CAfile "$ca" ||
    fail "the Authenticode signature of $program does not verify against $ca"
}

# The key the program checks packages with is the one in its bytes, not the
# one we meant to give it.
verify_package_signature() {
  local program="$out/hobnar-setup-$version.exe"
  grep -qaF "$public_key" "$program" || fail "$program does not carry the public key $public_key"
  local comment
  comment=$(minisign -V -Q -P "$public_key" -m "$out/win-ia32-unpacked.rar") ||
    fail "the package's signature does not verify with the program's key"
  tr '\t' ' ' <<<"$comment" | grep -qE "(^| )version:$version( |$)" ||
    fail "the trusted comment '$comment' does not name version:$version"
}

# The released program, alone in an empty folder, installs the released
# package from hobnar-backend --release in a Wine prefix of its own.
trial_install() {
  local trial="$work/trial" port=18080 status=0
  local address="http://127.0.0.1:$port"
  mkdir -p "$trial/alone" "$trial/home"
  cp "$out/hobnar-setup-$version.exe" "$trial/alone/"
  export WINEPREFIX="$trial/prefix" HOME="$trial/home" WINEARCH=win32 WINEDEBUG=-all
  export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
  unset DISPLAY
  wineboot --init </dev/null || fail "the Wine prefix could not be made"
  wineserver --wait
  trap 'kill "$backend_pid" 2>/dev/null || true' EXIT
  start_release_backend "$build_dir/linux/server/hobnar-backend" "$out" "$port" \
    "$trial/events.db" "$trial/backend" \
    --package-url "$address/client/win/mainprogram/win-ia32-unpacked.rar"
  (cd "$trial/alone" && wine "./hobnar-setup-$version.exe" /S dev "/LOG=$trial/install.log") ||
    status=$?
  kill "$backend_pid" 2>/dev/null || true
  wait "$backend_pid" || true
  wineserver -k || true
  cat "$trial/install.log" 2>/dev/null || true
  [ "$status" -eq 0 ] || fail "the unattended install ended with status $status"
  check_trial_install "$trial"
}

check_trial_install() {
  local trial=$1 installed
  installed=$(find "$WINEPREFIX/drive_c/users" -path '*/AppData/Roaming/win-ia32-unpacked' -type d |
    head -n 1)
  [ -n "$installed" ] || fail "no product folder was installed in the trial prefix"
  diff -r --exclude=win-ia32-unpacked.lock "$product" "$installed" ||
    fail "the installed product differs from the product folder"
  "$build_dir/linux/server/hobnar-backend" --db "$trial/events.db" --list-events |
    grep -q pc_install_success || fail "the backend received no pc_install_success"
}

# ---- the release -----------------------------------------------------------

parse_options "$@"
check_options
out=$(realpath -m "$out")
product=$(realpath "$product")
case "$out/" in
  "$product/"*) die_usage "--out '$out' is inside the product folder" ;;
esac
mkdir -p "$out"
keep_build=0
if [ -n "$build_dir" ]; then
  keep_build=1
  mkdir -p "$build_dir"
  build_dir=$(cd "$build_dir" && pwd)
else
  build_dir=$(mktemp -d "${TMPDIR:-/tmp}/hobnar-release-XXXXXX")
fi
logs="$build_dir/logs" work="$build_dir/work"
rm -rf "$logs" "$work"
mkdir -p "$logs" "$work"
finish() {
  rm -rf "$work/trial"
  [ "$keep_build" -eq 1 ] || rm -rf "$build_dir"
}
trap finish EXIT
export SOURCE_DATE_EPOCH=$epoch
version=$(project_version "$here")

step "set-up (packages and sources)" "$here/scripts/setup.sh" --no-build
step "signing certificate" check_certificate
step "minisign public key" derive_public_key
public_key=$(sed -n 2p "$work/minisign.pub")
build_options=(-DHOBNAR_BUILD_TESTS=OFF -DHOBNAR_REPRODUCIBLE=ON
  -DHOBNAR_PROD_API_URL="$api_url" -DHOBNAR_PROD_PACKAGE_URL="$package_url"
  -DHOBNAR_MINISIGN_PUBLIC_KEY="$public_key")
# A kept build folder may remember an agreement page of an earlier release.
if [ -n "$agreement_url" ]; then
  build_options+=(-DHOBNAR_AGREEMENT_URL="$agreement_url")
else
  build_options+=(-UHOBNAR_AGREEMENT_URL)
fi
step "package" pack_product
step "package signature" sign_package
step "Windows build" build_windows
step "Linux build and .deb" build_linux
step "Authenticode signature" sign_program
step "install information and SHA256SUMS" write_sums
step "verify the Authenticode signature" verify_authenticode
step "verify the package signature" verify_package_signature
if [ "$trial" -eq 1 ]; then
  step "trial install under Wine" trial_install
fi
echo "release: done, version $version, in $out:"
(cd "$out" && find . -maxdepth 1 -type f -printf '  %s\t%f\n' | LC_ALL=C sort -k2)
