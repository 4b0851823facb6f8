#!/usr/bin/env bash
# Installs, only when missing, what the build and the tests need on Debian:
# the MinGW-w64 cross compilers (32-bit for the program that ships, 64-bit for
# machines that can run only 64-bit Wine), CMake, GoogleTest, clang for the
# fuzzer, 32-bit and 64-bit Wine, Xvfb, ImageMagick, the Chinese locale and a
# Chinese font, what LazyFS (the power-cut test) builds with, osslsigncode
# and openssl for signing the program, and Python and Mono with its
# WindowsBase (.NET's packaging API), the readers that open every .cuix
# package the tests write. Never asks anything.
set -euo pipefail

# Not root: sudo, which may ask for a password only when someone is there to
# type it; without a terminal it fails at once instead of waiting.
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
  [ -t 0 ] || SUDO="sudo -n"
fi

packages=(cmake g++ make g++-mingw-w64-i686 g++-mingw-w64-x86-64 googletest libgtest-dev
          clang libclang-rt-14-dev wine wine64 wine32:i386 xvfb xauth imagemagick x11-utils
          locales fonts-wqy-microhei fonts-liberation
          fuse3 libfuse3-dev libtoml11-dev libspdlog-dev osslsigncode openssl
          zlib1g-dev libz-mingw-w64-dev python3 mono-mcs mono-runtime libmono-windowsbase4.0-cil)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  # A mirror being synced can fail one index for a while (a file of an
  # unexpected size); the install then takes what the other indexes give,
  # and fails itself if a package is really out of reach.
  # Where 32-bit Wine alone is missing, the mirror's i386 index most
  # likely still lags: one try, not three.
  attempts="1 2 3"
  [ "${missing[*]}" != "wine32:i386" ] || attempts=3
  for attempt in $attempts; do
    $SUDO apt-get update -qq && break
    [ "$attempt" = 3 ] && echo "setup: apt-get update failed for some indexes; installing from those it read" >&2
    [ "$attempt" = 3 ] || sleep 5
  done
  install() {
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
      -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confold "$@" >/dev/null
  }
  if ! install "${missing[@]}"; then
    # 32-bit Wine needs i386 libraries of the very versions the machine has;
    # while the mirror's i386 index lags behind, they cannot be had. The
    # rest is installed, and the tests take the 64-bit path, saying why.
    rest=()
    for p in "${missing[@]}"; do [ "$p" = wine32:i386 ] || rest+=("$p"); done
    [ ${#rest[@]} -lt ${#missing[@]} ] || exit 1
    echo "setup: wine32:i386 cannot be installed now; installing the rest, the tests will run 64-bit" >&2
    install "${rest[@]}"
  fi
fi

# The Chinese locale makes Wine's ANSI code page 936, as on our users' Windows.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  echo "setup: generating the zh_CN.UTF-8 locale"
  $SUDO sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
