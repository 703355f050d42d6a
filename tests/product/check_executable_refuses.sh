#!/usr/bin/env bash
# Shows that check_executable.sh is not vacuous: copies of a good executable,
# each with one mitigation taken out of its headers, must each fail the check
# with the line that names what is missing, while the unchanged copy passes.
# The bytes patched are those the Windows loader reads: DllCharacteristics of
# the optional header, Characteristics of the file header, and the
# Characteristics of one section header.
# Usage: check_executable_refuses.sh <exe> <x86|x64>
set -u
exe=$1; arch=$2
check=$(dirname "$0")/check_executable.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0

u16() { od -An -t u2 -j "$2" -N 2 "$1" | tr -d ' '; }
u32() { od -An -t u4 -j "$2" -N 4 "$1" | tr -d ' '; }
put16() { printf "$(printf '\\x%02x\\x%02x' $(($3 & 0xff)) $((($3 >> 8) & 0xff)))" |
          dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }
put32() { put16 "$1" "$2" $(($3 & 0xffff)); put16 "$1" $(($2 + 2)) $((($3 >> 16) & 0xffff)); }

pe=$(u32 "$exe" 60)
file_chars=$((pe + 22))
optional=$((pe + 24))
dll_chars=$((optional + 70))
section_table=$((optional + $(u16 "$exe" $((pe + 20)))))
sections=$(u16 "$exe" $((pe + 6)))
# The data directories follow the optional header's fixed part, which is 96
# bytes long in PE32 (magic 0x10b) and 112 in PE32+; entry 5 holds the base
# relocations, its size 4 bytes into the entry.
if [ "$(u16 "$exe" "$optional")" = $((0x20b)) ]; then directories=$((optional + 112)); else directories=$((optional + 96)); fi
relocation_size=$((directories + 5 * 8 + 4))

# Offset of the Characteristics field of the section named $1.
section_chars() {
  local i name
  for ((i = 0; i < sections; i++)); do
    name=$(dd if="$exe" bs=1 skip=$((section_table + 40 * i)) count=8 status=none | tr -d '\0')
    [ "$name" = "$1" ] && { echo $((section_table + 40 * i + 36)); return; }
  done
  echo "no section $1 in $exe" >&2; exit 1
}

# expect_refused <case> <offset> <"u16"|"u32"> <and-mask> <or-mask> <expected FAIL text>
expect_refused() {
  local copy=$work/$1.exe value
  cp "$exe" "$copy"
  if [ "$3" = u16 ]; then
    value=$(u16 "$copy" "$2"); put16 "$copy" "$2" $(((value & $4) | $5))
  else
    value=$(u32 "$copy" "$2"); put32 "$copy" "$2" $(((value & $4) | $5))
  fi
  local out
  if out=$("$check" "$copy" "$arch"); then
    echo "FAIL: $1: the check passed an image without it"; fail=1
  elif ! grep -q "FAIL: .*$6" <<<"$out"; then
    echo "FAIL: $1: the check failed, but not with \"$6\":"; echo "$out"; fail=1
  else
    echo "ok: $1 refused ($6)"
  fi
}

if "$check" "$exe" "$arch" >/dev/null; then
  echo "ok: the unchanged image passes"
else
  echo "FAIL: the unchanged image $exe does not pass the check"; fail=1
fi
expect_refused no-dynamic-base "$dll_chars" u16 $((~0x0040 & 0xffff)) 0 'lacks DYNAMIC_BASE'
expect_refused no-nx-compat "$dll_chars" u16 $((~0x0100 & 0xffff)) 0 'lacks NX_COMPAT'
if [ "$arch" = x64 ]; then
  expect_refused no-high-entropy-va "$dll_chars" u16 $((~0x0020 & 0xffff)) 0 'lacks HIGH_ENTROPY_VA'
fi
expect_refused no-base-relocations "$relocation_size" u32 0 0 'no base relocation directory'
expect_refused relocations-stripped "$file_chars" u16 0xffff 0x0001 'relocations stripped'
# IMAGE_SCN_MEM_WRITE on the code, IMAGE_SCN_MEM_EXECUTE on the data.
expect_refused writable-code "$(section_chars .text)" u32 0xffffffff 0x80000000 'section .text .*writable and executable'
expect_refused executable-data "$(section_chars .data)" u32 0xffffffff 0x20000000 'section .data .*writable and executable'
[ $fail -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $fail
