#!/usr/bin/env bash
# Cuts the power at N random moments (default 25) of each of the four cases of
# the power-cut test (an install and an uninstall, each over nothing of the
# user's and over the user's own files) on a LazyFS drive, and prints a
# summary line. TS_CUT_SEED fixes the first seed; each cut prints its seed.
# About 6 s a cut. Exits 77, saying why, where LazyFS or FUSE cannot be had.
# Usage: scripts/powercut.sh [N]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
n="${1:-25}"
bash scripts/setup.sh
source scripts/wine_env.sh
wine_say
bash scripts/build_win.sh TsSetup power_driver
TS_CUTS="$n" bash tests/e2e/power_cuts.sh "$TS_WIN_BUILD/TsSetup.exe" "$TS_WIN_BUILD/power_driver.exe"
