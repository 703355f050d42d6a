#!/usr/bin/env bash
# Checks a built launcher executable from the outside (runs natively, not under Wine):
# its machine type, that it is a windowless GUI program, and that it imports only
# DLLs that Windows always maps from the system folder (KnownDLLs), so that no
# DLL planted beside the launcher can be loaded before its first instruction.
# Usage: check_executable.sh <exe> <x86|x64>
set -u
exe=$1; arch=$2
fail=0
headers=$(objdump -p "$exe") || { echo "cannot read $exe"; exit 1; }
case $arch in
  x86) want='file format pei-i386' ;;
  x64) want='file format pei-x86-64' ;;
esac
grep -q "$want" <<<"$headers" || { echo "FAIL: $exe is not $want"; fail=1; }
grep -Eq 'Subsystem[[:space:]]+00000002' <<<"$headers" || { echo "FAIL: $exe is not a Windows GUI program"; fail=1; }
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
