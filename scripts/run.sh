#!/usr/bin/env bash
# Sets up, builds, and opens TsSetup's window in a sandbox Windows (a Wine
# prefix of its own under build/sandbox) holding a sample AutoCAD 2002 and a
# sample payload beside the program. Without a display it runs under Xvfb and
# saves a screenshot instead.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

bash scripts/setup.sh
source scripts/wine_env.sh
wine_locale_restart "$root/scripts/run.sh" "$@"
bash scripts/build_win.sh TsSetup

# Without a display, the whole run (Wine's desktop included) goes into Xvfb.
if [ -z "${DISPLAY:-}" ]; then
  echo "No display: running under Xvfb and saving a screenshot."
  exec xvfb-run -a -s "-screen 0 800x600x24" env TS_HEADLESS=1 bash "$0" "$@"
fi

source scripts/sample_env.sh
sandbox="$root/build/sandbox"
if [ -d "$sandbox/prefix" ]; then WINEPREFIX="$sandbox/prefix" wineserver -k 2>/dev/null || true; fi
rm -rf "$sandbox"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wine_prefix_begin "$sandbox/prefix"
dist="$WINEPREFIX/drive_c/TsSetup"
make_sample_world "$dist" "$TS_WIN_BUILD/TsSetup.exe"
wine_say
echo "Sandbox Windows: $WINEPREFIX"
echo "AutoCAD 2002:    $WINEPREFIX/drive_c/Program Files/AutoCAD 2002"
echo "Program:         $dist/TsSetup.exe (C:\\TsSetup\\TsSetup.exe)"

if [ -z "${TS_HEADLESS:-}" ]; then
  (cd "$dist" && wine TsSetup.exe)
else
  shot="$root/build/screenshot.png"
  (cd "$dist" && wine TsSetup.exe >/dev/null 2>&1 &)
  for _ in $(seq 1 100); do
    xwininfo -root -tree 2>/dev/null | grep -q 'Tesmora---Halvoren' && break
    sleep 0.3
  done
  sleep 1
  import -window root -crop 320x240+0+0 "$shot"
  echo "Screenshot: $shot"
fi
