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
# Each step's heading with the seconds since set-up ended, so that a slow
# step shows.
step() { echo "== $* (at $((SECONDS - started)) s)"; }
started=$SECONDS
fuzz_pid="" lazyfs_pid="" template_pid="" fuzz_log="" lazyfs_log=""
# The Wine tests' prefixes: a template, made beside the builds below, and
# the prefix of this script, a copy of it.
prefix="$(mktemp -d /tmp/tssetup-wine.XXXXXX)"
cleanup() {
  local pid
  for pid in $fuzz_pid $lazyfs_pid $template_pid; do
    kill -0 "$pid" 2>/dev/null && kill -- "-$pid" 2>/dev/null
    wait "$pid" 2>/dev/null || true
  done
  # The template's server, should this script have stopped while it was made.
  if [ -f "$prefix/template/system.reg" ]; then
    WINEPREFIX="$prefix/template" wineserver -k >/dev/null 2>&1 || true
    WINEPREFIX="$prefix/template" wineserver -w >/dev/null 2>&1 || true
  fi
  # Only the prefix this script began (not one named by the caller's WINEPREFIX).
  [ "${WINEPREFIX:-}" != "$prefix/prefix" ] || wine_prefix_end
  rm -rf "$prefix" "$fuzz_log" "$lazyfs_log"
}
trap cleanup EXIT

# LazyFS, for the power-cut test, builds from here to the Wine tests, at a
# lower priority, in the time the other steps leave: the test would
# otherwise build it itself while the Wine tests run. Background jobs run in
# process groups of their own (set -m while they start), which cleanup ends
# should this script stop early. They stay in this script's session: the
# kernel's scheduler may share the CPU between sessions first, where a lower
# priority would count for nothing.
lazyfs_build="$root/../shared/third_party/lazyfs/build.sh"
if [ -f "$lazyfs_build" ] && [ -c /dev/fuse ]; then
  lazyfs_log="$(mktemp /tmp/tssetup-lazyfs-log.XXXXXX)"
  set -m
  nice -n 10 bash "$lazyfs_build" "$root/build/lazyfs" </dev/null >"$lazyfs_log" 2>&1 &
  lazyfs_pid=$!
  set +m
fi

step "native tests (ASan, UBSan)"
cmake -S . -B build/native -DTS_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j"$jobs" >/dev/null
(cd build/native && ctest --output-on-failure -j"$jobs") || status=1

# Beside the Windows builds below, which take the other core, the fuzzers
# use one core for 30 s: the menu text transform's, the customization file
# transform's and the .cuix package code's, 10 s each. The builds run at a lower priority meanwhile,
# so that the fuzzer keeps its core. Its output and result come after the
# builds.
fuzz_log="$(mktemp /tmp/tssetup-fuzz-log.XXXXXX)"
set -m
{ bash scripts/fuzz.sh 10 && bash scripts/fuzz.sh --target cui_text 10 && bash scripts/fuzz.sh --target cuix_package 10; } </dev/null >"$fuzz_log" 2>&1 &
fuzz_pid=$!
# The prefix the Wine tests' prefixes are copied from (wine_env.sh), made
# at a lower priority too.
nice -n 10 bash -c 'source scripts/wine_env.sh && wine_prefix_template "$1"' _ "$prefix/template" \
  </dev/null >/dev/null 2>&1 &
template_pid=$!
set +m
later="nice -n 10"

step "the shipped program: 32-bit build in build/win"
if [ "$TS_WINE_ARCH" = win32 ]; then
  $later bash scripts/build_win.sh --shipped
else
  $later bash scripts/build_win.sh --shipped TsSetup
  echo "The 32-bit tests are not run here: $TS_WINE_REASON; the same tests run on the 64-bit build."
fi
bash scripts/check_exe.sh --shipped build/win/TsSetup.exe || status=1

step "the shipped program built again in build/win-again: the same bytes"
$later bash scripts/build_win.sh --shipped-again TsSetup
bash scripts/check_same.sh build/win/TsSetup.exe build/win-again/TsSetup.exe || status=1

if [ "$TS_WINE_ARCH" = win64 ]; then
  step "the 64-bit build of the same sources and tests in build/win64"
  $later bash scripts/build_win.sh
  bash scripts/check_exe.sh build/win64/TsSetup.exe || status=1
fi

step "fuzzing the menu text and customization file transforms and the package code (10 s each)"
fuzz_status=0
wait "$fuzz_pid" || fuzz_status=$?
fuzz_pid=""
cat "$fuzz_log"
[ "$fuzz_status" -eq 0 ] || status=1
# A failed LazyFS build is the power-cut test's to report: it builds again.
if [ -n "$lazyfs_pid" ]; then
  wait "$lazyfs_pid" || echo "LazyFS did not build beside the builds; the power-cut test tries again."
  lazyfs_pid=""
fi

step "Windows tests under Wine ($TS_WINE_ARCH prefix, ${TS_WIN_BUILD#"$root"/})"
if wait "$template_pid" && [ -f "$prefix/template/system.reg" ]; then
  export TS_WINE_PREFIX_TEMPLATE="$prefix/template"
else
  echo "No prefix to copy: each test makes its own."
fi
template_pid=""
wine_prefix_begin "$prefix/prefix"
# One more at a time than there are cores: the end-to-end, kill and
# power-cut tests wait on the program some of the time, each in a prefix and
# display of its own.
(cd "$TS_WIN_BUILD" && ctest --output-on-failure --timeout 600 -j"$((jobs + 1))") || status=1
# ctest shows no output of a test that passed or was skipped: the power-cut
# test's one line on why it was skipped, and the signing test's on which
# signed copy it started.
grep -h '^power cuts skipped:\|^signed copy:' "$TS_WIN_BUILD/Testing/Temporary/LastTest.log" 2>/dev/null || true

echo "== done in $((SECONDS - started)) s after set-up"
exit $status
