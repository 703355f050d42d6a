#!/usr/bin/env bash
# Checks a built launcher executable from the outside (runs natively, not under Wine):
# its machine type, that it is a windowless GUI program, that it imports only
# DLLs that Windows always maps from the system folder (KnownDLLs), so that no
# DLL planted beside the launcher can be loaded before its first instruction,
# and that it asks for the loader's mitigations: a relocatable image placed at
# a random address (DYNAMIC_BASE, with its relocations kept), data that cannot
# be executed (NX_COMPAT), on x86_64 the whole 64-bit address space for that
# placement (HIGH_ENTROPY_VA), and no section that is both writable and
# executable.
# Usage: check_executable.sh <exe> <x86|x64>
set -u
exe=$1; arch=$2
fail=0
headers=$(objdump -p "$exe") || { echo "cannot read $exe"; exit 1; }
sections=$(objdump -h "$exe") || { echo "cannot read the sections of $exe"; exit 1; }
case $arch in
  x86) want='file format pei-i386' ;;
  x64) want='file format pei-x86-64' ;;
esac
grep -q "$want" <<<"$headers" || { echo "FAIL: $exe is not $want"; fail=1; }
grep -Eq 'Subsystem[[:space:]]+00000002' <<<"$headers" || { echo "FAIL: $exe is not a Windows GUI program"; fail=1; }

# The optional header's DllCharacteristics, read as a number: objdump prints
# the names of the bits too, but the value is what the loader reads.
dllchars=$(awk '$1 == "DllCharacteristics" {print $2; exit}' <<<"$headers")
if [ -z "$dllchars" ]; then
  echo "FAIL: no DllCharacteristics found in $exe"; fail=1; dllchars=0
fi
want_bits=(0x0040:DYNAMIC_BASE 0x0100:NX_COMPAT)
[ "$arch" = x64 ] && want_bits+=(0x0020:HIGH_ENTROPY_VA)
for entry in "${want_bits[@]}"; do
  bit=${entry%%:*}; name=${entry#*:}
  if (( 0x$dllchars & bit )); then
    echo "ok: $name"
  else
    echo "FAIL: $exe lacks $name (DllCharacteristics 0x$dllchars)"; fail=1
  fi
done
# A relocatable image needs its relocations: without them the loader cannot
# move it, whatever DYNAMIC_BASE says.
if grep -q 'relocations stripped' <<<"$headers"; then
  echo "FAIL: $exe has its relocations stripped"; fail=1
fi
if awk '$1 == "Entry" && $2 == "5" && $4 != "00000000" {found=1} END {exit !found}' <<<"$headers"; then
  echo "ok: base relocations present"
else
  echo "FAIL: $exe has no base relocation directory"; fail=1
fi
# objdump -h gives each section's flags on the line after its name: CODE for
# an executable section (IMAGE_SCN_CNT_CODE or IMAGE_SCN_MEM_EXECUTE), and
# READONLY unless it is writable (IMAGE_SCN_MEM_WRITE).
wx=$(awk '$1 ~ /^[0-9]+$/ && NF >= 7 {name = $2; next}
          name != "" {if ($0 ~ /CODE/ && $0 !~ /READONLY/) print name; name = ""}' <<<"$sections")
if [ -n "$wx" ]; then
  for name in $wx; do echo "FAIL: section $name of $exe is writable and executable"; done
  fail=1
else
  echo "ok: no section is both writable and executable"
fi

# The KnownDLLs that Windows 7 and Windows 10/11 both list (HKLM\SYSTEM\
# CurrentControlSet\Control\Session Manager\KnownDLLs). comctl32 and version
# are not among them: they must be loaded at run time from the system folder.
known='^(advapi32|clbcatq|comdlg32|difxapi|gdi32|imagehlp|imm32|kernel32|msctf|msvcrt|normaliz|nsi|ole32|oleaut32|psapi|rpcrt4|sechost|setupapi|shell32|shlwapi|user32|wldap32|ws2_32)\.dll$'
imports=$(grep 'DLL Name:' <<<"$headers" | awk '{print $3}')
[ -n "$imports" ] || { echo "FAIL: no import table found in $exe"; fail=1; }
while read -r dll; do
  [ -n "$dll" ] || continue
  if grep -Eiq "$known" <<<"$dll"; then
    echo "ok: imports $dll (a KnownDLL)"
  else
    echo "FAIL: $exe imports $dll, which is not a KnownDLL"; fail=1
  fi
done <<<"$imports"
[ $fail -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $fail
