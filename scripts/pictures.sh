#!/usr/bin/env bash
# Remakes the README's pictures in docs/: the window at 100 % and at 200 %
# (LogPixels 192), the message "导入完成！", the message that tells how to
# start Tesmora by typing its command when AutoCAD has no menu, and the
# dialog that asks which of two AutoCADs to serve. Run it after a change to
# the window or its texts, and commit what changed.
# TS_PICTURES_BUILD=<folder> takes TsSetup.exe and press_key.exe from that
# build folder, built already, instead of building them in the build this
# machine's Wine runs.
# The program runs in a Wine prefix of its own, under Xvfb, in the sample
# world of scripts/run.sh; keys pressed through press_key.exe work it, as a
# user's keyboard would. The pictures carry no time stamp or other metadata,
# so remaking them changes no byte where nothing on screen changed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

if [ -z "${TS_PICTURES_IN_XVFB:-}" ]; then
  bash scripts/setup.sh
  source scripts/wine_env.sh
  wine_locale_restart "$root/scripts/pictures.sh" "$@"
  [ -n "${TS_PICTURES_BUILD:-}" ] || bash scripts/build_win.sh TsSetup press_key
  TS_PICTURES_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 800x600x24" bash "$0" "$@"
fi
source scripts/wine_env.sh
source scripts/sample_env.sh
build="${TS_PICTURES_BUILD:-$TS_WIN_BUILD}"

work="$(mktemp -d /tmp/tssetup-pictures.XXXXXX)"
trap 'wine_prefix_end; rm -rf "$work"' EXIT
wine_prefix_begin "$work/prefix"
dist="$WINEPREFIX/drive_c/TsSetup"
make_sample_world "$dist" "$build/TsSetup.exe"
cp "$build/press_key.exe" "$work/press_key.exe"
mkdir -p docs

# The X id and the geometry (WxH+X+Y) of the visible X window named $1, once
# it shows; one other than the window of X id $2 when given.
window_geometry() {
  local line
  for _ in $(seq 1 100); do
    line="$(xwininfo -root -tree 2>/dev/null | grep -F "\"$1\": " | grep -v '1x1+' \
      | { if [ -n "${2:-}" ]; then grep -v "^ *$2 "; else cat; fi; } | head -n1 || true)"
    if [ -n "$line" ]; then
      # "WxH+x+y  +X+Y": the size, then the place on the screen.
      awk '{ for (i = 1; i < NF; i++) if ($i ~ /^[0-9]+x[0-9]+\+/) { split($i, s, "+"); print $1, s[1] $(i + 1); exit } }' <<<"$line"
      return 0
    fi
    sleep 0.2
  done
  echo "No window named $1 showed." >&2
  return 1
}

# Saves the window named $1 (other than the window of X id $3) as docs/$2,
# without metadata.
# Sets last_id to the window's X id.
picture() {
  local geometry
  read -r last_id geometry < <(window_geometry "$1" "${3:-}")
  sleep 1  # let it paint
  import -window root -crop "$geometry" "$work/shot.png"
  convert "$work/shot.png" +repage -strip -define png:exclude-chunks=date,time "docs/$2"
  echo "docs/$2 ($geometry)"
}

# Waits until no window named $1 shows any more.
window_gone() {
  for _ in $(seq 1 100); do
    xwininfo -root -tree 2>/dev/null | grep -F "\"$1\": " | grep -qv '1x1+' || return 0
    sleep 0.2
  done
  echo "The window named $1 stayed." >&2
  return 1
}

press() { wine "$work/press_key.exe" "$1" >/dev/null 2>&1; }

start_program() { (cd "$dist" && wine TsSetup.exe >/dev/null 2>&1 &); }

# The window as it appears, at 100 %; Esc leaves it, and the program ends
# only through its close button: Tab twice, Enter.
start_program
picture "Tesmora---Halvoren" window.png
press 9; press 9; press 13
window_gone "Tesmora---Halvoren"

# An AutoCAD without any menu: Enter runs the install, which says where it
# looked for a menu and how to start Tesmora by its command, then that it is
# done.
rm -f "$WINEPREFIX/drive_c/Program Files/AutoCAD 2002/support/acad.mns"
start_program
window_geometry "Tesmora---Halvoren" >/dev/null
sleep 1
press 13
picture "TsSetup" message-no-menu.png
first_box="$last_id"
press 13
picture "TsSetup" message-done.png "$first_box"
press 13
window_gone "Tesmora---Halvoren"

# Two AutoCADs instead of the sample's one: 2007 in C:\Program Files, and
# 2014 where it installs by default, on a D: drive, listed by Windows with
# its product name. Enter runs the install, which asks which to serve; Esc
# leaves the choice, and the program ends having changed nothing.
rm -rf "$WINEPREFIX/drive_c/Program Files/AutoCAD 2002"
mkdir -p "$work/d"
ln -sfn "$work/d" "$WINEPREFIX/dosdevices/d:"
for cad in "$WINEPREFIX/drive_c/Program Files/AutoCAD 2007" "$work/d/Program Files/Autodesk/AutoCAD 2014"; do
  mkdir -p "$cad/support"
  printf 'placeholder for acad.exe\r\n' > "$cad/acad.exe"
  make_sample_menu > "$cad/support/acad.mns"
done
key='HKLM\SOFTWARE\Autodesk\AutoCAD\R19.1\ACAD-D001:804'
wine reg add "$key" /v AcadLocation /t REG_SZ /d 'D:\Program Files\Autodesk\AutoCAD 2014' /f >/dev/null 2>&1
wine reg add "$key" /v ProductName /t REG_SZ /d 'AutoCAD 2014 - 简体中文 (Simplified Chinese)' /f >/dev/null 2>&1
start_program
window_geometry "Tesmora---Halvoren" >/dev/null
sleep 1
press 13
picture "选择AutoCAD" choose-cads.png
press 27
window_gone "Tesmora---Halvoren"

# The window at 200 %: Wine reads the DPI as its server starts.
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 192 /f >/dev/null 2>&1
wineserver -k; wineserver -w
wineserver -p </dev/null >/dev/null 2>&1
wine wineboot </dev/null >/dev/null 2>&1
start_program
picture "Tesmora---Halvoren" window-200.png
press 9; press 9; press 13
window_gone "Tesmora---Halvoren"
