#!/usr/bin/env bash
# Kills TsSetup.exe at N random moments of an install and N of an uninstall,
# once over nothing of the user's and once over the user's own files (default
# 500 each), and prints a summary line. TS_KILL_SEED fixes the first seed.
# Usage: scripts/kills.sh [N]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
n="${1:-500}"
bash scripts/setup.sh
source scripts/wine_env.sh
wine_say
bash scripts/build_win.sh TsSetup kill_test
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
status=0
TS_KILLS="$n" bash tests/e2e/run_e2e.sh "$TS_WIN_BUILD/TsSetup.exe" "$TS_WIN_BUILD/kill_test.exe" "$TS_WIN_BUILD" \
  >"$log" 2>&1 || status=$?
grep -E '^(run length|kills:)|Failure|seed [0-9]+, killed' "$log" || true
installs=$(grep -c '^kills:' "$log" || true)
partial=$(awk '/^kills:/ {sum += $NF} END {print sum + 0}' "$log")
echo "summary: $((2 * n)) kills of the install and $((2 * n)) of the uninstall ($installs runs reported), files left partial: $partial, result: $([ $status -eq 0 ] && echo pass || echo FAIL)"
exit $status
