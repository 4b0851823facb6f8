#!/usr/bin/env bash
# Sets up, builds and runs every test: the Windows-free code natively under
# AddressSanitizer and UBSan, then the Win32 tests and the end-to-end test of
# the program under Wine in a fresh prefix made for this run: 32-bit Wine and
# the 32-bit build where this machine runs 32-bit programs, 64-bit Wine and
# the 64-bit build where it does not (or TS_WINE64=1). The shipped 32-bit
# program is built and checked on every machine, and built a second time in
# another folder, where it must come out byte for byte the same.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

bash scripts/setup.sh
source scripts/wine_env.sh
wine_locale_restart "$root/scripts/test.sh" "$@"
wine_say

jobs=$(nproc)
status=0

echo "== native tests (ASan, UBSan)"
cmake -S . -B build/native -DTS_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j"$jobs" >/dev/null
(cd build/native && ctest --output-on-failure -j"$jobs") || status=1

echo "== fuzzing the menu text transform (30 s)"
bash scripts/fuzz.sh 30 || status=1

echo "== the shipped program: 32-bit build in build/win"
if [ "$TS_WINE_ARCH" = win32 ]; then
  bash scripts/build_win.sh --shipped
else
  bash scripts/build_win.sh --shipped TsSetup
  echo "The 32-bit tests are not run here: $TS_WINE_REASON; the same tests run on the 64-bit build."
fi
bash scripts/check_exe.sh --shipped build/win/TsSetup.exe || status=1

echo "== the shipped program built again in build/win-again: the same bytes"
bash scripts/build_win.sh --shipped-again TsSetup
bash scripts/check_same.sh build/win/TsSetup.exe build/win-again/TsSetup.exe || status=1

if [ "$TS_WINE_ARCH" = win64 ]; then
  echo "== the 64-bit build of the same sources and tests in build/win64"
  bash scripts/build_win.sh
  bash scripts/check_exe.sh build/win64/TsSetup.exe || status=1
fi

echo "== Windows tests under Wine ($TS_WINE_ARCH prefix, ${TS_WIN_BUILD#"$root"/})"
prefix="$(mktemp -d /tmp/tssetup-wine.XXXXXX)"
trap 'wine_prefix_end; rm -rf "$prefix"' EXIT
wine_prefix_begin "$prefix/prefix"
# One more at a time than there are cores: the end-to-end, kill and
# power-cut tests spend most of their time waiting on the program, each in a
# prefix and display of its own.
(cd "$TS_WIN_BUILD" && ctest --output-on-failure --timeout 600 -j"$((jobs + 1))") || status=1
# ctest shows no output of a test that passed or was skipped: the power-cut
# test's one line on why it was skipped, and the signing test's on which
# signed copy it started.
grep -h '^power cuts skipped:\|^signed copy:' "$TS_WIN_BUILD/Testing/Temporary/LastTest.log" 2>/dev/null || true

exit $status
