#!/usr/bin/env bash
# Builds the win32 preset twice from this tree, in two temporary folders of different
# names, and compares the results byte for byte: the program must not depend on where
# or when it was built.  The stand-in library and client are compared too.
# Exits non-zero if any file differs or a build fails.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-reproducible.XXXXXX")
trap 'rm -rf "$work"' EXIT
files="velmora-notes.exe nNOTES.dll notes-client.exe"

for dir in "$work/first" "$work/second-build-elsewhere"; do
    if ! { cmake --preset win32 -B "$dir" >/dev/null &&
           cmake --build "$dir" -j2 --target velmora-notes nnotes_standin notes-client \
               >"$work/build.log" 2>&1; }; then
        cat "$work/build.log"
        echo "reproducible.sh: the build in $dir failed"
        exit 1
    fi
done

failed=0
for f in $files; do
    if cmp "$work/first/bin/$f" "$work/second-build-elsewhere/bin/$f"; then
        echo "same bytes: $f ($(stat -c %s "$work/first/bin/$f") bytes)"
    else
        failed=1
    fi
done
[ "$failed" -eq 0 ] && echo "reproducible.sh: both builds are identical"
exit "$failed"
