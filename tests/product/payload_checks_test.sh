#!/usr/bin/env bash
# The build refuses payloads that cannot be right: each case configures the
# release build (the product only) with one wrong payload and expects the
# configure to fail with a message that names the variable, the file and what
# is wrong; right payloads configure. Then the launchers' build step (the same
# checks, for payloads the build makes) on a wrong payload and on one its
# launcher carries unchecked. Configure only, nothing is compiled.
# Runs natively. Usage: payload_checks_test.sh <source dir> <scratch dir>
#   <package for Intel> <package for x64> <Windows program>
set -u
src=$1; scratch=$2; msi32=$3; msi64=$4; program=$5
passed=0; failed=0

rm -rf "$scratch"
inputs=$scratch/inputs
mkdir -p "$inputs/folder"
text=$inputs/readme.txt
printf 'This is not a payload.\n' >"$text"
empty=$inputs/empty.bin
: >"$empty"
missing=$inputs/missing.msi
truncated_msi=$inputs/truncated.msi
head -c 4096 "$msi32" >"$truncated_msi"
truncated_exe=$inputs/truncated.exe
head -c $(( $(stat -c %s "$program") / 2 )) "$program" >"$truncated_exe"
# A Windows Installer database for Intel that installs no product (as a merge
# module or a patch): summary information, no Property table.
no_product=$inputs/no-product.msi
msibuild "$no_product" -s "Not a product" ZARO "Intel;1033" "{6B1D3F4A-8E2C-4F57-9A0B-1C2D3E4F5A6B}"

# configure VAR=file...: the release build with right payloads, except those given.
configure() {
  local -A payload=([UNINST]=$program [UNINST2]=$program [VC2005_REDIST_32]=$program
                    [VC2005_REDIST_64]=$program [MSI32]=$msi32 [MSI64]=$msi64)
  local given name args=()
  for given in "$@"; do payload[${given%%=*}]=${given#*=}; done
  for name in "${!payload[@]}"; do args+=("-DPAYLOAD_$name=${payload[$name]}"); done
  cmake -S "$src" -B "$scratch/tree" --preset release "${args[@]}" 2>&1
}

pass() { echo "ok: $1"; passed=$((passed + 1)); }
fail() { echo "FAIL: $1"; printf '%s\n' "$2" | sed 's/^/    /' | tail -25; failed=$((failed + 1)); }

# Right payloads: packages authored like the demo ones and the stand-in, the
# 64-bit one also as the 32-bit redistributable (the architecture of a
# program is not checked).
if output=$(configure); then
  pass "right payloads configure"
else
  fail "right payloads configure" "$output"
fi

# case_fails <what> <expected message lines, one per line> VAR=file...
case_fails() {
  local what=$1 expected=$2 output line missing_lines=""
  shift 2
  if output=$(configure "$@"); then
    fail "$what: the configure succeeded" "$output"
    return
  fi
  while IFS= read -r line; do
    grep -qF -- "$line" <<<"$output" || missing_lines+="$line"$'\n'
  done <<<"$expected"
  if [ -n "$missing_lines" ]; then
    fail "$what: the message lacks: $missing_lines" "$output"
  else
    pass "$what"
  fi
}

case_fails "the 64-bit package as MSI32" \
  "PAYLOAD_MSI32 = $msi64: a package for the platform \"x64\"" MSI32="$msi64"
case_fails "the 32-bit package as MSI64" \
  "PAYLOAD_MSI64 = $msi32: a package for the platform \"Intel\"" MSI64="$msi32"
case_fails "both packages swapped: one message names both" \
  "PAYLOAD_MSI32 = $msi64: a package for the platform \"x64\"
PAYLOAD_MSI64 = $msi32: a package for the platform \"Intel\"" MSI32="$msi64" MSI64="$msi32"
case_fails "a text file as a package" \
  "PAYLOAD_MSI32 = $text: not a Windows Installer package: it is not a compound file" MSI32="$text"
case_fails "a program as a package" \
  "PAYLOAD_MSI64 = $program: not a Windows Installer package: it is not a compound file" MSI64="$program"
case_fails "a database that installs no product" \
  "PAYLOAD_MSI32 = $no_product: not a product package: msiinfo finds no ProductCode" MSI32="$no_product"
case_fails "a truncated package" \
  "PAYLOAD_MSI64 = $truncated_msi: not a Windows Installer package: msiinfo cannot read its summary information" \
  MSI64="$truncated_msi"
case_fails "a text file as a redistributable" \
  "PAYLOAD_VC2005_REDIST_32 = $text: not a Windows program: it does not start with an MZ header" \
  VC2005_REDIST_32="$text"
case_fails "a package as a redistributable" \
  "PAYLOAD_VC2005_REDIST_64 = $msi64: not a Windows program" VC2005_REDIST_64="$msi64"
case_fails "a truncated program" \
  "PAYLOAD_UNINST = $truncated_exe: a truncated Windows program: the file ends at byte" UNINST="$truncated_exe"
case_fails "an empty file" "PAYLOAD_UNINST = $empty: the file is empty (0 bytes)" UNINST="$empty"
case_fails "a missing path" "PAYLOAD_MSI32 = $missing: the file does not exist" MSI32="$missing"
case_fails "a folder" "PAYLOAD_UNINST2 = $inputs/folder: a folder, not a file" UNINST2="$inputs/folder"

# The launchers' build step, for payloads the build makes itself.
checks=$src/cmake/PayloadChecks.cmake
# build_step <name> <unchecked resources>: runs the step over a wrong "MSI32".
build_step() {
  local list_file=$scratch/$1.cmake
  cat >"$list_file" <<EOF
set(launcher "test_launcher")
set(payloads "VC2005_REDIST_32;$program;MSI32;$msi64")
set(unchecked "$2")
set(msiinfo "$(command -v msiinfo)")
set(stamp "$scratch/$1.checked")
EOF
  cmake -DORBELLE_PAYLOAD_LIST="$list_file" -P "$checks" 2>&1
}
if output=$(build_step refused ""); then
  fail "the build step refuses a wrong payload: it succeeded" "$output"
elif ! grep -qF "test_launcher payload MSI32 = $msi64: a package for the platform \"x64\"" <<<"$output" ||
     [ -e "$scratch/refused.checked" ]; then
  fail "the build step refuses a wrong payload: message or stamp wrong" "$output"
else
  pass "the build step refuses a wrong payload"
fi
if output=$(build_step unchecked MSI32) && [ -e "$scratch/unchecked.checked" ]; then
  pass "the build step lets an unchecked payload through"
else
  fail "the build step lets an unchecked payload through" "$output"
fi

rm -rf "$scratch"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
