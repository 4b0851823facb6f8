#!/usr/bin/env bash
# Fuzzes a transform with libFuzzer for a while.
#
#   scripts/fuzz.sh [--keep] [--target menu_text|cui_text|cuix_package] [seconds]
#
# The target defaults to menu_text (corpus tests/fuzz/corpus); cui_text uses
# tests/fuzz/cui_corpus, cuix_package (the .cuix package code)
# tests/fuzz/cuix_corpus. Seconds default to 30.
# Builds <target>_fuzz with clang in build/fuzz and runs it on a temporary
# copy of its corpus, so a plain run leaves the repository untouched.
# With --keep, the inputs that found new coverage are merged back into the
# corpus afterwards. Prints one summary line; exits non-zero when
# the fuzzer finds a crash, a sanitizer error, a leak or a hang, and keeps the
# input that caused it in build/fuzz/artifacts/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

usage="usage: scripts/fuzz.sh [--keep] [--target menu_text|cui_text|cuix_package] [seconds]"
keep=0
seconds=30
target=menu_text
while [ "$#" -gt 0 ]; do
  case "$1" in
    --keep) keep=1 ;;
    --target)
      [ "$#" -ge 2 ] || { echo "$usage" >&2; exit 2; }
      target="$2"
      shift ;;
    ''|*[!0-9]*) echo "$usage" >&2; exit 2 ;;
    *) seconds="$1" ;;
  esac
  shift
done
case "$target" in
  menu_text) corpus="tests/fuzz/corpus" ;;
  cui_text) corpus="tests/fuzz/cui_corpus" ;;
  cuix_package) corpus="tests/fuzz/cuix_corpus" ;;
  *) echo "$usage" >&2; exit 2 ;;
esac
if [ "$seconds" -lt 1 ]; then
  echo "fuzz: seconds must be at least 1" >&2
  exit 2
fi

for tool in clang clang++ cmake; do
  if ! command -v "$tool" >/dev/null; then
    echo "fuzz: $tool not found; run scripts/setup.sh first" >&2
    exit 1
  fi
done

build="build/fuzz"
fuzzer="$build/${target}_fuzz"
artifacts="$root/$build/artifacts/"
max_len=65536

CC=clang CXX=clang++ cmake -S . -B "$build" -DTS_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target "${target}_fuzz" -j"$(nproc)" >/dev/null

work="$(mktemp -d /tmp/tssetup-fuzz.XXXXXX)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$artifacts"
if [ -d "$corpus" ]; then cp -R "$corpus/." "$work/corpus/"; fi

log="$work/fuzz.log"
status=0
"$fuzzer" "$work/corpus" \
  -max_total_time="$seconds" -max_len="$max_len" -timeout=20 \
  -print_final_stats=1 -artifact_prefix="$artifacts" >"$log" 2>&1 || status=$?

if [ "$status" -ne 0 ]; then
  tail -n 60 "$log" >&2
  unit="$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n 1)"
  echo "fuzz: FAILED (libFuzzer exit $status)${unit:+; reproduce with: $fuzzer $unit}" >&2
  exit 1
fi

final_stat() { sed -n "s/^stat::$1: *\([0-9][0-9]*\).*/\1/p" "$log" | tail -n 1; }
execs="$(final_stat number_of_executed_units)"
rate="$(final_stat average_exec_per_sec)"
if [ -z "$execs" ]; then
  tail -n 20 "$log" >&2
  echo "fuzz: libFuzzer printed no final stats" >&2
  exit 1
fi

if [ "$keep" -eq 1 ]; then
  mkdir -p "$corpus"
  merge_log="$work/merge.log"
  if ! "$fuzzer" -merge=1 -max_len="$max_len" "$corpus" "$work/corpus" >"$merge_log" 2>&1; then
    tail -n 20 "$merge_log" >&2
    echo "fuzz: merging into $corpus failed" >&2
    exit 1
  fi
fi

files="$(find "$corpus" -type f 2>/dev/null | wc -l)"
echo "fuzz: ok, ${execs} executions in ${seconds}s (${rate:-?}/s), ${files} files in ${corpus}"
