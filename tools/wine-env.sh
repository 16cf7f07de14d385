# The one set-up of Wine, sourced by the scripts that run it (the demo, the pictures,
# the check zip's run) and run by the ctest entries' fixture: the environment of
# tools/wine.env (the same the ctest entries get) and the prefix.  A WINEPREFIX set by
# the caller wins; otherwise the prefix is the default build folder's,
# build/win32/wineprefix, the one `ctest --preset win32` uses.  The code pages are a
# parameter: wine_locale, when the caller sets it, replaces the locale of tools/wine.env
# (Wine takes the ANSI and OEM code pages from the locale's name; C.UTF-8 gives 1252
# and 437, as US-English Windows).  Debian's wineserver already runs with -p0 (no
# shutdown delay), so `wineserver -w` after a run waits for the run only.
#
#   . tools/wine-env.sh                 # in a script or a shell
root=${root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX=${WINEPREFIX:-$root/build/win32/wineprefix}
while IFS= read -r wine_env_line; do
    case $wine_env_line in
        [A-Za-z_]*=?*) export "$wine_env_line" ;;
        [A-Za-z_]*=) unset "${wine_env_line%=}" ;;
    esac
done <"$root/tools/wine.env"
unset wine_env_line
[ -n "${wine_locale:-}" ] && export LC_ALL=$wine_locale

# Makes $WINEPREFIX once (a few seconds): 32-bit, with the null graphics driver, so GUI
# programs run with no display.  A prefix made before is left as it is.  Fails when the
# locale is missing (tools/bootstrap.sh generates it): Wine takes the Windows code pages
# from the locale's name alone, but its file names from the locale itself, and without
# it they are ASCII and a path with an accent cannot be opened.
ensure_wine_prefix() {
    if [ "$(locale charmap 2>/dev/null)" != UTF-8 ]; then
        echo "the locale $LC_ALL is missing: run tools/bootstrap.sh" \
            "(or localedef -i ${LC_ALL%%.*} -f UTF-8 $LC_ALL)" >&2
        return 1
    fi
    [ -f "$WINEPREFIX/.ready" ] && return 0
    echo "making the Wine prefix $WINEPREFIX"
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.ready"
}

# The sample installation of the demo and the pictures: the Notes client and library
# being the stand-ins built in BIN, under FOLDER (its Windows path WIN) as an installer
# lays them out, with documents to attach and a Temp\ folder for jobs, and the registry
# values pointing there.  What FOLDER held before is removed.
#   install_sample BIN FOLDER WIN
install_sample() {
    local bin=$1 folder=$2
    rm -rf "$folder"
    mkdir -p "$folder/Lotus Notes/Data" "$folder/Velmora" "$folder/Documents" "$folder/Temp"
    cp "$bin/notes-client.exe" "$folder/Lotus Notes/notes-client.exe"
    cp "$bin/velmora-notes.exe" "$bin/nNOTES.dll" "$folder/Velmora/"
    echo "Velmora database" >"$folder/Lotus Notes/Data/Velmora.nsf"
    echo "Devis A12: 3 fenêtres, pose comprise" | iconv -f UTF-8 -t CP1252 >"$folder/Documents/Devis A12.txt"
    echo "Plan de pose" >"$folder/Documents/Plan de pose.txt"
    echo "Conditions générales" | iconv -f UTF-8 -t CP1252 >"$folder/Documents/Conditions.txt"
    register_sample "$3"
}

# Points the installation's two registry values at the sample installation in WIN.
#   register_sample WIN
register_sample() {
    local key='HKLM\SOFTWARE\Zabrel\Velmora\Stellwick'
    wine reg add "$key" /v LN_Appli /d "$1\\Lotus Notes\\notes-client.exe" /f >/dev/null
    wine reg add "$key" /v LN_Base /d "$1\\Lotus Notes\\Data\\Velmora.nsf" /f >/dev/null
}
