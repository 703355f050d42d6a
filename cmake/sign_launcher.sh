#!/usr/bin/env bash
# Signs a launcher executable in place with osslsigncode: Authenticode,
# SHA-256, optionally time-stamped (RFC 3161).
# Usage: sign_launcher.sh <exe> <pkcs12 file> [time-stamp url]
# The PKCS#12 password comes from the environment variable
# ORBELLE_SIGN_PASSWORD and reaches osslsigncode through a pipe, so it is
# neither on a command line that ps shows nor in a file. When signing fails,
# the unsigned executable is deleted: the next build links and signs it again.
set -euo pipefail
exe=$1; pkcs12=$2; timestamp=${3:-}
osslsigncode=${ORBELLE_OSSLSIGNCODE:-osslsigncode}
signed=$exe.signing

fail() {
  echo "sign_launcher: $*; $exe deleted" >&2
  rm -f "$exe" "$signed"
  exit 1
}

[ -n "${ORBELLE_SIGN_PASSWORD+set}" ] ||
  fail "ORBELLE_SIGN_PASSWORD is not set (the password of $pkcs12 is taken from it)"
args=(sign -pkcs12 "$pkcs12" -readpass /dev/stdin -h sha256 -n "Orbelle driver setup")
if [ -n "$timestamp" ]; then args+=(-ts "$timestamp"); fi
rm -f "$signed"
if ! output=$(printf '%s' "$ORBELLE_SIGN_PASSWORD" | "$osslsigncode" "${args[@]}" -in "$exe" -out "$signed" 2>&1); then
  printf '%s\n' "$output" >&2
  fail "osslsigncode could not sign it with $pkcs12"
fi
mv -f "$signed" "$exe"
