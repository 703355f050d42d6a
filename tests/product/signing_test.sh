#!/usr/bin/env bash
# A signed launcher. Makes a throwaway code-signing certificate with openssl,
# builds the release preset (the i686 product with the demo payloads, no tests)
# signed with it through ORBELLE_SIGN_PKCS12, and checks that
# - the build made the product only, and its password is nowhere in the tree;
# - osslsigncode verify accepts the signature (SHA-256) with the throwaway
#   root as trusted root, and refuses it against another root;
# - the signed launcher carries every payload byte for byte;
# - a signed launcher with one payload byte changed fails verification;
# - a signed launcher's typical run under Wine still passes: the scenario
#   test's TypicalRun against the x86_64 tree's scenario launcher, signed by
#   the same step the build uses.
# Usage: signing_test.sh <source dir> <scratch dir> <x86_64 bin dir>
# (WINEPREFIX set, as scripts/test sets it).
set -u
src=$1; scratch=$2; x64_bin=$3
passed=0; failed=0
pass() { echo "ok: $1"; passed=$((passed + 1)); }
fail() { echo "FAIL: $1"; [ -z "${2:-}" ] || printf '%s\n' "$2" | sed 's/^/    /' | tail -30; failed=$((failed + 1)); }
finish() {
  rm -rf "$scratch"
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
}

rm -rf "$scratch"
mkdir -p "$scratch"
cert=$scratch/cert
ORBELLE_SIGN_PASSWORD=$(openssl rand -hex 16)
export ORBELLE_SIGN_PASSWORD
# make_root <name>: a self-signed root certificate and its key.
make_root() {
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=$1" -keyout "$cert/$1.key" -out "$cert/$1.pem" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"
}
if ! output=$( (
  umask 077
  mkdir "$cert" &&
    make_root "Orbelle Test Root" && make_root "Orbelle Other Root" &&
    openssl req -newkey rsa:2048 -nodes -subj "/CN=Orbelle Test Signer" -keyout "$cert/signer.key" -out "$cert/signer.csr" &&
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >"$cert/signer.ext" &&
    openssl x509 -req -days 2 -in "$cert/signer.csr" -CA "$cert/Orbelle Test Root.pem" \
      -CAkey "$cert/Orbelle Test Root.key" -CAcreateserial -extfile "$cert/signer.ext" -out "$cert/signer.pem" &&
    openssl pkcs12 -export -inkey "$cert/signer.key" -in "$cert/signer.pem" -out "$cert/signer.p12" \
      -passout env:ORBELLE_SIGN_PASSWORD
) 2>&1); then
  fail "a throwaway certificate" "$output"
  finish
fi
root=$cert/"Orbelle Test Root.pem"

# The release build, signed.
tree=$scratch/release
start=$(date +%s)
if ! output=$(cmake -S "$src" -B "$tree" --preset release -DORBELLE_SIGN_PKCS12="$cert/signer.p12" 2>&1 &&
              cmake --build "$tree" -j2 2>&1); then
  fail "the signed release build" "$output"
  finish
fi
pass "the signed release build ($(( $(date +%s) - start )) s)"
launcher=$tree/bin/OrbelleSetup.exe

built=$(cd "$tree/bin" && ls | tr '\n' ' ')
if [ "$built" = "OrbelleSetup.exe standin.exe " ] && [ ! -e "$tree/googletest" ] && [ ! -e "$tree/tests" ]; then
  pass "the release build made the product and its demo payload program only"
else
  fail "the release build made the product only: bin holds $built" "$(ls "$tree")"
fi
if grep -rqF -- "$ORBELLE_SIGN_PASSWORD" "$tree"; then
  fail "the password is nowhere in the build tree" "$(grep -rlF -- "$ORBELLE_SIGN_PASSWORD" "$tree")"
else
  pass "the password is nowhere in the build tree"
fi

verify() { osslsigncode verify -CAfile "$2" -in "$1" 2>&1; }
if output=$(verify "$launcher" "$root") && grep -q 'Message digest algorithm *: SHA256' <<<"$output"; then
  pass "osslsigncode verify accepts the SHA-256 signature with the throwaway root"
else
  fail "osslsigncode verify accepts the SHA-256 signature with the throwaway root" "$output"
fi
if output=$(verify "$launcher" "$cert/Orbelle Other Root.pem"); then
  fail "osslsigncode verify refuses the signature against another root" "$output"
