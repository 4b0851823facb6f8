#!/usr/bin/env bash
# Builds Windows targets in release mode; all of them when none is named.
#   build_win.sh [target...]            in the build this machine's Wine runs
#                                       (build/win or build/win64)
#   build_win.sh --shipped [target...]  in build/win: the 32-bit program that ships
#   build_win.sh --shipped-again [target...]
#                                       the same in build/win-again, a second
#                                       folder whose program must come out
#                                       byte for byte the same
# Expects scripts/setup.sh to have run.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/wine_env.sh
build="$TS_WIN_BUILD" toolchain="$TS_WIN_TOOLCHAIN"
case "${1:-}" in
  --shipped) build="$ts_root/build/win" ;;&
  --shipped-again) build="$ts_root/build/win-again" ;;&
  --shipped|--shipped-again) toolchain="$ts_root/cmake/mingw-i686.cmake"; shift ;;
esac
win_build_forget_old_compilers "$build"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release >/dev/null
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build "$build" -j"$(nproc)" "${targets[@]}" >/dev/null
