#!/usr/bin/env bash
# Signs a Windows program with Authenticode (SHA-256), so that Windows names
# its publisher in the UAC prompt and SmartScreen knows whose it is.
#   TS_SIGN_PASSWORD=... sign.sh [-t TIMESTAMP_URL] CERT.p12 IN.exe OUT.exe
# CERT.p12 is the code-signing certificate with its private key (PKCS#12);
# its password comes from TS_SIGN_PASSWORD only, and reaches osslsigncode
# through a file only this user can read, never through a command line that
# `ps` would show. TIMESTAMP_URL (or TS_SIGN_TIMESTAMP) names an RFC 3161
# timestamp server: a timestamped signature stays valid after the
# certificate expires. OUT.exe is a new signed copy; IN.exe is never changed,
# so the unsigned build stays the one two builds must agree on byte for byte.
set -euo pipefail

usage() {
  echo "usage: TS_SIGN_PASSWORD=... $0 [-t TIMESTAMP_URL] CERT.p12 IN.exe OUT.exe" >&2
  exit 2
}
fail() {
  echo "sign.sh: $*" >&2
  exit 1
}

timestamp="${TS_SIGN_TIMESTAMP:-}"
while getopts t: option; do
  case "$option" in
    t) timestamp="$OPTARG" ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
[ $# -eq 3 ] || usage
cert="$1" in="$2" out="$3"

command -v osslsigncode >/dev/null || fail "osslsigncode is missing (bash scripts/setup.sh installs it)"
[ -f "$cert" ] || fail "no certificate file $cert"
[ -f "$in" ] || fail "no program $in"
[ "${TS_SIGN_PASSWORD+set}" = set ] || fail "TS_SIGN_PASSWORD is not set: it holds the password of $cert"
if [ -e "$out" ] && [ "$in" -ef "$out" ]; then
  fail "$out is the program to sign: the signed copy goes to another file"
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# printf is a shell builtin: the password is on no command line.
(umask 077 && printf '%s' "$TS_SIGN_PASSWORD" >"$work/password")

args=(sign -pkcs12 "$cert" -readpass "$work/password" -h sha256)
[ -z "$timestamp" ] || args+=(-ts "$timestamp")
# osslsigncode writes no file over an existing one; the copy is signed
# beside its destination, under a name of its own, and takes the
# destination's name in one step once it is whole.
mkdir -p "$(dirname "$out")"
signed="$(mktemp "$(dirname "$out")/.signing.XXXXXX")"
trap 'rm -rf "$work" "$signed"' EXIT
rm -f "$signed"
osslsigncode "${args[@]}" -in "$in" -out "$signed" >/dev/null ||
  fail "osslsigncode could not sign $in (its message is above)"
mv -f "$signed" "$out"
echo "Signed $out${timestamp:+, timestamped by $timestamp}"
