#!/usr/bin/env bash
# Sets up, builds and runs every test: the Windows-free code natively under
# AddressSanitizer and UBSan, then the Win32 tests and the end-to-end test of
# the program under Wine in a fresh 32-bit prefix made for this run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

bash scripts/setup.sh

jobs=$(nproc)
status=0

echo "== native tests (ASan, UBSan)"
cmake -S . -B build/native -DTS_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j"$jobs" >/dev/null
(cd build/native && ctest --output-on-failure -j"$jobs") || status=1

echo "== fuzzing the menu text transform (30 s)"
bash scripts/fuzz.sh 30 || status=1

echo "== Windows build"
cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win -j"$jobs" >/dev/null
bash scripts/check_imports.sh build/win/TsSetup.exe || status=1

echo "== Win32 tests under Wine"
source scripts/wine_env.sh
prefix="$(mktemp -d /tmp/tssetup-wine.XXXXXX)"
trap 'wine_prefix_end; rm -rf "$prefix"' EXIT
wine_prefix_begin "$prefix/prefix"
(cd build/win && ctest --output-on-failure --timeout 600) || status=1

exit $status
