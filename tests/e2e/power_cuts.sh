#!/usr/bin/env bash
# Cuts the power at random moments of an install and of an uninstall, each
# once over nothing of the user's and once over the user's own files, and
# checks what the disk kept. Drive D: of a fresh Wine prefix is a LazyFS
# mount holding "D:\Program Files\AutoCAD 2002" and the program folder
# D:\TsSetup with its payload; LazyFS loses every byte not flushed when told
# to, as a power cut does, while names survive.
#
# Each run starts on a fresh mount of a folder laid out as the state before
# it, so nothing is in LazyFS's cache and a cut can lose only the run's own
# unflushed writes. A cut ends the program and all of Wine at once, then
# drops the cache. After it, every file on D: must be as before the run or as
# after a complete run (temporary files aside), exactly as after when the cut
# came while the final message was up, and each of the user's files must be
# at its place or kept beside it. Then one complete run must reach the state
# after, with no temporary file left. The files of the Windows and System
# folders are not on D: and not checked here.
#
# Usage: power_cuts.sh TsSetup.exe power_driver.exe
# TS_CUTS: cuts in each of the four cases (default 3), and a third as many in
# each of the customization files' four. TS_CUT_SEED: the
# first seed (default: from the clock); each cut prints its seed.
# Exits 77 (skipped), with one line saying why, where LazyFS or FUSE cannot
# be had.
set -euo pipefail
exe="$1" driver="$2"
root="$(cd "$(dirname "$0")/../.." && pwd)"
lazyfs_src="$root/../shared/third_party/lazyfs"
skip() { echo "power cuts skipped: $*"; exit 77; }
[ -f "$lazyfs_src/build.sh" ] || skip "LazyFS is missing: no ../shared/third_party/lazyfs beside the repository"
[ -c /dev/fuse ] || skip "/dev/fuse is missing: this machine cannot mount a FUSE file system"
# Wine's desktop process binds to the display it finds when the prefix starts.
if [ -z "${TS_E2E_IN_XVFB:-}" ]; then
  TS_E2E_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 800x600x24" bash "$0" "$@"
fi
source "$root/scripts/wine_env.sh"
# The prefix of whoever started this test (test.sh's, under ctest) is not
# ours to stop or remove; ours comes later.
unset WINEPREFIX
source "$root/scripts/sample_env.sh"
cuts="${TS_CUTS:-3}"
seed="${TS_CUT_SEED:-$(( $(date +%s%N) / 1000 % 1000000 ))}"

work="$(mktemp -d /tmp/tssetup-power.XXXXXX)"
mnt="$work/mnt" disk="$work/disk" states="$work/states"
lazyfs_pid=""
# Unmounts LazyFS. Wine may stay: nothing of it holds the drive open once the
# program has ended; when something does, Wine is stopped first.
unmount() {
  [ -n "$lazyfs_pid" ] || return 0
  local i
  for i in $(seq 50); do
    mountpoint -q "$mnt" || break
    fusermount3 -u "$mnt" 2>/dev/null && break
    [ "$i" = 10 ] && stop_wine
    sleep 0.1
  done
  if mountpoint -q "$mnt"; then fusermount3 -uz "$mnt"; fi
  for i in $(seq 100); do
    kill -0 "$lazyfs_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$lazyfs_pid" 2>/dev/null; then
    echo "power cuts: LazyFS did not end after unmounting; ending it"
    pkill -KILL -P "$lazyfs_pid" || true
  fi
  wait "$lazyfs_pid" 2>/dev/null || true
  lazyfs_pid=""
}
# Stops this test's Wine, never another's (without WINEPREFIX, wineserver
# would stop the user's own ~/.wine).
stop_wine() {
  [ -n "${WINEPREFIX:-}" ] || return 0
  wineserver -k >/dev/null 2>&1 || true
  timeout 30 wineserver -w >/dev/null 2>&1 || echo "power cuts: Wine did not end within 30 s"
}
trap 'wine_prefix_end; unmount; rm -rf "$work"' EXIT
mkdir -p "$mnt" "$disk" "$states"

