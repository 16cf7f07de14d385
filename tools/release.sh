#!/usr/bin/env bash
# Cuts a release from this checkout: builds the win32 preset from scratch in a folder
# of its own and writes, in dist/, the release's zip, its installer, its check zip and
# SHA256SUMS.  What each holds, how the files are signed (VELMORA_SIGN_PKCS12,
# VELMORA_SIGN_PASSWORD_FILE, VELMORA_TIMESTAMP_URL) and the other variables read:
# RELEASING.md.  The installer's ProductCode is a name-based UUID of the version in the
# UpgradeCode's namespace, so that two builds of one version are one product.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

build=${VELMORA_RELEASE_BUILD:-build/release}
dist=$(realpath -m "${VELMORA_DIST:-dist}")
pkcs12=${VELMORA_SIGN_PKCS12:-}
password_file=${VELMORA_SIGN_PASSWORD_FILE:-}
timestamp_url=${VELMORA_TIMESTAMP_URL:-}

for tool in cmake ninja i686-w64-mingw32-g++ wixl msibuild msiinfo osslsigncode zip sha256sum; do
    command -v "$tool" >/dev/null || { bash tools/bootstrap.sh; break; }
done

if [ -n "$pkcs12" ] || [ -n "$password_file" ]; then
    if [ -z "$pkcs12" ] || [ -z "$password_file" ]; then
        echo "release: VELMORA_SIGN_PKCS12 and VELMORA_SIGN_PASSWORD_FILE go together" >&2
        exit 2
    fi
    for f in "$pkcs12" "$password_file"; do
        [ -r "$f" ] || { echo "release: cannot read $f" >&2; exit 2; }
    done
    # Absolute, since the signing runs in the staging folder.
    pkcs12=$(realpath "$pkcs12") password_file=$(realpath "$password_file")
    signer_version=$(osslsigncode --version 2>/dev/null | sed -n '1s/^osslsigncode \([0-9]*\)\.\([0-9]*\).*/\1 \2/p')
    read -r major minor <<<"${signer_version:-0 0}"
    if [ "$major" -lt 2 ] || { [ "$major" -eq 2 ] && [ "$minor" -lt 8 ]; }; then
        echo "release: osslsigncode ${major}.${minor} cannot sign the PowerShell scripts" \
             "(velmora-detect.ps1, velmora-remove.ps1): signing needs osslsigncode 2.8 or later;" \
             "nothing built" >&2
        exit 2
    fi
    subject=$(openssl pkcs12 -in "$pkcs12" -passin "file:$password_file" -nokeys -clcerts 2>/dev/null |
              openssl x509 -noout -subject -nameopt RFC2253 2>/dev/null)
    case ",${subject#subject=}," in
        *,CN=Zabrel,*) ;;
        *) echo "release: the certificate's subject is \"${subject#subject=}\", not CN=Zabrel," \
                "the signer docs/deploying.md names; nothing built" >&2
           exit 2 ;;
    esac
fi

echo "release: building in $build"
[ "${VELMORA_RELEASE_KEEP_BUILD:-}" = 1 ] || rm -rf "$build"
rm -rf "$build/stage" "$build/setup"
mkdir -p "$(dirname "$build")"
cmake --preset win32 -B "$build" ${VELMORA_VERSION:+-DVELMORA_VERSION=$VELMORA_VERSION} \
    >"$build.log" 2>&1 || { cat "$build.log"; exit 1; }
version=$(cat "$build/version.txt")
if ! ninja -C "$build" -t targets all | grep -q '^velmora-doctor: '; then
    echo "release: velmora-doctor is not in this tree (tools/velmora-doctor): a release" \
         "ships it, in the zip and in the installer; nothing built" >&2
    exit 1
fi
# The check zip's runner, suites and stand-ins too: check-zip.txt, "target<TAB>file<TAB>
# place" a line, written by the configure step from the list of suites.
cmake --build "$build" -j2 --target velmora-notes velmora-doctor velmora-job velmora-setup-check \
    $(cut -f1 "$build/check-zip.txt") >>"$build.log" 2>&1 || { cat "$build.log"; exit 1; }
rm -f "$build.log"
exes="velmora-notes.exe velmora-doctor.exe velmora-job.exe"

# The files as they ship, in the staging folder; the build's own stay unsigned.
name=velmora-notes-$version-win32
stage=$build/stage/$name
mkdir -p "$stage/docs/pictures"
for exe in $exes; do cp "$build/bin/$exe" "$stage/"; done

sign() {   # sign FILE: Authenticode, SHA-256, in place
    local args=(sign -pkcs12 "$pkcs12" -readpass "$password_file" -h sha256
                -n "Velmora pour Lotus Notes" -in "$1" -out "$1.signed")
    [ -n "$timestamp_url" ] && args+=(-ts "$timestamp_url")
    osslsigncode "${args[@]}" >/dev/null || { echo "release: signing $1 failed" >&2; exit 1; }
    mv "$1.signed" "$1"
}
# The installer's actions go into its Binary table, not into the zip.
setup_check=$build/setup/velmora-setup-check.dll
mkdir -p "$build/setup"
cp "$build/bin/installer/velmora-setup-check.dll" "$setup_check"
if [ -n "$pkcs12" ]; then
    for exe in $exes; do sign "$stage/$exe"; done
    sign "$setup_check"
fi

# The ProductCode rule (name_uuid) and the documents (fill_documents).
. tools/release-docs.sh

