#!/usr/bin/env bash
# The cases too slow for the test command (33,000 pictures), under Wine in a
# fresh prefix.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/setup.sh
source scripts/wine_env.sh
wine_locale_restart "$root/scripts/slow_tests.sh" "$@"
wine_say
bash scripts/build_win.sh win_tests
work="$(mktemp -d /tmp/tssetup-slow.XXXXXX)"
trap 'wine_prefix_end; rm -rf "$work"' EXIT
wine_prefix_begin "$work/prefix"
TS_SLOW=1 wine "$TS_WIN_BUILD/win_tests.exe" --gtest_filter='Slow*'
