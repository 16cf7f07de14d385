#!/usr/bin/env bash
# Runs every test: installs what is missing, builds both presets, then the host unit
# tests (sanitized), the fuzz targets for a short while, the static analysers, and
# the Windows checks and end-to-end suites under Wine.  Exits non-zero if any fails.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash tools/bootstrap.sh || exit 1

stage() {   # stage NAME COMMAND...
    echo "=== $1"
    shift
    if "$@"; then
        passed_stages="$passed_stages $1"
    else
        echo "=== FAILED: $*"
        failed_stages="$failed_stages|$*"
    fi
}
passed_stages="" failed_stages=""

cmake --preset host >/dev/null && cmake --build --preset host || exit 1
cmake --preset win32 >/dev/null && cmake --build --preset win32 || exit 1

stage "host unit tests" ctest --preset host
[ -x tools/fuzz.sh ] && stage "fuzz targets, short run" tools/fuzz.sh --short
[ -x tools/analyse.sh ] && stage "static analysis" tools/analyse.sh
stage "Windows checks and end-to-end suites under Wine" ctest --preset win32
stage "release: signed zip and installer, installer round trip under Wine" bash tools/release-check.sh

if [ -n "$failed_stages" ]; then
    echo "FAILED stages:${failed_stages//|/$'\n'  }"
    exit 1
fi
echo "all stages passed"
