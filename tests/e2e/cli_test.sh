#!/usr/bin/env bash
# The program run from a command line, without its window, in a fresh Wine
# prefix: /install and /uninstall, their exit codes and log, and the runs
# that must change nothing. Every run has a time limit: a box or dialog
# waiting for a person fails it.
# Usage: cli_test.sh TsSetup.exe stand_in.exe
set -euo pipefail
if [ -z "${TS_E2E_IN_XVFB:-}" ]; then  # the window of the "another copy" case needs a display
  TS_E2E_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 800x600x24" bash "$0" "$@"
fi
exe="$1" stand_in="$2"
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../../scripts/wine_env.sh"
work="$(mktemp -d /tmp/tssetup-cli.XXXXXX)"
background=()
trap 'kill "${background[@]}" 2>/dev/null || true; wine_prefix_end; rm -rf "$work"' EXIT
wine_prefix_begin "$work/prefix"
mkdir -p "$work/d" "$work/e"  # D: and E: hold only what the cases put there
ln -sfn "$work/d" "$WINEPREFIX/dosdevices/d:"
ln -sfn "$work/e" "$WINEPREFIX/dosdevices/e:"
c="$WINEPREFIX/drive_c"
unix_of() { winepath -u "$(wine cmd /c echo "$1" 2>/dev/null | tr -d '\r')" 2>/dev/null; }
roaming="$(unix_of %APPDATA%)" temp_log="$(unix_of %TEMP%)/TsSetup.log"
dist="$c/TsSetup"
mkdir -p "$dist/data/Pictrue" "$c/logs" "$c/Empty"
cp "$exe" "$dist/TsSetup.exe"
for name in TS_DATA.mdb TS_DATA.ldb acadstk.dmp PROJECT.dvb acad.dvb CPUID.dll Pictrue/p1.bmp; do
  echo "payload $name" >"$dist/data/$name"
done

status=0
fail() { echo "FAIL: $*"; status=1; }
code=0
ts() {  # runs the program; its exit code in $code (124: it did not end)
  code=0
  timeout -k 5 60 wine 'C:\TsSetup\TsSetup.exe' "$@" </dev/null >/dev/null 2>&1 || code=$?
}
expect() { [ "$code" = "$2" ] || fail "$1: exit code $code, expected $2"; }
# What a run may change: the program folder, the AutoCAD folders, the
# profiles' menus, the Windows and System folders' CPUID.dll.
snapshot() {
  (cd "$c" && find TsSetup 'Program Files' windows/CPUID.dll windows/system32/CPUID.dll \
    "$roaming/Autodesk" "$work/d" -type f -exec md5sum {} + 2>/dev/null | sort) || true
}
unchanged() { [ "$(snapshot)" = "$before" ] || fail "$1 changed files"; }
# The log's last entry (its time taken off) is $2; it holds one UTF-8
# byte-order mark, at its start, and every line ends in CR LF.
log_ends() {
  [ "$(tail -n 1 "$1" | tr -d '\r' | cut -c22-)" = "$2" ] || fail "$1 ends \"$(tail -n 1 "$1")\", not \"$2\""
  [ "$(head -c 3 "$1" | od -An -tx1 | tr -d ' ')" = efbbbf ] && [ "$(grep -c $'\xEF\xBB\xBF' "$1")" = 1 ] ||
    fail "$1 does not hold one byte-order mark, at its start"
  [ "$(tr -cd '\n' <"$1" | wc -c)" = "$(grep -c $'\r$' "$1")" ] || fail "$1 has a line not ended by CR LF"
}
has_item() {  # whether a .cuix package holds the menu item
  python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1])
sys.exit(not any(b"ID_TSDRAW" in z.read(n) for n in z.namelist()))' "$1"
}
start_background() {  # Windows path, then a command true once it is up
  wine "$1" </dev/null >/dev/null 2>&1 &
  background+=($!)
  shift
  for _ in $(seq 50); do "$@" && return 0; sleep 0.2; done
  fail "$* never came true"
}
stop_background() { kill "${background[-1]}"; wait "${background[-1]}" 2>/dev/null || true; unset 'background[-1]'; }
acad_runs() { [[ "$(wine winedbg --command 'info proc' 2>/dev/null)" == *"'acad.exe'"* ]]; }  # tasklist lists none
window_shown() { [[ "$(xwininfo -root -tree)" == *Tesmora---Halvoren* ]]; }  # its mutex is there by then