# The installer takes the staged (signed) program and doctor.
mkdir -p "$dist"
rm -f "$dist"/velmora-notes-*.zip "$dist"/velmora-notes-*.msi "$dist/SHA256SUMS"
msi=$dist/velmora-notes-$version.msi
wxs=$root/installer/velmora-notes.wxs
upgrade_code=$(sed -n 's/.*UpgradeCode="\([0-9A-F-]*\)".*/\1/p' "$wxs")
# wixl takes sources relative to the folder it runs in (the staging folder).
(cd "$stage" && wixl -a x86 -D Version="$version" -D ProductCode="$(name_uuid "$upgrade_code" "$version")" \
    -D BinDir=. -D SetupCheckDll=../../setup/velmora-setup-check.dll -o "$msi" "$wxs")
# What wixl cannot write (the head of the .wxs says why each is needed):
# - each setting's component: its condition, and the Transitive bit (64);
# - each exe's version in the File table, from its version resource, and no
#   MsiFileHash row for it (a hash is for unversioned files only);
# - the summary's language list: the ProductLanguage, 1036, where wixl writes 1033.
for setting in Appli:LN_APPLI Base:LN_BASE; do
    component=Setting${setting%:*} property=${setting#*:}
    attributes=$(msiinfo export "$msi" Component | awk -F'\t' -v c="$component" '$1 == c { print $4 }')
    [ -n "$attributes" ] || { echo "release: the installer has no component $component" >&2; exit 1; }
    msibuild "$msi" -q "UPDATE \`Component\` SET \`Attributes\` = $((attributes | 64)),
        \`Condition\` = '$property OR (REMOVE~=\"ALL\" AND WROTE_$property)'
        WHERE \`Component\` = '$component'"
done
file_version() {   # file_version EXE: a.b.c.d, of the VS_FIXEDFILEINFO after the key VS_VERSION_INFO
    perl -0777 -ne 'my $key = index($_, join("\0", split(//, "VS_VERSION_INFO")) . "\0\0\0");
        exit 1 if $key < 0;
        my $at = index($_, pack("V", 0xFEEF04BD), $key); exit 1 if $at < 0;
        my ($ms, $ls) = unpack("V V", substr($_, $at + 8, 8));
        printf "%d.%d.%d.%d\n", $ms >> 16, $ms & 0xFFFF, $ls >> 16, $ls & 0xFFFF' "$1"
}
for file in VelmoraNotesExe:velmora-notes.exe VelmoraDoctorExe:velmora-doctor.exe; do
    id=${file%%:*}
    file_version=$(file_version "$stage/${file#*:}") && [ -n "$file_version" ] ||
        { echo "release: ${file#*:} has no version resource" >&2; exit 1; }
    msibuild "$msi" -q "UPDATE \`File\` SET \`Version\` = '$file_version' WHERE \`File\` = '$id'" \
        -q "DELETE FROM \`MsiFileHash\` WHERE \`File_\` = '$id'"
done
summary=$(msiinfo suminfo "$msi")
field() { sed -n "s/^$1: //p" <<<"$summary"; }
template=$(field Template)
msibuild "$msi" -s "$(field Subject)" "$(field Author)" "${template%%;*};1036" "$(field 'Revision number (UUID)')"
[ -n "$pkcs12" ] && sign "$msi"

# The zip: the documents filled in for this release, with Windows line ends.
fill_documents "$stage" "$version" "$upgrade_code" || exit 1
scripts="velmora-detect.ps1 velmora-remove.ps1"
if [ -n "$pkcs12" ]; then
    for script in $scripts; do sign "$stage/$script"; done
fi
# Every date the last commit's and the files sorted, so that two unsigned releases of
# one commit give the same zips.
when=$(git log -1 --format=%ct 2>/dev/null || echo 946684800)
pack() {   # pack NAME: $build/stage/NAME into $dist/NAME.zip
    find "$build/stage/$1" -exec touch -h -d "@$when" {} +
    (cd "$build/stage" && find "$1" -type f | LC_ALL=C sort | TZ=UTC zip -X -D -q "$dist/$1.zip" -@)
}
pack "$name"

# The check zip, for an administrator to prove the release on a test machine
# (docs/windows-check.md): the program, the doctor and the installer as they ship, and
# the equipment, which is never signed with the release's certificate (a signer that
# administrators allow must not vouch for test equipment).
check_zip=velmora-notes-$version-windows-check
checked=$build/stage/$check_zip
mkdir -p "$checked"
cp "$stage/velmora-notes.exe" "$stage/velmora-doctor.exe" "$msi" "$checked/"
while IFS=$'\t' read -r _ file place; do
    mkdir -p "$checked/$(dirname "$place")"
    cp "$file" "$checked/$place"
done <"$build/check-zip.txt"
sed 's/\r*$/\r/' tools/check/check.cmd >"$checked/check.cmd"
cp "$stage/docs/windows-check.md" "$checked/"
pack "$check_zip"

(cd "$dist" && sha256sum "$name.zip" "$check_zip.zip" "velmora-notes-$version.msi" >SHA256SUMS)

echo "release: version $version"
if [ -n "$pkcs12" ]; then
    echo "release: signed ($exes, the installer's velmora-setup-check.dll, $scripts, the installer)${timestamp_url:+, timestamped by $timestamp_url}"
else
    echo "release: UNSIGNED: no certificate given (VELMORA_SIGN_PKCS12, VELMORA_SIGN_PASSWORD_FILE)"
fi
ls -l "$dist" | sed 1d | sed 's/^/  /'
