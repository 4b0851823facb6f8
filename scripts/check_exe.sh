#!/usr/bin/env bash
# Checks built executables; fails when one is not as it must be.
#   check_exe.sh EXE...             each imports only DLLs of Windows itself
#   check_exe.sh --shipped EXE      also: a 32-bit program of at most 384 KB
#                                   (360,448 bytes) with its manifest and
#                                   version resource, which Windows XP SP3
#                                   would start: every function it imports
#                                   is in ../shared/windows-xp/exports-xp.txt
#                                   (imported by name) and its subsystem
#                                   version is at most 5.1
set -euo pipefail
xp_exports="$(realpath -m "$(dirname "$0")/../../shared/windows-xp/exports-xp.txt")"
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
  # The program with zlib, for the acad.cuix of AutoCAD 2010 and later.
  [ "$size" -le 393216 ] ||
    fail "$exe is $size bytes, more than the 393216 bytes (384 KB) the program that ships may have"
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

  # XP's loader refuses a program that imports a function its DLLs do not
  # export, and one whose subsystem version is newer than its own 5.1.
  if [ ! -f "$xp_exports" ]; then
    echo "check_exe: not checked against Windows XP SP3: ${xp_exports} is missing"
    continue
  fi
  read -r major minor < <("$objdump" -p "$exe" |
    awk '/^MajorSubsystemVersion/ {a = $2} /^MinorSubsystemVersion/ {b = $2} END {print a + 0, b + 0}')
  [ "$major" -lt 5 ] || { [ "$major" -eq 5 ] && [ "$minor" -le 1 ]; } ||
    fail "$exe: subsystem version $major.$minor, above Windows XP's 5.1"
  # Each import as DLL!Function (the DLL in capitals, as the list has it), or
  # DLL#ordinal when imported by ordinal.
  imports="$("$objdump" -p "$exe" | awk '
    /^The Import Tables/ { on = 1; next }
    on && /^[A-Za-z]/ { on = 0 }
    on && /DLL Name:/ { dll = toupper($3); next }
    on && /^\t[0-9a-f]+\t/ { print ($3 == "<none>") ? dll "#" $2 : dll "!" $3 }' | LC_ALL=C sort -u)"
  # No import read at all would be a parse that no longer fits objdump.
  grep -q 'KERNEL32.DLL!' <<< "$imports" || fail "$exe: no import of KERNEL32.DLL was read from objdump -p"
  xp_dlls="$(cut -d'!' -f1 "$xp_exports" | uniq)"
  while IFS= read -r import; do
    case "$import" in
      "") ;;
      *'#'*) fail "$exe imports ordinal ${import#*#} of ${import%%#*}: an ordinal cannot be checked against Windows XP SP3" ;;
      *) if LC_ALL=C grep -qxF "${import%%!*}" <<< "$xp_dlls"; then
           fail "$exe imports $import, which Windows XP SP3 does not export"
         else
           fail "$exe imports $import, from a DLL that is not in ${xp_exports##*/}"
         fi ;;
    esac
  done < <(LC_ALL=C comm -23 <(echo "$imports") "$xp_exports")
done
exit $bad
