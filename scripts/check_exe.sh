#!/usr/bin/env bash
# Checks built executables; fails when one is not as it must be.
#   check_exe.sh EXE...             each imports only DLLs of Windows itself
#   check_exe.sh --shipped EXE      also: a 32-bit program of at most 200 KB
#                                   (204,800 bytes) with its manifest and
#                                   version resource
set -euo pipefail
shipped=""
if [ "${1:-}" = "--shipped" ]; then shipped=1; shift; fi
# The x86_64 binutils read 32-bit and 64-bit executables alike.
objdump=x86_64-w64-mingw32-objdump
allowed='^(kernel32|user32|gdi32|comctl32|comdlg32|advapi32|shell32|ole32|msvcrt|ntdll)\.dll$'
bad=0
fail() { echo "check_exe: $1"; bad=1; }
for exe in "$@"; do
  while read -r dll; do
    if ! echo "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$allowed"; then
      fail "$exe imports $dll, which is not a Windows DLL"
    fi
  done < <("$objdump" -p "$exe" | awk '/DLL Name:/ {print $3}')
  [ -n "$shipped" ] || continue

  "$objdump" -f "$exe" | grep -q 'file format pei-i386' ||
    fail "$exe is not a 32-bit Windows program: $("$objdump" -f "$exe" | grep -o 'file format.*')"
  size=$(stat -c %s "$exe")
  [ "$size" -le 204800 ] ||
    fail "$exe is $size bytes, more than the 204800 bytes (200 KB) the program that ships may have"
  # The manifest is stored as its own UTF-8 bytes; the version resource's
  # strings are UTF-16, which read as ASCII once the zero bytes are gone.
  for part in 'processorArchitecture="x86"' 'level="requireAdministrator"' \
              'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' \
              'PerMonitorV2' '<longPathAware' ; do
    LC_ALL=C grep -aqF "$part" "$exe" || fail "$exe: the manifest lacks $part"
  done
  # (Read whole first: grep -q would end a pipe early, which pipefail counts
  # as a failure.)
  strings16="$(tr -d '\000' < "$exe")"
  for part in VS_VERSION_INFO 'FileVersion2.0.0.0' 'OriginalFilenameTsSetup.exe' 'ProductNameTesmora'; do
    LC_ALL=C grep -aqF "$part" <<< "$strings16" || fail "$exe: the version resource lacks $part"
  done
done
exit $bad
