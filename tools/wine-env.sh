# Sourced by the scripts that run Wine: one private 32-bit prefix, quiet, French-free
# ANSI code page 1252 and OEM code page 437, whatever the caller's locale.
root=${root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8
unset DISPLAY
