#!/usr/bin/env bash
# Writes the check zip of a release, velmora-notes-<version>-windows-check.zip: the
# release's program, doctor and installer package as they ship (signed when the
# release is), the suites, the stand-ins, the check runner and check.cmd, for an administrator to prove the
# release on a test machine (docs/windows-check.md).  The suites and the stand-ins are
# never signed with the release's certificate: a signer that an administrator
# allow-lists must not vouch for test equipment.  Every date is WHEN, the files sorted,
# so that two runs on one commit give the same zip.  Prints the zip's name.
#   check-zip.sh BUILD STAGED DIST VERSION WHEN
#     BUILD   the release's build folder (the equipment is built there)
#     STAGED  the folder holding the shipped velmora-notes.exe and velmora-doctor.exe, and
#             docs/windows-check.md as tools/release-docs.sh filled it in for the release
#     DIST    where the zip goes, already holding the release's velmora-notes-VERSION.msi
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1 staged=$2 dist=$3 version=$4 when=$5

# The runner, the suites and the stand-ins: the build's list (check-zip.txt, "target<TAB>
# file<TAB>place" a line, written from the list of suites).
manifest=$build/check-zip.txt
cmake --build "$build" -j2 --target $(cut -f1 "$manifest") >"$build/check-zip.log" 2>&1 ||
    { cat "$build/check-zip.log" >&2; exit 1; }
rm -f "$build/check-zip.log"

name=velmora-notes-$version-windows-check
stage=$build/stage/$name
rm -rf "$stage"
mkdir -p "$stage"
cp "$staged/velmora-notes.exe" "$staged/velmora-doctor.exe" "$dist/velmora-notes-$version.msi" "$stage/"
while IFS=$'\t' read -r _ file place; do
    mkdir -p "$stage/$(dirname "$place")"
    cp "$file" "$stage/$place"
done <"$manifest"
sed 's/\r*$/\r/' "$root/tools/check/check.cmd" >"$stage/check.cmd"
cp "$staged/docs/windows-check.md" "$stage/windows-check.md"
find "$stage" -exec touch -h -d "@$when" {} +
zip=$(realpath "$dist")/$name.zip
rm -f "$zip"
(cd "$build/stage" && find "$name" -type f | LC_ALL=C sort | TZ=UTC zip -X -D -q "$zip" -@)
echo "$name.zip"
