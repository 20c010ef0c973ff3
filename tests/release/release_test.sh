#!/usr/bin/env bash
# The release command end to end, with throw-away keys made here: a minisign
# key pair and a code-signing certificate that is its own CA.  It releases
# the Windows demo product twice from two build folders and checks that
#   - both releases verify and the first installs under Wine (release.sh's
#     own checks and trial),
#   - the package and the unsigned setup program are the same bytes twice,
#   - SHA256SUMS holds, and a setup program changed after signing fails
#     osslsigncode verify,
#   - a wrong certificate password stops the release at its first step with
#     one line, before anything is built or written,
#   - --help names every option.
# Called by scripts/test.sh after the Windows suites (it uses their demo
# product); about 5 minutes on two cores.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
release="$here/scripts/release.sh"
tmp=$(mktemp -d "${TMPDIR:-/tmp}/hobnar-release-test-XXXXXX")
# Kept after a failure, for its logs.
trap 'if [ $? -eq 0 ]; then rm -rf "$tmp"; else echo "release-test: kept $tmp" >&2; fi' EXIT

say() { echo "release-test: $*"; }
fail() {
  echo "release-test: FAILED: $*" >&2
  exit 1
}

make_keys() {
  mkdir -p "$tmp/keys"
  minisign -G -W -p "$tmp/keys/minisign.pub" -s "$tmp/keys/minisign.key" >/dev/null
  openssl req -x509 -newkey rsa:3072 -nodes -days 2 -subj "/CN=hobnar throw-away signer" \
    -keyout "$tmp/keys/signer.key" -out "$tmp/keys/signer.pem" \
    -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,digitalSignature,keyCertSign" \
    -addext "extendedKeyUsage=codeSigning" 2>/dev/null
  export HOBNAR_SIGNING_PASSWORD="throw away $$"
  openssl pkcs12 -export -inkey "$tmp/keys/signer.key" -in "$tmp/keys/signer.pem" \
    -out "$tmp/keys/signer.p12" -passout env:HOBNAR_SIGNING_PASSWORD
}

# The Windows demo product, with a folder and a non-ASCII name beside it.
make_product() {
  local bin="$here/build-win32/bin"
  if [ ! -f "$bin/hobnar-demo-product.exe" ] || [ ! -f "$bin/hobnar-demo-uninstall.exe" ]; then
    cmake --preset win32 -S "$here" >/dev/null
    cmake --build --preset win32 --target hobnar-demo-product hobnar-demo-uninstall >/dev/null
  fi
  mkdir -p "$tmp/product/resources/models"
  cp "$bin/hobnar-demo-product.exe" "$tmp/product/hobnarAudio.exe"
  cp "$bin/hobnar-demo-uninstall.exe" "$tmp/product/unInstall.exe"
  printf 'speech model\n' >"$tmp/product/resources/models/zh.bin"
  printf '说明\n' >"$tmp/product/resources/说明.txt"
}

release_into() {
  local name=$1
  shift
  "$release" --product "$tmp/product" --out "$tmp/$name" --build-dir "$tmp/build-$name" \
    --api-url http://api.release-test.example \
    --package-url http://dl.release-test.example/client/win/mainprogram/win-ia32-unpacked.rar \
    --minisign-key "$tmp/keys/minisign.key" --cert "$tmp/keys/signer.p12" \
    --ca "$tmp/keys/signer.pem" --epoch 1700000000 "$@"
}

check_help() {
  local option help
  help=$("$release" --help)
  for option in $(sed -n '/^parse_options()/,/^}/p' "$release" | grep -oE -- '--[a-z-]+' | sort -u); do
    grep -qe "$option" <<<"$help" || fail "--help does not mention $option"
  done
}

check_wrong_password() {
  local err="$tmp/wrong.err" status=0
  HOBNAR_SIGNING_PASSWORD=wrong release_into wrong >/dev/null 2>"$err" || status=$?
  [ "$status" -eq 1 ] || fail "a wrong certificate password ended with status $status"
  [ "$(wc -l <"$err")" -eq 1 ] || fail "a wrong password said more than one line: $(cat "$err")"
  grep -q '^release: signing certificate failed: ' "$err" || fail "unexpected: $(cat "$err")"
  [ ! -d "$tmp/build-wrong/win32" ] || fail "a wrong password still built"
  [ -z "$(ls -A "$tmp/wrong")" ] || fail "a wrong password still wrote into the release folder"
}

check_same_twice() {
  local file
  for file in win-ia32-unpacked.rar install-info.json; do
    cmp "$tmp/one/$file" "$tmp/two/$file" || fail "$file differs between two releases"
  done
  file=shipped/hobnar-setup-2.0.1.exe
  cmp "$tmp/build-one/win32/$file" "$tmp/build-two/win32/$file" ||
    fail "the unsigned setup program differs between two releases"
  if grep -qaF -e "$here" -e "$tmp" "$tmp/build-one/win32/$file"; then
    fail "the setup program names a folder of the machine that built it"
  fi
  (cd "$tmp/one" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not hold"
}

check_tampered_program() {
  local signed="$tmp/one/hobnar-setup-2.0.1.exe" tampered="$tmp/tampered.exe"
  osslsigncode verify -in "$signed" -CAfile "$tmp/keys/signer.pem" >/dev/null ||
    fail "the released program does not verify"
  cp "$signed" "$tampered"
  # One byte of code: the .text section starts at 0x400 in MinGW's programs.
  printf '\xcc' | dd of="$tampered" bs=1 seek=$((0x400 + 4096)) conv=notrunc status=none
  cmp -s "$signed" "$tampered" && fail "the byte was not changed"
  if osslsigncode verify -in "$tampered" -CAfile "$tmp/keys/signer.pem" >/dev/null 2>&1; then
    fail "a setup program changed after signing still verifies"
  fi
}

make_keys
make_product
say "--help names every option"
check_help
say "a wrong certificate password stops at the first step"
check_wrong_password
say "release one (with the trial under Wine)"
release_into one
say "release two, from another build folder"
release_into two --no-trial
say "the same bytes twice; SHA256SUMS; a changed program fails verification"
check_same_twice
check_tampered_program
say "passed"