if ! lazyfs="$(bash "$lazyfs_src/build.sh" "$root/build/lazyfs" 2>"$work/build.log")"; then
  tail -20 "$work/build.log"
  echo "power cuts: LazyFS did not build"
  exit 1
fi
mkfifo "$work/faults.fifo" "$work/done.fifo"
# The cache holds all a run writes without a flush (under 16 MB here): once
# full, it would stop holding data back. Each mount allocates it whole, so it
# is no larger than that needs.
cat >"$work/lazyfs.toml" <<TOML
[faults]
fifo_path="$work/faults.fifo"
fifo_path_completed="$work/done.fifo"
[cache]
apply_eviction=false
[cache.simple]
custom_size="64mb"
blocks_per_page=1
[filesystem]
log_all_operations=false
logfile="$work/lazyfs.log"
TOML
# LazyFS takes commands only while its answer FIFO has a reader.
exec 8<>"$work/done.fifo"

mount_lazyfs() {
  # In a subshell, so that LazyFS's abort at unmount ("terminate called
  # without an active exception", harmless) goes to its log, not to ours.
  ("$lazyfs" "$mnt" --config-path "$work/lazyfs.toml" -o "allow_other,modules=subdir,subdir=$disk" -f
   exit $?) >"$work/lazyfs.out" 2>&1 &
  lazyfs_pid=$!
  local i
  for i in $(seq 100); do
    mountpoint -q "$mnt" && return 0
    kill -0 "$lazyfs_pid" 2>/dev/null || break
    sleep 0.1
  done
  return 1
}

# Sends one command to LazyFS and waits for its answer.
lazyfs_command() {
  timeout 10 bash -c 'echo "lazyfs::$1" >"$2"' _ "$1" "$work/faults.fifo" &&
    read -r -t 30 _ <&8 && return 0
  echo "power cuts: LazyFS did not answer lazyfs::$1"
  return 1
}