else
  pass "osslsigncode verify refuses the signature against another root"
fi

# resource_at <exe> <type> <name>: "<file offset> <size>" of a named
# resource's data, from objdump's listing of the resource directory (type
# entries indented by 3, name entries by 5) and of the section table.
resource_at() {
  local leaf rva size base idx length vma offset
  leaf=$(objdump -p "$1" | awk -v type="$2" -v name="$3" '
    /Entry: / {
      indent = index($0, "Entry") - length($1) - 1
      label = $0; sub(/.*\]: /, "", label); sub(/, Value:.*/, "", label)
      if (indent == 3) t = label; else if (indent == 5) n = label
    }
    /Leaf: Addr: / && t == type && n == name { gsub(/,/, ""); print $4, $6; exit }')
  [ -n "$leaf" ] || return 1
  read -r rva size <<<"$leaf"
  rva=$((rva)); size=$((size))
  base=$((16#$(objdump -p "$1" | awk '/^ImageBase/ { print $2 }')))
  while read -r idx _ length vma _ offset _; do
    [[ $idx =~ ^[0-9]+$ ]] || continue
    vma=$((16#$vma - base)); length=$((16#$length))
    if [ "$rva" -ge "$vma" ] && [ $((rva + size)) -le $((vma + length)) ]; then
      echo "$((16#$offset + rva - vma)) $size"
      return 0
    fi
  done < <(objdump -h "$1")
  return 1
}
standin=$tree/bin/standin.exe
payloads=("EXE UNINST $standin" "EXE VC2005_REDIST_32 $standin" "EXE VC2005_REDIST_64 $standin"
          "MSI MSI32 $tree/demo/demo-x86.msi" "MSI MSI64 $tree/demo/demo-x64.msi")
mismatched=""
for p in "${payloads[@]}"; do
  read -r type name file <<<"$p"
  at=$(resource_at "$launcher" "$type" "$name")
  if [ -z "$at" ] || ! cmp -s <(tail -c +$(( ${at% *} + 1 )) "$launcher" | head -c "${at#* }") "$file" ||
     [ "${at#* }" -ne "$(stat -c %s "$file")" ]; then
    mismatched+=" $name"
  fi
done
if [ -z "$mismatched" ]; then
  pass "the signed launcher carries every payload byte for byte"
else
  fail "the signed launcher carries every payload byte for byte: differs:$mismatched" "$(objdump -p "$launcher" | grep -A3 'Entry: name')"
fi

# One byte in the middle of the "MSI32" payload changed.
tampered=$scratch/tampered.exe
cp "$launcher" "$tampered"
if at=$(resource_at "$launcher" MSI MSI32); then
  offset=$(( ${at% *} + ${at#* } / 2 ))
  byte=$(od -An -tu1 -j "$offset" -N1 "$tampered" | tr -d ' ')
  printf '%b' "\\0$(printf '%03o' $(( byte ^ 0xFF )))" | dd of="$tampered" bs=1 seek="$offset" conv=notrunc status=none
fi
if [ "$(cmp -l "$launcher" "$tampered" | wc -l)" -ne 1 ]; then
  fail "a changed payload byte fails verification: not one byte changed"
elif output=$(verify "$tampered" "$root"); then
  fail "a changed payload byte fails verification: it verified" "$output"
else
  pass "a changed payload byte fails verification"
fi

# The typical run of a signed launcher: the x86_64 test programs and fixtures
# (hard links), with the scenario launcher signed by the build's signing step.
bin=$scratch/bin
cp -al "$x64_bin" "$bin" 2>/dev/null || cp -a "$x64_bin" "$bin"
if ! output=$("$src/cmake/sign_launcher.sh" "$bin/scenario_launcher.exe" "$cert/signer.p12" 2>&1) ||
   ! output=$(verify "$bin/scenario_launcher.exe" "$root"); then
  fail "the scenario launcher is signed" "$output"
elif output=$("$src/tests/harness/wine-run" /usr/lib/wine/wine64 "$bin/whole_run_test.exe" \
                --gtest_filter='TypicalRun.*' 2>&1) && grep -Eq '\[  PASSED  \] [1-9][0-9]* test' <<<"$output"; then
  pass "the signed scenario launcher's typical run passes"
else
  fail "the signed scenario launcher's typical run passes" "$output"
fi

finish
