# Sourced by tools/release.sh (and the release check): the ProductCode rule, and the
# documents of the zip filled in for the release, as RELEASING.md lists them with their
# placeholders.
#
#   name_uuid NAMESPACE NAME: the name-based UUID (SHA-1, version 5) of RFC 4122
#   fill_documents STAGE VERSION UPGRADE_CODE
#
# Each goes into STAGE with Windows line ends; in the release notes, CHANGELOG.md, each
# version's section gets its own ProductCode.  A version without a section in
# CHANGELOG.md gives no release, unless VELMORA_VERSION asked for a version of test.
name_uuid() {
    local hex
    hex=$({ printf '%b' "$(sed 's/-//g; s/../\\x&/g' <<<"$1")"; printf %s "$2"; } | sha1sum | cut -c1-32)
    hex=${hex:0:12}5${hex:13:3}$(printf %x $(( (0x${hex:16:1} & 3) | 8 )))${hex:17}
    echo "${hex:0:8}-${hex:8:4}-${hex:12:4}-${hex:16:4}-${hex:20}" | tr a-f A-F
}

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
