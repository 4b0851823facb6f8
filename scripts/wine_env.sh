# Sourced by the scripts: a fresh 32-bit Wine prefix of our own under $1,
# Chinese locale, quiet. wine_prefix_end stops its server; call it on exit.
wine_prefix_begin() {
  export WINEPREFIX="$1"
  export WINEARCH=win32
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
  mkdir -p "$WINEPREFIX"
  # One persistent server, and Wine's own services, started here with their
  # output going nowhere: a service that inherited a test's output pipe would
  # keep the reader (ctest) waiting after the test ended.
  wineserver -p </dev/null >/dev/null 2>&1
  wineboot -i </dev/null >/dev/null 2>&1
}

wine_prefix_end() {
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
  fi
}
