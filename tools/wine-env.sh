# Sourced by the scripts that run Wine: one private 32-bit prefix, quiet, French-free
# ANSI code page 1252 and OEM code page 437, whatever the caller's locale.
root=${root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8
unset DISPLAY

# Makes $WINEPREFIX once (a few seconds): 32-bit, with the null graphics driver, so GUI
# programs run with no display.  A prefix made before is left as it is.
ensure_wine_prefix() {
    [ -f "$WINEPREFIX/.ready" ] && return 0
    echo "making the Wine prefix $WINEPREFIX"
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.ready"
}
