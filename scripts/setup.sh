#!/usr/bin/env bash
# Installs, only when missing, what the build and the tests need on Debian:
# the MinGW-w64 cross compilers (32-bit for the program that ships, 64-bit for
# machines that can run only 64-bit Wine), CMake, GoogleTest, clang for the
# fuzzer, 32-bit and 64-bit Wine, Xvfb, ImageMagick, the Chinese locale and a
# Chinese font, what LazyFS (the power-cut test) builds with, and osslsigncode
# and openssl for signing the program. Never asks anything.
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
          zlib1g-dev libz-mingw-w64-dev)

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
  $SUDO apt-get update -qq
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confold "${missing[@]}" >/dev/null
fi

# The Chinese locale makes Wine's ANSI code page 936, as on our users' Windows.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  echo "setup: generating the zh_CN.UTF-8 locale"
  $SUDO sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
