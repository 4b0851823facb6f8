#!/usr/bin/env bash
# Benchmarks the release build of TsSetup.exe against minimal Win32 programs
# doing the same work and against an NSIS installer of the same payload, all
# in one fresh Wine prefix under Xvfb, and prints one Markdown table. Each
# figure is the median (min–max) of the runs; the sides of a row alternate
# run by run and the comparison is the median of the run-by-run ratios, since
# Wine's timings drift from run to run. The growth rows (6) install 1,000 and
# 10,000 small pictures; the 10,000 get two runs only.
#
# Usage: scripts/bench.sh [--runs N] [--trace] [--diagnose] [--no-sync] [--build-dir DIR]
#        scripts/bench.sh --smoke [--build-dir DIR]
#   --runs N      runs per side (default 7, at least 5), after one warm-up;
#                 the start-ups (row 3) at least 30
#   --trace       also print to stderr when each step of one install of each
#                 side reached the disk
#   --diagnose    also print rows D1-D10, which take the file costs apart
#   --no-sync     no sync of the machine before each timed run, as before: each
#                 side then pays for the writeback of what the last one left
#   --smoke       a tiny payload, one run each: checks that everything runs,
#                 never fails on a figure; NSIS only if it is installed already
#   --build-dir   use the programs already built there instead of building
#                 build/bench
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

runs=7 warmup=1 smoke="" trace="" diagnose="" build="" sync=1
args=("$@")
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift ;;
    --trace) trace=1 ;;
    --diagnose) diagnose=1 ;;
    --no-sync) sync="" ;;
    --smoke) smoke=1 ;;
    --build-dir) build="$2"; shift ;;
    *) echo "bench.sh: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done
# A start-up takes about 100 ms under Wine and one in a few takes half as long
# again, whichever program it is: in five rounds two programs that start alike
# read anywhere from 0.6× to 1.6× of each other. Start-ups are cheap, so row 3
# gets at least 30 rounds.
if [ -n "$smoke" ]; then
  runs=1 warmup=0 start_runs=1
elif [ "$runs" -lt 5 ]; then
  echo "bench.sh: --runs must be at least 5" >&2; exit 2
else
  start_runs=$(( runs > 30 ? runs : 30 ))
fi

if [ -z "${TS_BENCH_IN_XVFB:-}" ]; then
  if [ -z "$build" ]; then
    bash scripts/setup.sh
    source scripts/wine_env.sh
    build="$root/build/bench"
    [ "$TS_WINE_ARCH" = win64 ] && build="$root/build/bench64"
    win_build_forget_old_compilers "$build"
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$TS_WIN_TOOLCHAIN" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" -j"$(nproc)" \
      --target TsSetup bench_driver bench_floor bench_window bench_fileops >/dev/null
  fi
  # Row 4 sizes the program that ships: the 32-bit build in build/win, brought
  # up to date here, whichever build the timed rows run. (Inside that
  # folder's own test run it is up to date already, and must not be rebuilt
  # under the tests using it.)
  if [ "$(cd "$build" && pwd)" != "$root/build/win" ]; then
    bash scripts/build_win.sh --shipped TsSetup
  fi
  # The NSIS peer's compiler, installed here, outside the timed part, and
  # never asking anything; a smoke run stays quick and does without it.
  if [ -z "$smoke" ] && ! dpkg-query -W -f='${Status}' nsis 2>/dev/null | grep -q "ok installed"; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo -n"
    apt_install() {
      $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        nsis </dev/null >/dev/null 2>&1
    }
    echo "bench.sh: installing nsis" >&2
    apt_install || { $sudo apt-get update -qq </dev/null >/dev/null 2>&1 && apt_install; } ||
      echo "bench.sh: nsis could not be installed; its row will say so" >&2
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
# Windows that no window manager looks after, as in the tests: under Xvfb
# there is none, and Wine would wait two seconds for each managed window
# to be withdrawn (the choice of row 8 closing, say), which a desktop's
# window manager does at once.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1

