#!/usr/bin/env bash
# Benchmarks the release build of TsSetup.exe against minimal Win32 programs
# doing the same work, all in one fresh Wine prefix under Xvfb, and prints one
# Markdown table. Each figure is the median (min–max) of the runs; the two
# sides of a row alternate run by run and the comparison is the median of the
# run-by-run ratios, since Wine's timings drift from run to run.
#
# Usage: scripts/bench.sh [--runs N] [--trace] [--diagnose] [--build-dir DIR]
#        scripts/bench.sh --smoke [--build-dir DIR]
#   --runs N      runs per side (default 7, at least 5), after one warm-up
#   --trace       also print to stderr when each step of one install of each
#                 side reached the disk
#   --diagnose    also print rows D1-D8, which take the file costs apart
#   --smoke       a tiny payload, one run each: checks that everything runs,
#                 never fails on a figure
#   --build-dir   use the programs already built there instead of building
#                 build/bench
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

runs=7 warmup=1 smoke="" trace="" diagnose="" build=""
args=("$@")
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift ;;
    --trace) trace=1 ;;
    --diagnose) diagnose=1 ;;
    --smoke) smoke=1 ;;
    --build-dir) build="$2"; shift ;;
    *) echo "bench.sh: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done
if [ -n "$smoke" ]; then
  runs=1 warmup=0
elif [ "$runs" -lt 5 ]; then
  echo "bench.sh: --runs must be at least 5" >&2; exit 2
fi

if [ -z "${TS_BENCH_IN_XVFB:-}" ]; then
  if [ -z "$build" ]; then
    bash scripts/setup.sh
    source scripts/wine_env.sh
    build="$root/build/bench"
    [ "$TS_WINE_ARCH" = win64 ] && build="$root/build/bench64"
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$TS_WIN_TOOLCHAIN" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" -j"$(nproc)" --target TsSetup bench_driver bench_floor bench_fileops >/dev/null
  fi
  # Wine's desktop binds to the display it finds when the prefix starts, so
  # the prefix is made inside the Xvfb display.
  TS_BENCH_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 800x600x24" \
    bash "$0" "${args[@]}" --build-dir "$(cd "$build" && pwd)"
fi

started=$(date +%s)
source scripts/wine_env.sh
source scripts/sample_env.sh
work="$(mktemp -d /tmp/tssetup-bench.XXXXXX)"
trap 'wine_prefix_end; rm -rf "$work"' EXIT
wine_prefix_begin "$work/prefix"

# The world: AutoCAD 2002 with its menu, and the distribution folder with the
# program, the floor program and the payload.
drive="$WINEPREFIX/drive_c"
cad="$drive/Program Files/AutoCAD 2002" dist="$drive/TsSetup"
mkdir -p "$cad/support" "$dist/data/Pictrue" "$drive/bench"
printf 'placeholder for acad.exe\r\n' > "$cad/acad.exe"
make_sample_menu > "$cad/support/acad.mns"
cp "$build/TsSetup.exe" "$build/bench_floor.exe" "$dist/"
cp "$build/bench_driver.exe" "$build/bench_fileops.exe" "$drive/bench/"
if [ -n "$smoke" ]; then
  mdb_kb=64 pictures=20 menu_mb=1
else
  mdb_kb=$((100 * 1024)) pictures=1000 menu_mb=50
fi
data="$dist/data"
head -c "${mdb_kb}K" /dev/urandom > "$data/TS_DATA.mdb"
for name in acadstk.dmp PROJECT.dvb acad.dvb CPUID.dll; do head -c 4K /dev/urandom > "$data/$name"; done
: > "$data/TS_DATA.ldb"
head -c $((pictures * 30))K /dev/urandom |
  split -b 30K -d -a 4 --additional-suffix=.bmp - "$data/Pictrue/pic"

rows="$work/rows"
cd "$drive/bench"
wine bench_driver.exe --runs "$runs" --warmup "$warmup" ${trace:+--trace} > "$rows"
wine bench_fileops.exe --work 'C:\bench\work' --runs "$runs" --warmup "$warmup" \
  --menu-mb "$menu_mb" ${diagnose:+--diagnose 'C:\TsSetup\data'} >> "$rows"
cd "$root"

# Size: the release program, and a stripped copy of it.
exe="$build/TsSetup.exe"
cp "$exe" "$work/stripped.exe"
x86_64-w64-mingw32-strip "$work/stripped.exe"  # reads 32-bit and 64-bit programs
full_kb=$(( $(stat -c %s "$exe") / 1024 )) stripped_kb=$(( $(stat -c %s "$work/stripped.exe") / 1024 ))
built="as built: $full_kb"
[ "$full_kb" -eq "$stripped_kb" ] && built="$built (the link already strips)"
imports="Windows DLLs only"
bash scripts/check_exe.sh "$work/stripped.exe" >&2 || imports="**other DLLs**"
size_result=met
if [ "$stripped_kb" -gt 200 ] || [ "$imports" != "Windows DLLs only" ]; then size_result="**missed**"; fi
echo "| 4. Size of TsSetup.exe (KB) | stripped: $stripped_kb | $built | $imports | ≤ 200 KB stripped, Windows DLLs only | $size_result |" >> "$rows"

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
echo "TsSetup benchmark$([ -n "$smoke" ] && echo ' (smoke: tiny payload, figures not judged)'), $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) × $cpu, $(wine --version) ($TS_WINE_ARCH), $runs run(s) per side"
echo
echo "| Row | A: median (min–max) | B: median (min–max) | A vs B: median of pairs (min–max) | Target | Result |"
echo "|---|---|---|---|---|---|"
for row in 1 2 3 4 5 D; do grep "^| $row" "$rows" || true; done |
  if [ -n "$smoke" ]; then sed -E 's/\| (met|\*\*missed\*\*) \|$/| not judged |/'; else cat; fi
echo
echo "($(( $(date +%s) - started )) s in Wine, prefix included)"
