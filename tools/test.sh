#!/usr/bin/env bash
# Runs every test: installs what is missing, builds both presets, then the host unit
# tests (sanitized), the fuzz targets for a short while, the static analysers, and
# the Windows checks and end-to-end suites under Wine.  Exits non-zero if any fails.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

# Each stage says how long it took, and the last lines sum them up.
run_start=$SECONDS
times=""
timed() {   # timed NAME SECONDS: notes a stage's time
    echo "=== $1: $2 s"
    times="$times$(printf '  %5d s  %s' "$2" "$1")"$'\n'
}
stage() {   # stage NAME COMMAND...
    local name=$1 start=$SECONDS
    echo "=== $name"
    shift
    if ! "$@"; then
        echo "=== FAILED: $name"
        failed_stages="$failed_stages|$name"
    fi
    timed "$name" $((SECONDS - start))
}
failed_stages=""

start=$SECONDS
bash tools/bootstrap.sh || exit 1
timed "bootstrap" $((SECONDS - start))
start=$SECONDS
cmake --preset host >/dev/null && cmake --build --preset host || exit 1
timed "host build" $((SECONDS - start))
start=$SECONDS
cmake --preset win32 >/dev/null && cmake --build --preset win32 || exit 1
timed "win32 build" $((SECONDS - start))

stage "host unit tests" ctest --preset host
[ -x tools/fuzz.sh ] && stage "fuzz targets, short run" tools/fuzz.sh --short
[ -x tools/analyse.sh ] && stage "static analysis" tools/analyse.sh
stage "Windows checks and end-to-end suites under Wine" ctest --preset win32
stage "release: signed zip and installer, installer round trip under Wine" bash tools/release-check.sh

echo "=== times"
printf '%s' "$times"
printf '  %5d s  in all\n' $((SECONDS - run_start))
if [ -n "$failed_stages" ]; then
    echo "FAILED stages:${failed_stages//|/$'\n'  }"
    exit 1
fi
echo "all stages passed"