# The world: AutoCAD 2002 with its menu, and the distribution folder with the
# program, the floor program and the payload.
drive="$WINEPREFIX/drive_c"
cad="$drive/Program Files/AutoCAD 2002" dist="$drive/TsSetup"
mkdir -p "$cad/support" "$dist/data/Pictrue" "$drive/bench"
printf 'placeholder for acad.exe\r\n' > "$cad/acad.exe"
make_sample_menu > "$cad/support/acad.mns"
cp "$build/TsSetup.exe" "$build/bench_floor.exe" "$build/bench_window.exe" "$dist/"
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

# The growth rows' payloads: only small files, N pictures of 4 KB each, in
# distribution folders of their own beside C:\TsSetup. The largest gets two
# runs and no warm-up: each install of it takes about a minute, since Wine
# looks every new name up by reading the whole folder.
if [ -n "$smoke" ]; then
  growth=("10 1" "100 1")
else
  growth=("1000 $runs" "10000 2")
fi
growth_args=()
for entry in "${growth[@]}"; do
  read -r count count_runs <<<"$entry"
  grow="$drive/TsGrow$count"
  mkdir -p "$grow/data/Pictrue"
  cp "$dist/TsSetup.exe" "$dist/bench_floor.exe" "$grow/"
  for name in acadstk.dmp PROJECT.dvb acad.dvb CPUID.dll TS_DATA.ldb; do cp "$data/$name" "$grow/data/"; done
  head -c 4K /dev/urandom > "$grow/data/TS_DATA.mdb"
  head -c $((count * 4))K /dev/urandom |
    split -b 4K -d -a 5 --additional-suffix=.bmp - "$grow/data/Pictrue/pic"
  growth_args+=(--growth "C:\\TsGrow$count" "$count_runs")
done
# The diagnostics look names up in the smallest and the largest of them.
lookup_args=(--lookup-small "C:\\TsGrow${growth[0]%% *}\\data\\Pictrue"
  --lookup-large "C:\\TsGrow${growth[-1]%% *}\\data\\Pictrue")

# The NSIS peer: the same files into the same folders, stored rather than
# compressed, silent, for the architecture of this Wine. It writes INFOFILE
# beside itself, as TsSetup does; it does not patch the menu.
nsis_args=()
if ! command -v makensis >/dev/null 2>&1; then
  nsis_args=(--nsis-missing "makensis is not installed$([ -n "$smoke" ] && echo ' (a smoke run does not install it; a full run does)')")
else
  nsis_target=x86-unicode
  [ "$TS_WINE_ARCH" = win64 ] && nsis_target=amd64-unicode
  nsis_version="NSIS $(makensis -VERSION 2>/dev/null || echo '(version unknown)') $nsis_target"
  {
    echo 'Unicode true'
    echo 'SetCompress off'
    echo "Target $nsis_target"
    echo 'Name "TsSetup benchmark peer"'
    echo "OutFile \"$work/nsis_setup.exe\""
    echo 'InstallDir "C:\Program Files\AutoCAD 2002"'
    echo 'RequestExecutionLevel admin'
    echo 'SilentInstall silent'
    # Looking for each file among those stored already makes the build
    # quadratic in the pictures (minutes); the installer is the same without.
    echo 'SetDatablockOptimize off'
    echo 'Section'
    echo '  SetOutPath "$INSTDIR"'
    for name in TS_DATA.mdb acadstk.dmp PROJECT.dvb acad.dvb TS_DATA.ldb CPUID.dll; do
      echo "  File \"$data/$name\""
    done
    echo '  SetOutPath "$WINDIR"'
    echo "  File \"$data/CPUID.dll\""
    echo '  SetOutPath "$SYSDIR"'
    echo "  File \"$data/CPUID.dll\""
    echo '  SetOutPath "$INSTDIR\Pictrue"'
    echo "  File \"$data/Pictrue/*.bmp\""
    echo '  FileOpen $0 "$EXEDIR\INFOFILE" w'
    echo '  FileWrite $0 "$INSTDIR\$\r$\n"'
    echo '  FileClose $0'
    echo 'SectionEnd'
  } > "$work/peer.nsi"
  nsis_started=$(date +%s%N)
  if makensis -V2 -NOCD "$work/peer.nsi" > "$work/makensis.log" 2>&1; then
    cp "$work/nsis_setup.exe" "$dist/nsis_setup.exe"
    echo "bench.sh: makensis built the NSIS peer ($(( $(stat -c %s "$work/nsis_setup.exe") / 1024 )) KB) in $(( ($(date +%s%N) - nsis_started) / 1000000 )) ms" >&2
    nsis_args=(--nsis 'C:\TsSetup\nsis_setup.exe' --nsis-about "$nsis_version")
  else
    cat "$work/makensis.log" >&2
    nsis_args=(--nsis-about "$nsis_version" --nsis-missing "makensis failed (its log went to stderr)")
  fi
