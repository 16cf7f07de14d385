#!/usr/bin/env bash
# Installs, once, what the builds and tests need on a fresh Debian machine, and makes
# the 32-bit Wine prefix the end-to-end tests run in.  Safe to run again: it skips
# what is already there.  Needs root for the packages (CI and our machines run as root).
# With --no-prefix, the packages and locales only: tools/test.sh makes the prefixes
# while it builds.
set -eu

packages="cmake ninja-build g++ libgtest-dev clang libclang-rt-14-dev clang-tidy cppcheck
  file valgrind g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386 wine64 xvfb
  imagemagick wixl msitools osslsigncode openssl zip unzip locales"

missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "bootstrap: installing$missing"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

# The cross compiler must use the win32 thread model: the posix one drags in
# libwinpthread-1.dll, which a user's machine does not have.
for alt in i686-w64-mingw32-gcc i686-w64-mingw32-g++; do
  w=$(update-alternatives --list "$alt" 2>/dev/null | grep -- '-win32$' || true)
  [ -n "$w" ] && update-alternatives --set "$alt" "$w" >/dev/null
done

# A private 32-bit prefix with the null graphics driver: GUI programs run with no display.
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/wine-env.sh"
# Wine runs under the locale of tools/wine.env; it must exist on this machine, or Wine
# takes file names as ASCII and every accented path fails.  One doctor case runs under
# a locale whose ANSI code page is 1250, with a Polish file name.
for locale in "$LC_ALL" pl_PL.UTF-8; do
  if [ "$(LC_ALL=$locale locale charmap 2>/dev/null)" != UTF-8 ]; then
    echo "bootstrap: generating the locale $locale"
    localedef -i "${locale%%.*}" -c -f UTF-8 "$locale"
  fi
done
[ "${1:-}" = --no-prefix ] || ensure_wine_prefix
