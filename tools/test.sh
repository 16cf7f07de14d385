#!/usr/bin/env bash
# Runs every test: installs what is missing, builds both presets, then the host unit
# tests (sanitized), the fuzz targets for a short while, the static analysers, and
# the Windows checks and end-to-end suites under Wine.  Exits non-zero if any fails.
#
# On two cores, in three lanes, each lane's output after the one before: the Wine
# suites (waiting on Wine as much as computing); the release check, whose builds run
# beside them and whose run of the check zip waits for them (one Wine run at a time:
# VELMORA_WINE_LOCK, held while the suites run); the host unit tests, the fuzz targets
# (a fixed time each) and the static analysis, which need no Wine.  The Wine prefixes
# of build/win32 are made while the builds run.  Each stage says how long it took; the
# times are summed up at the end.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

run_start=$SECONDS
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
timed() {   # timed NAME SECONDS: notes a stage's time
    echo "=== $1: $2 s"
    printf '  %5d s  %s\n' "$2" "$1" >>"$logs/times"
}
stage() {   # stage NAME COMMAND...
    local name=$1 start=$SECONDS
    echo "=== $name"
    shift
    if ! "$@"; then
        echo "=== FAILED: $name"
        echo "  $name" >>"$logs/failed"
    fi
    timed "$name" $((SECONDS - start))
}

start=$SECONDS
bash tools/bootstrap.sh --no-prefix || exit 1
timed "bootstrap" $((SECONDS - start))

# The suites' 32-bit prefix and the 64-bit one, which the ctest entries' fixtures would
# otherwise make one after the other.
# shellcheck disable=SC2016
( start=$SECONDS; . tools/wine-env.sh && ensure_wine_prefix &&
  WINEPREFIX=$root/build/win32/wineprefix64 WINEARCH=win64 ensure_wine_prefix &&
  timed "Wine prefixes of build/win32, beside the builds" $((SECONDS - start)) ) >"$logs/prefixes" 2>&1 &
prefixes=$!

start=$SECONDS
cmake --preset host >/dev/null && cmake --build --preset host || exit 1
timed "host build" $((SECONDS - start))
start=$SECONDS
cmake --preset win32 >/dev/null && cmake --build --preset win32 || exit 1
timed "win32 build" $((SECONDS - start))

host_lane() {
    stage "host unit tests" ctest --preset host
    stage "fuzz targets, short run" tools/fuzz.sh --short
    stage "static analysis" tools/analyse.sh
}
host_lane >"$logs/host" 2>&1 &
host=$!

exec 9>"$logs/wine.lock"
flock 9
VELMORA_WINE_LOCK=$logs/wine.lock stage "release: signed zip and installer, installer round trip under Wine" \
    bash tools/release-check.sh >"$logs/release" 2>&1 9>&- &
release=$!

wait "$prefixes" || echo "  Wine prefixes of build/win32" >>"$logs/failed"
cat "$logs/prefixes"
stage "Windows checks and end-to-end suites under Wine" ctest --preset win32 9>&-
exec 9>&-

wait "$release"
cat "$logs/release"
wait "$host"
cat "$logs/host"

echo "=== times"
cat "$logs/times"
printf '  %5d s  in all\n' $((SECONDS - run_start))
if [ -e "$logs/failed" ]; then
    echo "FAILED stages:"
    cat "$logs/failed"
    exit 1
fi
echo "all stages passed"
