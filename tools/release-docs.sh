# Sourced by tools/release.sh (and the release check): the documents of the zip, filled
# in for the release, as RELEASING.md lists them with their placeholders.
#
#   fill_documents STAGE VERSION UPGRADE_CODE
#
# Each goes into STAGE with Windows line ends; in the release notes, CHANGELOG.md, each
# version's section gets its own ProductCode.  A version without a section in
# CHANGELOG.md gives no release, unless VELMORA_VERSION asked for a version of test.
# Uses name_uuid, tools/release.sh's ProductCode rule.
fill_documents() {
    local stage=$1 version=$2 upgrade_code=$3 v notes
    local pattern='^## \([0-9][0-9]*\.[0-9][0-9]*\.[0-9][0-9]*\)\( .*\)*$'
    if ! sed -n "s/$pattern/\1/p" CHANGELOG.md | grep -qxF "$version"; then
        if [ -z "${VELMORA_VERSION:-}" ]; then
            echo "release: CHANGELOG.md has no section \"## $version\": write the release" \
                 "notes first" >&2
            return 1
        fi
        echo "release: CHANGELOG.md has no section for $version (a version of test)"
    fi
    fill() {   # fill FROM TO [VERSION]: the placeholders of VERSION, CRLF line ends
        local at=${3:-$version}
        sed -e "s/<version>/$at/g" -e "s/<file version>/$at.0/g" \
            -e "s/<ProductCode>/{$(name_uuid "$upgrade_code" "$at")}/g" -e "s/<UpgradeCode>/{$upgrade_code}/g" \
            -e 's/\r*$/\r/' "$1" >"$2"
    }
    mkdir -p "$stage/docs/pictures"
    fill installer/README.txt "$stage/README.txt"
    for script in velmora-detect.ps1 velmora-remove.ps1; do fill "installer/$script" "$stage/$script"; done
    for doc in deploying.md deploying-appendix.md doctor.md messages.md job-format.md windows-check.md; do fill "docs/$doc" "$stage/docs/$doc"; done
    cp docs/pictures/*.png "$stage/docs/pictures/"
    # Each section of the notes with its version's ProductCode, the rest with this one's.
    notes=$(cat CHANGELOG.md)
    for v in $(sed -n "s/$pattern/\1/p" CHANGELOG.md); do
        notes=$(sed "/^## ${v//./\\.}\( \|$\)/,/^## /s/<ProductCode>/{$(name_uuid "$upgrade_code" "$v")}/g" <<<"$notes")
    done
    printf '%s\n' "$notes" >"$stage/CHANGELOG.md.in"
    fill "$stage/CHANGELOG.md.in" "$stage/CHANGELOG.md"
    rm "$stage/CHANGELOG.md.in"
}
