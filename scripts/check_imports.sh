#!/usr/bin/env bash
# Fails when an executable imports a DLL that is not part of Windows itself.
set -euo pipefail
allowed='^(kernel32|user32|gdi32|comctl32|comdlg32|advapi32|shell32|ole32|msvcrt|ntdll)\.dll$'
bad=0
for exe in "$@"; do
  while read -r dll; do
    if ! echo "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$allowed"; then
      echo "check_imports: $exe imports $dll, which is not a Windows DLL"
      bad=1
    fi
  done < <(i686-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print $3}')
done
exit $bad