fi

rows="$work/rows"
cd "$drive/bench"
# Every timed run starts after a sync of the machine (but with --no-sync); the driver awaits the
# mark a sync makes in this run's folder.
wine bench_driver.exe --runs "$runs" --start-runs "$start_runs" --warmup "$warmup" ${trace:+--trace} \
  ${sync:+--sync "$work/sync-done"} "${nsis_args[@]}" "${growth_args[@]}" > "$rows"
wine bench_fileops.exe --work 'C:\bench\work' --runs "$runs" --warmup "$warmup" \
  --menu-mb "$menu_mb" ${diagnose:+--diagnose 'C:\TsSetup\data'} \
  ${diagnose:+"${lookup_args[@]}"} >> "$rows"
cd "$root"

# Size: the program that ships (the 32-bit build in build/win, whichever
# build the timed rows ran), and a stripped copy of it. Judged in bytes, as
# scripts/check_exe.sh --shipped judges it.
exe="$root/build/win/TsSetup.exe"
cp "$exe" "$work/stripped.exe"
x86_64-w64-mingw32-strip "$work/stripped.exe"  # reads 32-bit and 64-bit programs
full=$(stat -c %s "$exe") stripped=$(stat -c %s "$work/stripped.exe")
built="as built: $((full / 1024))"
[ "$full" -eq "$stripped" ] && built="$built (the link already strips)"
imports="Windows DLLs only"
bash scripts/check_exe.sh "$work/stripped.exe" >&2 || imports="**other DLLs**"
size_result=met
if [ "$stripped" -gt 393216 ] || [ "$imports" != "Windows DLLs only" ]; then size_result="**missed**"; fi
echo "| 4. Size of the program that ships, the 32-bit TsSetup.exe in build/win (KB) | stripped: $((stripped / 1024)) ($stripped bytes) | $built | $imports | ≤ 384 KB (393216 bytes) stripped, Windows DLLs only | $size_result |" >> "$rows"

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
echo "TsSetup benchmark$([ -n "$smoke" ] && echo ' (smoke: tiny payload, figures not judged)'), $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) × $cpu, $(wine --version) ($TS_WINE_ARCH), $runs run(s) per side"
echo
echo "| Row | A: median (min–max) | B: median (min–max) | A vs B: median of pairs (min–max) | Target | Result |"
echo "|---|---|---|---|---|---|"
for row in 1 2 3 4 5 6 7 8 D; do grep "^| $row" "$rows" || true; done |
  if [ -n "$smoke" ]; then sed -E 's/\| (met|\*\*missed\*\*) \|$/| not judged |/'; else cat; fi
echo
if [ "$TS_WINE_ARCH" = win64 ]; then
  echo "Timed rows: the 64-bit build in ${build#"$root"/} under 64-bit Wine, since $TS_WINE_REASON. The program that ships is the 32-bit build; row 4 is its size."
else
  echo "Timed rows: the 32-bit build in ${build#"$root"/} under 32-bit Wine."
fi
echo "($(( $(date +%s) - started )) s in Wine, prefix included)"
