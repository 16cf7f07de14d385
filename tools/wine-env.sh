# Sourced by the scripts that run Wine: the environment of tools/wine.env (the same the
# ctest entries get) and the prefix.  A WINEPREFIX set by the caller wins; otherwise the
# prefix is the default build folder's, build/win32/wineprefix, the one
# `ctest --preset win32` uses.
#
#   . tools/wine-env.sh                 # in a script or a shell
#   bash tools/wine-env.sh --make-prefix  # makes $WINEPREFIX if it is not there yet
root=${root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX=${WINEPREFIX:-$root/build/win32/wineprefix}
while IFS= read -r wine_env_line; do
    case $wine_env_line in
        [A-Za-z_]*=?*) export "$wine_env_line" ;;
        [A-Za-z_]*=) unset "${wine_env_line%=}" ;;
    esac
done <"$root/tools/wine.env"
unset wine_env_line

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

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    case "${1:-}" in
        --make-prefix) ensure_wine_prefix ;;
        *) echo "usage: . tools/wine-env.sh, or bash tools/wine-env.sh --make-prefix" >&2; exit 2 ;;
    esac
fi
