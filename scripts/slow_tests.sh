#!/usr/bin/env bash
# The cases too slow for the test command (33,000 pictures), under Wine in a
# fresh prefix.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/build_win.sh win_tests
source scripts/wine_env.sh
work="$(mktemp -d /tmp/tssetup-slow.XXXXXX)"
trap 'wine_prefix_end; rm -rf "$work"' EXIT
wine_prefix_begin "$work/prefix"
TS_SLOW=1 wine build/win/win_tests.exe --gtest_filter='Slow*'
