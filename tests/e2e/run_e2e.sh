#!/usr/bin/env bash
# The end-to-end test of the real program: a fresh Wine prefix whose D: and
# E: drives are folders of this test, TsSetup.exe in C:\TsSetup, and the
# driver clicking through every scenario under Xvfb. Saves a screenshot of the
# window to the build folder.
# Usage: run_e2e.sh TsSetup.exe e2e_driver.exe build-folder
set -euo pipefail
# Everything runs inside one Xvfb display: Wine's desktop process starts with
# the prefix and binds to the display it finds then.
if [ -z "${TS_E2E_IN_XVFB:-}" ]; then
  TS_E2E_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 800x600x24" bash "$0" "$@"
fi
exe="$1" driver="$2" build="$3"
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../../scripts/wine_env.sh"

work="$(mktemp -d /tmp/tssetup-e2e.XXXXXX)"
trap 'umount "$work/ro" 2>/dev/null; umount -l "$work/e" 2>/dev/null; wine_prefix_end; rm -rf "$work"' EXIT
wine_prefix_begin "$work/prefix"
# Windows that no window manager looks after: under Xvfb there is none, and
# Wine would wait two seconds for each managed window to be withdrawn, four
# at every end of the program.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
mkdir -p "$work/d" "$work/e"
ln -sfn "$work/d" "$WINEPREFIX/dosdevices/d:"
ln -sfn "$work/e" "$WINEPREFIX/dosdevices/e:"
mkdir -p "$WINEPREFIX/drive_c/TsSetup"
cp "$exe" "$WINEPREFIX/drive_c/TsSetup/TsSetup.exe"
cp "$driver" "$work/e2e_driver.exe"
# The small program the tests run as a stand-in for AutoCAD, beside the driver.
cp "$build/stand_in.exe" "$work/stand_in.exe"
cp "$build/scanner.exe" "$work/scanner.exe"

# A program folder on read-only media: a read-only view (bind mount) of a
# folder the test fills through its writable path. Needs root.
mkdir -p "$work/rw" "$work/ro"
cp "$exe" "$work/rw/TsSetup.exe"
if [ "$(id -u)" -ne 0 ]; then
  echo "The read-only program folder is not tried: mounting needs root."
elif mount --bind "$work/rw" "$work/ro" && mount -o remount,bind,ro "$work/ro"; then
  export TS_E2E_RO_DIST="Z:$(echo "$work/ro" | tr / '\\')" TS_E2E_RO_SOURCE="Z:$(echo "$work/rw" | tr / '\\')"
else
  umount "$work/ro" 2>/dev/null || true
  echo "The read-only program folder is not tried: the read-only bind mount was refused."
fi

# E: is a small drive of its own for the full-disk cases: a tmpfs. Needs root.
if [ "$(id -u)" -ne 0 ]; then
  echo "The full-disk cases are not tried: mounting a small drive needs root."
elif mount -t tmpfs -o size=64m tmpfs "$work/e"; then
  export TS_E2E_SMALL='E:'
else
  echo "The full-disk cases are not tried: the tmpfs mount was refused."
fi

export TS_E2E_DIST='C:\TsSetup'
# The .cuix packages the program wrote, copied here by the tests for two
# readers that are not ours once they have ended.
mkdir -p "$work/packages"
export TS_E2E_PACKAGES="Z:$(echo "$work/packages" | tr / '\\')"
export TS_E2E_SHOT="Z:$(echo "$build/screenshot.bmp" | tr / '\\')"
status=0
wine "$work/e2e_driver.exe" ${TS_E2E_FILTER:+--gtest_filter="$TS_E2E_FILTER"} || status=$?

# The window, and an install and an uninstall through it, again with Wine
# saying it is Windows XP, when this run is the layout's. (Wine still exports
# every newer function: what XP's loader would refuse, scripts/check_exe.sh
# finds.) A 64-bit prefix knows only XP's 64-bit edition.
if [ -n "${TS_E2E_XP:-}" ]; then
  if [ "$TS_WINE_ARCH" = win64 ]; then xp=winxp64 xp_number=5.2.3790; else xp=winxp xp_number=5.1.2600; fi
  wine reg add 'HKCU\Software\Wine' /v Version /d "$xp" /f >/dev/null 2>&1
  said="$(wine cmd /c ver 2>/dev/null | tr -d '\r' | grep -m1 . || true)"
  echo "== as Windows XP: $said"
  if [[ "$said" == *" $xp_number"* ]]; then
    TS_E2E_SHOT= wine "$work/e2e_driver.exe" --gtest_filter='*TheWindowMatchesTheLayout*:*InstallFoundOnCThenUninstall*' || status=$?
  else
    echo "Wine did not take the version $xp ($xp_number): the XP cases were not run."
    status=1
  fi
  wine reg delete 'HKCU\Software\Wine' /v Version /f >/dev/null 2>&1
fi

# The layout again on a 150% and a 200% screen (144 and 192 DPI), when this
# run is the layout's. Wine reads the DPI as its server starts: one restart
# for each.
if [ -n "${TS_E2E_HIGH_DPI:-}" ]; then
  for dpi in 144 192; do
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d $dpi /f >/dev/null 2>&1
    wineserver -k; wineserver -w
    wineserver -p </dev/null >/dev/null 2>&1
    wine wineboot </dev/null >/dev/null 2>&1
    echo "== the layout at $dpi DPI"
    TS_E2E_SHOT="Z:$(echo "$build/screenshot-${dpi}dpi.bmp" | tr / '\\')" \
      wine "$work/e2e_driver.exe" --gtest_filter='*Layout*' || status=$?
  done
fi
packages=("$work"/packages/*.cuix)
if [ -f "${packages[0]}" ]; then
  python3 "$here/../package_reader/check_packages.py" "$build" "${packages[@]}" || status=1
fi
for shot in "$build"/screenshot*.bmp; do
  [ -f "$shot" ] || continue
  convert "$shot" "${shot%.bmp}.png" && rm -f "$shot"
  echo "Screenshot of the window: ${shot%.bmp}.png"
done
exit $status