echo "== AutoCAD 2014: /install, then /uninstall, with a log"
cad="$c/Program Files/Autodesk/AutoCAD 2014" cad2="$work/d/Program Files/AutoCAD 2008"
mkdir -p "$cad" "$cad2"
# acad.exe without a version: every release of its profile is looked at.
echo AutoCAD >"$cad/acad.exe"
cuix="$roaming/Autodesk/AutoCAD 2014/R19.1/chs/Support/acad.cuix"
mkdir -p "$(dirname "$cuix")"
cat "$here/../../../shared/cui/acad2014-enu.cuix" >"$cuix" || { rm "$cuix"; echo "No ../shared/cui: no acad.cuix"; }
ts /install /log 'C:\logs\ts.log'
expect "/install" 0
for name in TS_DATA.mdb TS_DATA.ldb acadstk.dmp PROJECT.dvb acad.dvb CPUID.dll Pictrue/p1.bmp; do
  cmp -s "$dist/data/$name" "$cad/$name" || fail "/install did not put $name into AutoCAD 2014"
done
[ ! -f "$cuix" ] || has_item "$cuix" || fail "/install left the profile's acad.cuix without the item"
ts -UnInstall /LOG 'C:\logs\ts.log'  # any case, and a dash
expect "/uninstall" 0
for name in TS_DATA.mdb acad.dvb Pictrue; do [ ! -e "$cad/$name" ] || fail "/uninstall left $name"; done
[ ! -f "$cuix" ] || ! has_item "$cuix" || fail "/uninstall left the item in the profile's acad.cuix"
grep -q "导入完成！" "$c/logs/ts.log" && grep -q "导出完成！" "$c/logs/ts.log" &&
  [ "$(grep -c '退出代码：0' "$c/logs/ts.log")" = 2 ] || fail "the log does not tell both runs"
log_ends "$c/logs/ts.log" "退出代码：0"

echo "== Several AutoCADs: all served, or those /dir names"
echo AutoCAD >"$cad2/acad.exe"
ts /install
expect "/install of two" 0
[ -f "$cad/TS_DATA.mdb" ] && [ -f "$cad2/TS_DATA.mdb" ] || fail "/install did not serve both AutoCADs"
log_ends "$temp_log" "退出代码：0"
ts /uninstall
expect "/uninstall of two" 0
ts /install /dir 'D:\Program Files\AutoCAD 2008' /log 'C:\no such folder\ts.log'
expect "/install /dir, with a log that cannot be written" 0
[ -f "$cad2/TS_DATA.mdb" ] && [ ! -e "$cad/TS_DATA.mdb" ] || fail "/install /dir did not serve just the folder named"
ts /uninstall
expect "/uninstall after /dir" 0
[ ! -e "$cad/TS_DATA.mdb" ] && [ ! -e "$cad2/TS_DATA.mdb" ] || fail "/uninstall left TS_DATA.mdb"

echo "== Refused: nothing changes"
cp "$stand_in" "$cad/acad.exe"
before="$(snapshot)"
ts /install /dir 'C:\Empty' /log 'C:\logs\no.log'
expect "/dir naming a folder without acad.exe" 3
log_ends "$c/logs/no.log" "退出代码：3"
start_background 'C:\Program Files\Autodesk\AutoCAD 2014\acad.exe' acad_runs
ts /install
expect "/install while AutoCAD runs" 2
stop_background
start_background 'C:\TsSetup\TsSetup.exe' window_shown
ts /install /log 'C:\logs\no.log'
expect "/install while the window runs" 5
log_ends "$c/logs/no.log" "退出代码：5"
stop_background
for line in "/install /bogus" "/install /uninstall" "/install /log" "/uninstall /dir C:\\"; do
  start=$SECONDS
  # shellcheck disable=SC2086 # each word an argument
  ts $line
  expect "$line" 87
  [ $((SECONDS - start)) -le 10 ] || fail "$line took $((SECONDS - start)) s"
done
unchanged "the refused runs"
rm -rf "$cad" "$cad2"
before="$(snapshot)"
ts /install /log 'C:\logs\none.log'
expect "/install with no AutoCAD (124: it waited)" 3
unchanged "/install with no AutoCAD"
log_ends "$c/logs/none.log" "退出代码：3"

[ "$status" != 0 ] || echo "All command-line cases passed."
exit $status
