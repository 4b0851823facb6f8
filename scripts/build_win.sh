#!/usr/bin/env bash
# Sets up what is missing and builds the Windows targets named (all when none)
# in build/win, in release mode.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build build/win -j"$(nproc)" "${targets[@]}" >/dev/null
