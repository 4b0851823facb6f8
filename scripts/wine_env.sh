# Sourced by the scripts: the one place that chooses the Wine our Windows
# programs run under, and the Windows build that goes with it.
#
# Where the kernel runs 32-bit programs, 32-bit Wine runs the 32-bit build
# (build/win, the program that ships). Where it refuses them ("Exec format
# error"), only 64-bit Wine can start, so the same sources built for x86_64
# (build/win64) run in a 64-bit prefix. TS_WINE64=1 takes the 64-bit path on
# any machine. The choice is made once and handed to child scripts through
# the environment:
#   TS_WINE_ARCH       win32 or win64 (the prefixes' WINEARCH)
#   TS_WINE_REASON     why, in words
#   TS_WIN_BUILD       the build folder whose tests this Wine runs
#   TS_WIN_TOOLCHAIN   its CMake toolchain file
# On the 64-bit path, scripts/wine64 comes first on PATH, so every `wine`,
# `wineserver` and `wineboot` below calls the 64-bit binaries directly.
ts_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

if [ -z "${TS_WINE_ARCH:-}" ]; then
  if [ -n "${TS_WINE64:-}" ]; then
    TS_WINE_ARCH=win64 TS_WINE_REASON="TS_WINE64 is set"
  elif /usr/lib/wine/wine --version >/dev/null 2>&1; then
    TS_WINE_ARCH=win32 TS_WINE_REASON="this machine runs 32-bit programs"
  elif [ ! -e /usr/lib/wine/wine ]; then
    TS_WINE_ARCH=win64 TS_WINE_REASON="32-bit Wine (wine32:i386) is not installed"
  else
    TS_WINE_ARCH=win64
    TS_WINE_REASON="this machine cannot run 32-bit programs (the 32-bit Wine loader does not start)"
  fi
  export TS_WINE_ARCH TS_WINE_REASON
fi
if [ "$TS_WINE_ARCH" = win64 ]; then
  TS_WIN_BUILD="$ts_root/build/win64" TS_WIN_TOOLCHAIN="$ts_root/cmake/mingw-x86_64.cmake"
  case ":$PATH:" in *":$ts_root/scripts/wine64:"*) ;; *) PATH="$ts_root/scripts/wine64:$PATH" ;; esac
  export PATH
else
  TS_WIN_BUILD="$ts_root/build/win" TS_WIN_TOOLCHAIN="$ts_root/cmake/mingw-i686.cmake"
fi
export TS_WIN_BUILD TS_WIN_TOOLCHAIN

# Call before configuring a Windows build folder. CMake finds a folder's
# compilers once and keeps them: a folder first configured with the posix
# thread model's compilers, before the build took the Windows threads model,
# would keep them (and winpthreads). Such a folder starts afresh.
win_build_forget_old_compilers() {
  if grep -qs -- '-posix"' "$1"/CMakeFiles/*/CMakeCXXCompiler.cmake; then
    rm -rf "$1/CMakeCache.txt" "$1/CMakeFiles"
  fi
}

# One line saying which Wine and build are used, and why.
wine_say() {
  local bits=32
  [ "$TS_WINE_ARCH" = win64 ] && bits=64
  echo "Wine: $bits-bit ($(wine --version 2>/dev/null || echo 'version unknown')), $TS_WINE_ARCH prefix, the $bits-bit build in ${TS_WIN_BUILD#"$ts_root"/}: $TS_WINE_REASON"
}

# Runs the calling script again, in a new shell, when this shell cannot take
# the Chinese locale; call it as `wine_locale_restart SCRIPT ARGS...` before
# wine_prefix_begin. On a fresh machine scripts/setup.sh generates the locale
# after the shell started, and the C library looked for the machine's locales
# once, at the shell's start, and keeps that answer: setting LC_ALL would
# only print a warning. A new shell finds the locale. Once only: if the
# locale is really missing, the warning shows.
wine_locale_restart() {
  [ -z "${TS_LOCALE_RESTARTED:-}" ] || return 0
  [ -n "$( { LC_ALL=zh_CN.UTF-8; } 2>&1)" ] || return 0
  TS_LOCALE_RESTARTED=1 exec bash "$@"
}

# A fresh prefix of our own under $1, Chinese locale, quiet. wine_prefix_end
# stops its server; call it on exit. Where TS_WINE_PREFIX_TEMPLATE names a
# prefix that wine_prefix_template made in this run, the new prefix is a
# copy of it, booted: the same fresh Windows in a second, where making one
# takes five or more.
wine_prefix_begin() {
  export WINEPREFIX="$1"
  export WINEARCH="$TS_WINE_ARCH"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
  local template="${TS_WINE_PREFIX_TEMPLATE:-}"
  if [ -n "$template" ] && [ -f "$template/system.reg" ] && [ ! -e "$WINEPREFIX" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    cp -a "$template" "$WINEPREFIX"
  else
    template=""
    mkdir -p "$WINEPREFIX"
  fi
  # One persistent server, and Wine's own services, started here with their
  # output going nowhere: a service that inherited a test's output pipe would
  # keep the reader (ctest) waiting after the test ended.
  wineserver -p </dev/null >/dev/null 2>&1
  if [ -n "$template" ]; then
    wineboot </dev/null >/dev/null 2>&1
  else
    wineboot -i </dev/null >/dev/null 2>&1
  fi
}

# Makes a fresh prefix at $1 (a path not yet there) as wine_prefix_begin
# does, stops its server so that its registry is written out, and names it
# in TS_WINE_PREFIX_TEMPLATE: the prefixes this shell and its children begin
# afterwards are copies of it. The caller removes it at the end.
wine_prefix_template() {
  (
    unset TS_WINE_PREFIX_TEMPLATE
    wine_prefix_begin "$1"
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
  )
  [ -f "$1/system.reg" ] || return 1
  export TS_WINE_PREFIX_TEMPLATE="$1"
}

wine_prefix_end() {
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    # The server's socket folder, named for the prefix's device and inode,
    # in a folder of Wine's own under the temporary folder.
    local server d
    server="server-$(printf '%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")"
    rm -rf "$WINEPREFIX"
    for d in "${TMPDIR:-/tmp}"/wine-*/"$server"; do
      [ -d "$d" ] || continue
      rm -rf "$d"
      rmdir "$(dirname "$d")" 2>/dev/null || true
    done
  fi
}
