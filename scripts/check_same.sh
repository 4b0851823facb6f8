#!/usr/bin/env bash
# Checks that two builds of an executable are byte for byte the same; when
# they are not, says which parts differ: the PE header's fields and the
# sections, by name.
#   check_same.sh EXE_A EXE_B
set -euo pipefail
a="$1" b="$2"
cmp -s "$a" "$b" && exit 0

# The x86_64 binutils read 32-bit and 64-bit executables alike.
objdump=x86_64-w64-mingw32-objdump
parts=()
# The file and optional headers' fields, by name (as objdump -p prints them,
# up to the data directory).
header() { "$objdump" -p "$1" | sed -n '/^Characteristics/,/^The Data Directory/p'; }
while read -r field; do
  parts+=("header field $field")
done < <(diff <(header "$a") <(header "$b") | awk -F'\t' '/^[<>] [^\t]/ {print substr($1, 3)}' | sort -u)
sections() { "$objdump" -h "$1" | awk '$1 ~ /^[0-9]+$/ {print $2}'; }
for section in $( (sections "$a"; sections "$b") | sort -u); do
  if ! cmp -s <("$objdump" -s -j "$section" "$a" | tail -n +3) \
              <("$objdump" -s -j "$section" "$b" | tail -n +3); then
    parts+=("$section")
  fi
done
[ ${#parts[@]} -gt 0 ] || parts=("bytes outside the sections")
echo "check_same: $a and $b differ ($(stat -c %s "$a") and $(stat -c %s "$b") bytes): $(
  IFS=,; echo "${parts[*]}" | sed 's/,/, /g')"
exit 1