# The processes that have a file or folder of the mount open.
mount_users() {
  local f pid
  for f in $(find /proc/[0-9]*/cwd /proc/[0-9]*/fd -maxdepth 1 -lname "$mnt*" 2>/dev/null); do
    pid=${f#/proc/}
    echo "${pid%%/*}"
  done | sort -u
}

# Waits up to 30 s for the driver to end, then ends it.
driver_gone() {
  local i
  for i in $(seq 300); do
    kill -0 "$driver_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$driver_pid" 2>/dev/null || true
  wait "$driver_pid" 2>/dev/null || true
}

# The power cut, once the driver has ended the program: the rest of Wine
# stops, and once nothing has the mount open (no write can come later), what
# was never flushed is lost.
cut_power() {
  local i
  stop_wine
  driver_gone
  for i in $(seq 100); do
    [ -z "$(mount_users)" ] && break
    sleep 0.1
  done
  [ -z "$(mount_users)" ] || { echo "power cuts: a process still uses the mount after Wine was stopped"; return 1; }
  lazyfs_command clear-cache
}

# The drive's content as "sha256  path" lines, sorted. The install record is
# taken without its ":file" lines: they hold the files' last-write times,
# and LazyFS reports the time a file was written, not the one set on it
# afterwards, while the file is in its cache, so they differ from run to run.
# A .cuix package is taken by its parts but its listing of part dates,
# which every change re-dates: a package that cannot be read whole
# (a CRC that does not match, a cut-off zip) is "unreadable". With
# skip_windows=1 (the customization files' cases) the record is taken
# without its lines naming the library's copies in the Windows and System
# folders either, which are not on D:: a cut does not take back what a run
# did to them, and these cases' states were made after the other cases had
# run, so their next run may find them otherwise than the run that made the
# state.
skip_windows=0
snapshot() {
  (cd "$1" && find . -type f ! -path ./TsSetup/INFOFILE -print0 | sort -z | xargs -0r sha256sum) | sed 's|  \./|  |' |
    python3 -c '
import hashlib, sys, zipfile
root = sys.argv[1]
for line in sys.stdin:
    digest, path = line.rstrip("\n").split("  ", 1)
    if path.lower().endswith(".cuix"):
        try:
            with zipfile.ZipFile(root + "/" + path) as z:
                if z.testzip() is not None:
                    raise ValueError("CRC")
                h = hashlib.sha256()
                for name in sorted(z.namelist()):
                    if name != "Menu_Package_Info.xml":
                        h.update(name.encode() + b"\0" + z.read(name) + b"\0")
                digest = "parts-" + h.hexdigest()
        except Exception:
            digest = "unreadable"
    print(digest + "  " + path)' "$1"
  if [ -f "$1/TsSetup/INFOFILE" ]; then
    local skip=(-e '^:file ')
    [ "$skip_windows" = 0 ] || skip+=(-e '^C:\\windows\\')
    echo "$(grep -aiv "${skip[@]}" "$1/TsSetup/INFOFILE" | sha256sum | cut -d' ' -f1)  TsSetup/INFOFILE"
  fi
}

# One run of the driver (see power_driver.cpp) on D:\TsSetup, its output in
# $work/driver.out.
start_driver() {
  wine "$driver" 'D:\TsSetup' "$1" "$2" >"$work/driver.out" 2>&1 &
  driver_pid=$!
}

# Waits up to a minute for the driver to print a line starting with $1, or to end.
driver_says() {
  local i
  for i in $(seq 1200); do
    grep -q "^$1" "$work/driver.out" && return 0
    kill -0 "$driver_pid" 2>/dev/null || break
    sleep 0.05
  done
  grep -q "^$1" "$work/driver.out" && return 0
  echo "power cuts: the driver did not say \"$1\":"
  cat "$work/driver.out"
  return 1
}

# A complete run; prints the milliseconds from the click to the final message.
complete_run() {
  start_driver "$1" complete
  driver_says complete >&2 || return 1
  driver_gone
  sed -n 's/^complete \([0-9]*\).*/\1/p' "$work/driver.out"
}

# Starts the run afresh from state $1: a new mount of the state's files.
reset_to() {
  unmount
  rm -rf "$disk"
  cp -a "$states/$1" "$disk"
  mount_lazyfs || { echo "power cuts: LazyFS did not mount again"; cat "$work/lazyfs.out"; return 1; }
}

# --- The states before: the sample AutoCAD and the program with its payload.
clean="$states/clean"
cad="Program Files/AutoCAD 2002"
mkdir -p "$clean/$cad/support" "$clean/TsSetup/data/Pictrue" "$clean/Profile/Autodesk"
printf 'placeholder for acad.exe\r\n' >"$clean/$cad/acad.exe"
make_sample_menu >"$clean/$cad/support/acad.mns"
cp "$exe" "$clean/TsSetup/TsSetup.exe"
data="$clean/TsSetup/data"
head -c 4M /dev/urandom >"$data/TS_DATA.mdb"
head -c 64 /dev/urandom >"$data/TS_DATA.ldb"
head -c 256K /dev/urandom >"$data/acadstk.dmp"
head -c 128K /dev/urandom >"$data/PROJECT.dvb"
head -c 64K /dev/urandom >"$data/acad.dvb"
head -c 96K /dev/urandom >"$data/CPUID.dll"
for i in $(seq -w 1 40); do head -c $(( (8 + 10#$i) * 1024 )) /dev/urandom >"$data/Pictrue/pic$i.bmp"; done
# The user's own files where the install puts its own.
users=("$cad/acad.dvb" "$cad/TS_DATA.mdb" "$cad/Pictrue/pic07.bmp")
cp -a "$clean" "$states/users"
mkdir -p "$states/users/$cad/Pictrue"
printf "the user's own startup macros" >"$states/users/${users[0]}"
head -c 3M /dev/zero | tr '\0' u >"$states/users/${users[1]}"
printf "the user's own picture" >"$states/users/${users[2]}"
declare -A user_sha=()
for u in "${users[@]}"; do user_sha[$u]="$(sha256sum <"$states/users/$u" | cut -d' ' -f1)"; done

# --- The mount, the prefix with its D: drive there, and the states after
# complete runs.
cp -a "$clean" "$disk"
if ! mount_lazyfs; then
  why="$(grep -m1 -iE 'permission denied|not permitted|only allowed' "$work/lazyfs.out" || true)"
  [ -n "$why" ] && skip "mounting LazyFS failed for lack of rights: $why"
  cat "$work/lazyfs.out"
  echo "power cuts: LazyFS did not mount"
  exit 1
fi
wine_prefix_begin "$work/prefix"
ln -sfn "$mnt" "$WINEPREFIX/dosdevices/d:"
# The user's profile folder of AutoCAD ("Autodesk" in the roaming folder) is
# on the mount too, for the customization files of AutoCAD 2007 and 2014.
roaming="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming"
[ -d "$roaming" ] || { echo "power cuts: no roaming folder at $roaming"; exit 1; }
ln -sfn "$mnt/Profile/Autodesk" "$roaming/Autodesk"
# Windows that no window manager looks after: under Xvfb there is none, and
# Wine would wait two seconds for each managed window to be withdrawn, four
# at every end of the program.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
declare -A length=()
for start in clean users; do
  [ "$start" = clean ] && installed=installed || installed=installed-users
  [ "$start" = clean ] && removed=removed || removed=removed-users
  reset_to "$start"
  length[$start]="$(complete_run import)"
  cp -a "$mnt" "$states/$installed"
  length[$installed]="$(complete_run export)"
  cp -a "$mnt" "$states/$removed"
done
# AutoCAD 2007 with its user's acad.cui and AutoCAD 2014 with its user's
# acad.cuix, in the profile, with a payload so small that most of a run is
# the customization file read, changed and written.
cui_src="$root/../shared/cui"
menu_kinds=()
if [ -f "$cui_src/acad2007-kor.cui" ] && [ -f "$cui_src/acad2014-enu.cuix" ]; then
  menu_kinds=(cui cuix)
  for kind in "${menu_kinds[@]}"; do
    k="$states/$kind"
    mkdir -p "$k/TsSetup/data/Pictrue"
    cp "$exe" "$k/TsSetup/TsSetup.exe"
    for f in TS_DATA.mdb TS_DATA.ldb acadstk.dmp PROJECT.dvb acad.dvb CPUID.dll; do
      head -c 16K /dev/urandom >"$k/TsSetup/data/$f"
    done
    for i in 1 2 3; do head -c 8K /dev/urandom >"$k/TsSetup/data/Pictrue/pic$i.bmp"; done
  done
  mkdir -p "$states/cui/Program Files/AutoCAD 2007" "$states/cui/Profile/Autodesk/AutoCAD 2007/R17.0/kor/Support"
  printf 'placeholder for acad.exe\r\n' >"$states/cui/Program Files/AutoCAD 2007/acad.exe"
  # AutoCAD writes CR LF; the shared copy has LF.
  sed 's/$/\r/' "$cui_src/acad2007-kor.cui" >"$states/cui/Profile/Autodesk/AutoCAD 2007/R17.0/kor/Support/acad.cui"
  mkdir -p "$states/cuix/Program Files/Autodesk/AutoCAD 2014" "$states/cuix/Profile/Autodesk/AutoCAD 2014/R19.1/enu/Support"
  printf 'placeholder for acad.exe\r\n' >"$states/cuix/Program Files/Autodesk/AutoCAD 2014/acad.exe"
  cat "$cui_src/acad2014-enu.cuix" >"$states/cuix/Profile/Autodesk/AutoCAD 2014/R19.1/enu/Support/acad.cuix"
  for kind in "${menu_kinds[@]}"; do
    reset_to "$kind"
    length[$kind]="$(complete_run import)"
    cp -a "$mnt" "$states/$kind-installed"
    length[$kind-installed]="$(complete_run export)"
    cp -a "$mnt" "$states/$kind-removed"
  done
else
  echo "power cuts: the customization files are not tried: ../shared/cui is absent"
fi
# Two AutoCADs on D:, each with its own menu, both taken in the choice.
two="Program Files/Autodesk/AutoCAD 2014"
cp -a "$clean" "$states/two"
mkdir -p "$states/two/$two/support"
printf 'placeholder for acad.exe\r\n' >"$states/two/$two/acad.exe"
make_sample_menu >"$states/two/$two/support/acad.mns"
reset_to two
length[two]="$(complete_run import-all)"
cp -a "$mnt" "$states/two-installed"
length[two-installed]="$(complete_run export)"
cp -a "$mnt" "$states/two-removed"
for s in clean users installed installed-users removed removed-users two two-installed two-removed; do
  snapshot "$states/$s" >"$states/$s.sha"
done
skip_windows=1
for kind in "${menu_kinds[@]}"; do
  for s in "$kind" "$kind-installed" "$kind-removed"; do snapshot "$states/$s" >"$states/$s.sha"; done
  # (The uninstall keeps the library in AutoCAD's folder: only the profile
  # is as before.)
  profile_of() { grep '  Profile/' "$states/$1.sha"; }
  if [ "$(profile_of "$kind")" = "$(profile_of "$kind-installed")" ] ||
     [ "$(profile_of "$kind")" != "$(profile_of "$kind-removed")" ]; then
    echo "power cuts: the $kind install did not change the customization file, or its uninstall did not give it back"
    exit 1
  fi
done
skip_windows=0
# A program that did not find D:'s AutoCAD would pass every check below.
if cmp -s "$states/clean/$cad/support/acad.mns" "$states/installed/$cad/support/acad.mns"; then
  echo "power cuts: the install did not add its menu item to D:\\$cad (it found another AutoCAD folder?)"
  exit 1
fi
for c in "$cad" "$two"; do
  if cmp -s "$states/two/$c/support/acad.mns" "$states/two-installed/$c/support/acad.mns"; then
    echo "power cuts: the install into two AutoCADs did not add its menu item to D:\\$c"
    exit 1
  fi
done

failures=0 at_box=0
# Notes one wrong file; wrong_end reports a check's wrong files.
wrong() {
  local size="absent"
  [ -f "$mnt/$1" ] && size="$(stat -c %s "$mnt/$1") bytes"
  wrong_files+=("$1 ($size)")
  failures=$((failures + 1))
  wrong_why="$2"
}
wrong_end() {
  [ ${#wrong_files[@]} -gt 0 ] || return 0
  echo "  ${#wrong_files[@]} files $wrong_why:"
  printf '    %s\n' "${wrong_files[@]}"
  wrong_files=()
}
wrong_files=()

declare -A before=() after=() now=()
load() {
  local -n into=$1
  into=()
  local h p
  while read -r h p; do into[$p]=$h; done <"$2"
}

# Every file as before or after, or a temporary file; exactly as after when
# `strict`; each user's file at its place or kept.
check_cut() {
  local from=$1 to=$2 strict=$3 p
  snapshot "$mnt" >"$work/now.sha"
  load before "$states/$from.sha"
  load after "$states/$to.sha"
  load now "$work/now.sha"
  while IFS= read -r p; do
    if [ "$strict" = 1 ]; then
      [ "${now[$p]:-}" = "${after[$p]:-}" ] || wrong "$p" "not as after the run, though the cut came while the final message was up"
    else
      case "$p" in *'~TsSetup.tmp' | *'~TsSetup.tmp/'*) continue ;; esac
      [ "${now[$p]:-}" = "${before[$p]:-}" ] || [ "${now[$p]:-}" = "${after[$p]:-}" ] ||
        wrong "$p" "neither as before nor as after the run"
    fi
  done < <(printf '%s\n' "${!before[@]}" "${!after[@]}" "${!now[@]}" | LC_ALL=C sort -u)
  wrong_end
  if [[ "$from" == *users ]]; then
    for p in "${users[@]}"; do
      [ "${now[$p]:-}" = "${user_sha[$p]}" ] || [ "${now[$p~TsSetup.bak]:-}" = "${user_sha[$p]}" ] ||
        wrong "$p" "of the user's lost: the user's bytes neither in place nor kept beside it"
    done
  fi
  wrong_end
}

# The complete run after a cut reaches the state after, and nothing else.
check_finished() {
  local to=$1
  snapshot "$mnt" >"$work/now.sha"
  while read -r p; do wrong "$p" "not as after a complete run, once the next complete run had ended"; done < <(
    diff "$states/$to.sha" "$work/now.sha" | sed -n 's/^[<>] [0-9a-f]*  //p' | LC_ALL=C sort -u)
  wrong_end
}

# A well-mixed number from a seed (neighbouring seeds give unrelated
# moments), the same under every bash, so that a seed replays anywhere.
mix() {
  local h=$(($1 & 0xffffffff))
  h=$((((h >> 16 ^ h) * 0x45d9f3b) & 0xffffffff))
  h=$((((h >> 16 ^ h) * 0x45d9f3b) & 0xffffffff))
  echo $((h >> 16 ^ h))
}

# cut_many BUTTON FROM TO WHAT [FIRST]: cuts with the seeds from FIRST (the
# run's first seed by default) on.
cut_many() {
  local button=$1 from=$2 to=$3 what=$4 first=${5:-$seed} i s moment
  echo "== $what: runs of $((length[$from])) ms, seeds $first to $((first + cuts - 1))"
  for ((i = 0; i < cuts; i++)); do
    s=$((first + i))
    # Every third seed cuts while the final message is up.
    if ((s % 3 == 0)); then moment=box; else moment=$(($(mix "$s") % (length[$from] + 1))); fi
    reset_to "$from"
    start_driver "$button" "$moment"
    driver_says "cut now" || { failures=$((failures + 1)); continue; }
    cut_power
    if [ "$moment" = box ]; then
      at_box=$((at_box + 1))
      echo "seed $s: cut while the final message was up"
      check_cut "$from" "$to" 1
    else
      echo "seed $s: cut $moment ms after the click"
      check_cut "$from" "$to" 0
    fi
    complete_run "$button" >/dev/null || { failures=$((failures + 1)); continue; }
    check_finished "$to"
  done
}

cut_many import clean installed "install"
# Two cuts more in a first install's pictures: while they are written into
# their folder's temporary name (once that folder is there, and before the
# folder has its own name), and once the folder has its name (its last
# picture shows there only then), when every picture in it must be whole.
staged_cut() {
  local wait_for=$1 what=$2
  echo "== install: a cut $what"
  reset_to clean
  start_driver import "=D:\\$(echo "$cad" | tr / '\\')\\$wait_for"
  if ! driver_says "cut now" || ! cut_power; then
    failures=$((failures + 1))
    return
  fi
  if [ "$wait_for" = 'Pictrue~TsSetup.tmp' ] && [ -e "$mnt/$cad/Pictrue" ]; then
    wrong "$cad/Pictrue" "named before the cut, which was to fall while its pictures were staged"
    wrong_end
  fi
  check_cut clean installed 0
  if complete_run import >/dev/null; then check_finished installed; else failures=$((failures + 1)); fi
}
staged_cut 'Pictrue~TsSetup.tmp' "while its pictures are staged"
staged_cut 'Pictrue\pic40.bmp' "once its picture folder has its name"
cut_many export installed removed "uninstall"
cut_many import users installed-users "install over the user's files"
cut_many export installed-users removed-users "uninstall giving the user's files back"
all_cuts=$((4 * cuts + 2))
# Two AutoCADs served in one install, and both given back in one uninstall.
two_cuts=$(((cuts + 1) / 2))
saved_cuts=$cuts cuts=$two_cuts
cut_many import-all two two-installed "install into two AutoCADs" $((seed + 4 * saved_cuts))
cut_many export two-installed two-removed "uninstall from two AutoCADs" $((seed + 4 * saved_cuts + two_cuts))
cuts=$saved_cuts
all_cuts=$((all_cuts + 2 * two_cuts))
# A third as many each way for each customization file (one by default):
# their runs are short, so that a cut falls while the file is written
# about half the time.
# Each of the four takes the seeds after the last one's, so that not all
# of them cut at the final message.
cuts=$(((cuts + 2) / 3))
next=$seed
skip_windows=1
for kind in "${menu_kinds[@]}"; do
  cut_many import "$kind" "$kind-installed" "install into acad.$kind" "$next"
  cut_many export "$kind-installed" "$kind-removed" "uninstall from acad.$kind" $((next + cuts))
  next=$((next + 2 * cuts))
  all_cuts=$((all_cuts + 2 * cuts))
done
echo "power cuts: $all_cuts cuts ($at_box while the final message was up), wrong files and failed runs: $failures, result: $([ "$failures" = 0 ] && echo pass || echo FAIL)"
[ "$failures" = 0 ]
