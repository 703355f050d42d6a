#!/usr/bin/env bash
# Checks a built launcher executable from the outside (runs natively, not under Wine):
# its machine type, that it is a windowless GUI program, and that it imports only
# system DLLs (no libstdc++, libgcc or winpthread DLLs beside it).
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
allowed='^(KERNEL32|USER32|ADVAPI32|SHELL32|COMCTL32|RPCRT4|msvcrt|ole32|OLEAUT32|SHLWAPI|VERSION)\.dll$'
while read -r dll; do
  if grep -Eiq "$allowed" <<<"$dll"; then
    echo "ok: imports $dll"
  else
    echo "FAIL: $exe imports $dll, which is not a system DLL"; fail=1
  fi
done < <(grep 'DLL Name:' <<<"$headers" | awk '{print $3}')
[ $fail -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $fail
