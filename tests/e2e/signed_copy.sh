#!/usr/bin/env bash
# Signs copies of the program with scripts/sign.sh and a throwaway
# self-signed code-signing certificate, checks each signature, and starts a
# signed copy under Wine to see its window. The programs themselves stay
# unsigned.
# Usage: signed_copy.sh SHIPPED.exe RUNNABLE.exe e2e_driver.exe build-folder
#   SHIPPED   the 32-bit program that ships: always signed and checked
#   RUNNABLE  the program this machine's Wine starts (the same file where
#             Wine runs 32-bit programs)
set -euo pipefail
shipped="$1" runnable="$2" driver="$3" build="$4"
here="$(cd "$(dirname "$0")" && pwd)"
sign="$here/../../scripts/sign.sh"
if [ ! -f "$shipped" ]; then
  echo "FAIL: no shipped program $shipped (bash scripts/build_win.sh --shipped TsSetup builds it)"
  exit 1
fi

work="$(mktemp -d /tmp/tssetup-sign.XXXXXX)"
trap 'rm -rf "$work"' EXIT
status=0
fail() {
  echo "FAIL: $*"
  status=1
}

export TS_SIGN_PASSWORD="throwaway $RANDOM$RANDOM"
signer="TsSetup test signer"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=$signer" \
  -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.p12" \
  -passout env:TS_SIGN_PASSWORD

# osslsigncode as sign.sh calls it: its command line and the mode of the
# password file it is given are noted before the real one runs.
mkdir "$work/bin"
cat >"$work/bin/osslsigncode" <<EOF
#!/usr/bin/env bash
echo "\$*" >>"$work/calls"
args=("\$@")
for ((i = 0; i + 1 < \${#args[@]}; i++)); do
  [ "\${args[i]}" != -readpass ] || stat -c 'password file %a' "\${args[i + 1]}" >>"$work/calls"
done
exec $(command -v osslsigncode) "\$@"
EOF
chmod +x "$work/bin/osslsigncode"
sign() { PATH="$work/bin:$PATH" bash "$sign" "$@" >/dev/null; }

# The signature is there, made with SHA-256 by our signer, and the program's
# bytes hash to what it signed. The throwaway certificate is the only root
# trusted here.
verified() {
  local report current calculated
  report="$(osslsigncode verify -CAfile "$work/cert.pem" -in "$1" 2>&1)" || return 1
  current="$(sed -n 's/^Current message digest *: *\([0-9A-F]*\).*/\1/p' <<<"$report")"
  calculated="$(sed -n 's/^Calculated message digest *: *\([0-9A-F]*\).*/\1/p' <<<"$report")"
  [ -n "$current" ] && [ "$current" = "$calculated" ] &&
    grep -q '^Message digest algorithm  *: SHA256' <<<"$report" &&
    grep -q "Subject: /CN=$signer" <<<"$report"
}

# Signs a copy of $1 into $2 and checks it.
sign_and_check() {
  local before
  before="$(sha256sum <"$1")"
  sign "$work/cert.p12" "$1" "$2" || { fail "sign.sh failed on $1"; return; }
  verified "$2" || fail "the signature of the signed copy of $1 does not verify"
  [ "$(sha256sum <"$1")" = "$before" ] || fail "$1 changed"
}

echo "== signing a copy of the shipped program"
sign_and_check "$shipped" "$work/shipped/TsSetup.exe"
# The check fails where it must: on the unsigned program and on a signed copy
# with one byte of its code changed.
verified "$shipped" && fail "the unsigned program passes the check"
cp "$work/shipped/TsSetup.exe" "$work/corrupt.exe"
byte="$(od -An -tu1 -j5000 -N1 "$work/corrupt.exe" | tr -d ' ')"
printf "\\x$(printf %02x $((byte ^ 255)))" | dd of="$work/corrupt.exe" bs=1 seek=5000 conv=notrunc status=none
verified "$work/corrupt.exe" && fail "a signed copy with a changed byte passes the check"

grep -qF "$TS_SIGN_PASSWORD" "$work/calls" && fail "the password is on osslsigncode's command line"
grep -qx 'password file 600' "$work/calls" || fail "the password file is not readable by this user only"
for file in $(grep -o -- '-readpass [^ ]*' "$work/calls" | cut -d' ' -f2); do
  [ ! -e "$file" ] || fail "the password file $file is left behind"
done

# Never over the program it signs, and a timestamp server that cannot be
# reached is a failure, not a signature without a timestamp.
cp "$shipped" "$work/in-place.exe"
sign "$work/cert.p12" "$work/in-place.exe" "$work/in-place.exe" 2>/dev/null && fail "sign.sh signed in place"
cmp -s "$shipped" "$work/in-place.exe" || fail "sign.sh changed the program it was asked to sign in place"
sign -t http://127.0.0.1:9/ "$work/cert.p12" "$shipped" "$work/stamped.exe" 2>/dev/null &&
  fail "sign.sh succeeded without its timestamp server"
[ ! -e "$work/stamped.exe" ] || fail "a failed signing left $work/stamped.exe"

started="$work/shipped/TsSetup.exe"
if ! [ "$runnable" -ef "$shipped" ]; then
  echo "signed copy: the signed 32-bit program is not started, since this machine's Wine runs $runnable; a signed copy of that is started instead."
  sign_and_check "$runnable" "$work/runnable/TsSetup.exe"
  started="$work/runnable/TsSetup.exe"
fi

echo "== the signed copy starts its window"
TS_E2E_FILTER='EndToEnd.TheTitleBarCloseEndsWithoutAWord' \
  bash "$here/run_e2e.sh" "$started" "$driver" "$build" || fail "the signed copy did not start its window"

[ $status -eq 0 ] && echo "signed copies: signed, verified, started"
exit $status
