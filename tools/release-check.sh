#!/usr/bin/env bash
# Checks tools/release.sh end to end, in build/release-check (or $1):
#  - a release signed with a throwaway certificate: `osslsigncode verify` on every
#    exe of the zip and on the installer, and SHA256SUMS; the zip's list names the
#    three programs; no component of the installer is marked 64-bit;
#  - an unsigned release of the same commit, in another folder: it says it is
#    unsigned, and its three exes are byte for byte the ones the signed run built
#    (the build is reproducible: no link time, no build path in a binary);
#  - the installer under Wine's msiexec, in a prefix of its own, with a lower version
#    (a third release, VELMORA_VERSION=0.9.0) to upgrade from:
#    - installed without LN_APPLI and LN_BASE, it writes neither value and its log
#      says so; the unsigned and the signed builds of one version leave one product;
#    - values written before it, one of them REG_EXPAND_SZ, keep their type and text
#      through an install, an upgrade and an uninstall run without the properties;
#    - 0.9.0 installed into the Notes client's folder with LN_APPLI and LN_BASE; the
#      upgrade, run without INSTALLDIR and the properties, keeps the folder and both
#      values and leaves one product; the installed program, signed, sends a job end
#      to end with the stand-ins (the stand-in nNOTES.dll put in that folder by hand:
#      it is never in the installer); a reinstall with REINSTALL=ALL changes LN_Base;
#      0.9.0 is refused with 1603; uninstalling removes the two programs, the values
#      and the emptied keys, and keeps the client's files and the value another
#      program left under HKLM\SOFTWARE\Zabrel\Velmora;
#  - the check zip: in SHA256SUMS, its test equipment unsigned and alike in both runs,
#    run from a fresh prefix by tools/release-check-windows.sh.
# Prints "N passed, N failed"; exits non-zero on any failure.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
work=$(realpath -m "${1:-build/release-check}")
rm -rf "$work"
mkdir -p "$work"

passed=0 failed=0
check() {   # check DESCRIPTION COMMAND...
    local what=$1; shift
    if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "check failed: $what"; fi
}
finish() { echo "$passed passed, $failed failed"; [ "$failed" -eq 0 ]; exit $?; }
release() {   # release NAME [VAR=value...]: tools/release.sh into $work/NAME-build, $work/NAME-dist
    local name=$1; shift
    env VELMORA_SIGN_PKCS12= VELMORA_SIGN_PASSWORD_FILE= VELMORA_TIMESTAMP_URL= "$@" \
        VELMORA_RELEASE_BUILD="$work/$name-build" VELMORA_DIST="$work/$name-dist" \
        bash tools/release.sh >"$work/$name.out" 2>&1
    local rc=$?
    sed "s/^/  $name: /" "$work/$name.out"
    return $rc
}

# A throwaway certificate, good for two days.
echo "check-only" >"$work/password.txt"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Velmora release check/O=Zabrel" \
    -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null &&
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.p12" \
    -passout "file:$work/password.txt" ||
    { echo "cannot make the throwaway certificate"; failed=1; finish; }

check "signed release" release signed \
    VELMORA_SIGN_PKCS12="$work/cert.p12" VELMORA_SIGN_PASSWORD_FILE="$work/password.txt"
check "unsigned release" release unsigned
check "lower version's release" release old VELMORA_VERSION=0.9.0
version=$(cat "$work/signed-build/version.txt" 2>/dev/null) || finish
zip=velmora-notes-$version-win32.zip msi=velmora-notes-$version.msi

# A raised version, as a release is cut: a copy of this tree with project(VERSION)
# raised and a section of release notes for it.
raised=$(awk -F. '{ printf "%d.%d.0", $1, $2 + 1 }' <<<"$version")
mkdir -p "$work/raised-tree"
git ls-files -z | tar --null -T - -c 2>/dev/null | tar -x -C "$work/raised-tree"
sed -i "s/^project(velmora-notes VERSION [0-9.]*/project(velmora-notes VERSION $raised/" \
    "$work/raised-tree/CMakeLists.txt"
sed -i "0,/^## /s//## $raised\n\nProductCode: <ProductCode>\n\nRaised by the release check.\n\n&/" \
    "$work/raised-tree/CHANGELOG.md"
release_raised() { (cd "$work/raised-tree" && release raised VELMORA_VERSION=); }
check "release at a raised version, $raised" release_raised

# The kit names its release: the guide, README.txt, the detection script and the
# release notes give the version, its ProductCode (RFC 4122 version 5 of the text x.y.z
# in the UpgradeCode's namespace, computed here by Python) and the doctor's --version
# line; no placeholder is left.
upgrade_code=$(sed -n 's/.*UpgradeCode="\([0-9A-F-]*\)".*/\1/p' installer/velmora-notes.wxs)
product_code() { python3 -c "import sys, uuid; print('{%s}' % str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())" "$upgrade_code" "$1"; }
kit_names_release() {   # kit_names_release DIST VERSION BUILD
    local dist=$1 v=$2 build=$3 code kit
    code=$(product_code "$v") kit=$work/kit-$v
    rm -rf "$kit" && mkdir -p "$kit" && unzip -q "$dist/velmora-notes-$v-win32.zip" -d "$kit" || return 1
    kit=$kit/velmora-notes-$v-win32
    echo "  the kit of $v: ProductCode $code; $(grep -m1 '^These notes' "$kit/CHANGELOG.md" | tr -d '\r')"
    local doctor_line
    doctor_line=$(grep -aoP "velmora-doctor $v\.0(?=\r$)" "$build/bin/velmora-doctor.exe" | head -1)
    grep -qF "msiexec /i velmora-notes-$v.msi /qn /norestart INSTALLDIR=" "$kit/docs/deploying.md" &&
    grep -qF "msiexec /x $code /qn" "$kit/docs/deploying.md" &&
    grep -qF "| Value | \`$v\` |" "$kit/docs/deploying.md" &&
    [ -n "$doctor_line" ] && grep -qF "$doctor_line" "$kit/docs/deploying.md" &&
    grep -qF "(velmora-notes-$v.msi)" "$kit/README.txt" && grep -qF "$v: $code" "$kit/README.txt" &&
    grep -qF "\$wanted = New-Object System.Version '$v'" "$kit/velmora-detect.ps1" &&
    grep -qF "The ProductCode of $v is $code;" "$kit/velmora-detect.ps1" &&
    grep -qF "These notes come with release $v (ProductCode $code)." "$kit/CHANGELOG.md" &&
    ! grep -rlE '<(version|file version|ProductCode)>' "$kit"
}
for run in signed:$version old:0.9.0 raised:$raised; do
    check "the kit of ${run#*:} names its release, its ProductCode and --version's line" \
        kit_names_release "$work/${run%%:*}-dist" "${run#*:}" "$work/${run%%:*}-build"
done
check "the notes of $raised give each release its ProductCode" bash -c \
    "grep -A2 '^## $raised' '$work/kit-$raised/velmora-notes-$raised-win32/CHANGELOG.md' | grep -qF '$(product_code "$raised")' &&
     grep -A2 '^## $version' '$work/kit-$raised/velmora-notes-$raised-win32/CHANGELOG.md' | grep -qF '$(product_code "$version")'"
# The detection script cannot run here (no PowerShell): it reads the key and the values
# the installer writes.
script_reads_package() {   # the Registry table's Version row, the script's two keys and values
    local script=$work/kit-$version/velmora-notes-$version-win32/velmora-detect.ps1
    msiinfo export "$work/signed-dist/$msi" Registry | tr -d '\r' |
        awk -F'\t' -v v="$version" '$3 == "SOFTWARE\\Zabrel\\Velmora\\Installer" && $4 == "Version" && $5 == v { found = 1 } END { exit !found }' &&
    grep -qF "'HKLM:\\SOFTWARE\\WOW6432Node\\Zabrel\\Velmora\\Installer'" "$script" &&
    grep -qF "'HKLM:\\SOFTWARE\\Zabrel\\Velmora\\Installer'" "$script" &&
    grep -qF '$record.Version' "$script" && grep -qF '$record.InstallDir' "$script"
}
check "the detection script reads the key and the values the installer writes" script_reads_package

# The signatures.
mkdir -p "$work/signed-zip"
unzip -q "$work/signed-dist/$zip" -d "$work/signed-zip" || finish
verify() {   # verify FILE
    osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$work/verify.out" 2>&1
    local rc=$?
    echo "  verify $(basename "$1"): $(grep -m1 '^Message digest algorithm' "$work/verify.out" | tr -s ' '),"\
         "$(grep -m1 '^Signature verification' "$work/verify.out")"
    [ $rc -eq 0 ] && grep -q "Message digest algorithm *: SHA256" "$work/verify.out"
}
listing=$(unzip -Z1 "$work/signed-dist/$zip")
for exe in velmora-notes.exe velmora-doctor.exe velmora-job.exe velmora-detect.ps1 CHANGELOG.md; do
    check "the zip's list of contents names $exe" grep -qx "velmora-notes-$version-win32/$exe" <<<"$listing"
done
for f in "$work"/signed-zip/*/*.exe "$work/signed-dist/$msi"; do
    check "$(basename "$f") signed with SHA-256" verify "$f"
done
check "the 0.9.0 program's version resource says 0.9.0.0" \
    grep -qaP '0\x00\.\x009\x00\.\x000\x00\.\x000\x00' "$work/old-build/bin/velmora-notes.exe"
# Attributes bit 256 would put a component's registry values in the 64-bit view.
components=$(msiinfo export "$work/signed-dist/$msi" Component | tail -n +4)
echo "  components (name, attributes, condition): $(cut -f1,4,5 <<<"$components" | tr '\t\n' ' ;')"
check "no component of the installer in the 64-bit view" \
    awk -F'\t' 'int($4 / 256) % 2 { wide = 1 } END { exit wide || NR < 5 }' <<<"$components"
check "SHA256SUMS" bash -c "cd '$work/signed-dist' && sha256sum --quiet -c SHA256SUMS"
check "the unsigned run says so" grep -q "UNSIGNED" "$work/unsigned.out"
check "an unsigned installer" bash -c "! osslsigncode verify -in '$work/unsigned-dist/$msi' >/dev/null 2>&1"

# Two runs, one program.
mkdir -p "$work/unsigned-zip"
unzip -q "$work/unsigned-dist/$zip" -d "$work/unsigned-zip"
# The two runs built in two folders of different names: what ships is the same bytes.
for exe in velmora-notes.exe velmora-doctor.exe velmora-job.exe; do
    check "two release runs, two build folders: the same unsigned $exe" \
        cmp "$work/signed-build/bin/$exe" "$work/unsigned-zip/velmora-notes-$version-win32/$exe"
done
size=$(stat -c %s "$work/signed-build/bin/velmora-notes.exe")
check "velmora-notes.exe within 16 KiB (got: $size bytes)" test "$size" -le 16384

# The check zip: listed in SHA256SUMS, its equipment unsigned and the same bytes in
# both runs, and run from a fresh prefix (tools/release-check-windows.sh).
check_zip=velmora-notes-$version-windows-check.zip
check "SHA256SUMS lists the check zip" grep -q " $check_zip\$" "$work/signed-dist/SHA256SUMS"
mkdir -p "$work/signed-check" "$work/unsigned-check"
unzip -q "$work/signed-dist/$check_zip" -d "$work/signed-check"
unzip -q "$work/unsigned-dist/$check_zip" -d "$work/unsigned-check"
check "the check zip ships the signed program" cmp "$work/signed-zip/velmora-notes-$version-win32/velmora-notes.exe" \
    "$work/signed-check/velmora-notes-$version-windows-check/velmora-notes.exe"
check "the check zip's equipment unsigned, the same bytes in both runs" bash -c "cd '$work/signed-check' &&
    for f in \$(find . -type f ! -name velmora-notes.exe ! -name velmora-doctor.exe); do
        cmp -s \"\$f\" '$work/unsigned-check/'\"\$f\" || exit 1
        case \$f in *.exe|*.dll) ! osslsigncode verify -in \"\$f\" >/dev/null 2>&1 || exit 1 ;; esac
    done"
check "the check zip under Wine, from a fresh prefix" \
    bash tools/release-check-windows.sh "$work/signed-dist/$check_zip" "$work/windows-check"

# The round trip under Wine, with the stand-ins built in the signed run's folder.
cmake --build "$work/signed-build" -j2 --target velmora-run nnotes_standin notes-client \
    >"$work/equipment.log" 2>&1 || { cat "$work/equipment.log"; failed=$((failed + 1)); finish; }
export WINEPREFIX=$work/wineprefix
. tools/wine-env.sh
ensure_wine_prefix >/dev/null
bin=$work/signed-build/bin
c=$WINEPREFIX/drive_c
notes="$c/rt/Lotus Notes"
key='HKLM\SOFTWARE\Zabrel\Velmora\Stellwick' record='HKLM\SOFTWARE\Zabrel\Velmora\Installer'
mkdir -p "$notes/Data" "$c/rt/Temp" "$c/rt/store"
cp "$bin/notes-client.exe" "$notes/"
echo "Velmora database" >"$notes/Data/Velmora.nsf"
echo "Devis A12" >"$c/rt/Devis A12.txt"
appli='C:\rt\Lotus Notes\notes-client.exe' base='C:\rt\Lotus Notes\Data\Velmora.nsf'
wine reg add 'HKLM\SOFTWARE\Zabrel\Velmora' /v Autre /d "pas au programme" /f >/dev/null

msiexec() { wine msiexec "$@"; local rc=$?; wineserver -w; return $rc; }
value() {   # value NAME: the setting's type and text, nothing when it is absent
    wine reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *\(REG_[A-Z_]*\) *\(.*\)/\1 \2/p"
}
products() {   # the versions of the installed products named "Velmora pour Lotus Notes"
    wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
        awk '/^HKEY/ { if (ours) printf "%s ", version; ours = 0; version = "" }
             /DisplayName +REG_SZ +Velmora pour Lotus Notes$/ { ours = 1 }
             /DisplayVersion +REG_SZ/ { version = $3 }
             END { if (ours) printf "%s ", version }'
}
no_key() { ! wine reg query "$1" >/dev/null 2>&1; }

# A machine without the settings: the package writes none, and says so in its log.
check "install $version (unsigned) without the properties" \
    msiexec /i "$work/unsigned-dist/$msi" /qn /l*v 'C:\rt\install.log'
check "no value written (got: $(value LN_Appli)|$(value LN_Base))" no_key "$key"
check "the log says that neither value is written" bash -c "grep -aq 'LN_APPLI_LEFT_ALONE = LN_APPLI not given' \
    '$c/rt/install.log' && grep -aq 'LN_BASE_LEFT_ALONE = LN_BASE not given' '$c/rt/install.log'"
msiexec /i "$work/signed-dist/$msi" /qn
echo "  the signed $msi over the unsigned one: exit $?, installed products: $(products)"
check "two builds of $version, one product" test "$(products)" = "$version "
check "uninstall" msiexec /x "$work/signed-dist/$msi" /qn
check "no product left" test -z "$(products)"

# Values written before the package, one of them REG_EXPAND_SZ: the package leaves
# them as they are.
wine reg add "$key" /v LN_Appli /d "$appli" /f >/dev/null
wine reg add "$key" /v LN_Base /t REG_EXPAND_SZ /d '%SystemDrive%\rt\Lotus Notes\Data\Velmora.nsf' /f >/dev/null
before="REG_SZ $appli|REG_EXPAND_SZ %SystemDrive%\rt\Lotus Notes\Data\Velmora.nsf"
for step in "/i $work/old-dist/velmora-notes-0.9.0.msi" "/i $work/signed-dist/$msi" "/x $work/signed-dist/$msi"; do
    msiexec "${step%% *}" "${step#* }" /qn
    rc=$?
    check "msiexec ${step%% *} $(basename "${step#* }") without the properties: exit 0, the values as they were" \
        test "$rc|$(value LN_Appli)|$(value LN_Base)" = "0|$before"
done
wine reg delete "$key" /f >/dev/null

# Installed into the Notes client's folder, with the settings; upgraded without them.
check "install 0.9.0 silently into the Notes client's folder" msiexec /i "$work/old-dist/velmora-notes-0.9.0.msi" \
    /qn 'INSTALLDIR=C:\rt\Lotus Notes' "LN_APPLI=$appli" "LN_BASE=$base"
check "LN_Appli from the property (got: $(value LN_Appli))" test "$(value LN_Appli)" = "REG_SZ $appli"
check "LN_Base from the property (got: $(value LN_Base))" test "$(value LN_Base)" = "REG_SZ $base"
installed_version() { wine reg query "$record" /v Version 2>/dev/null | tr -d '\r' | sed -n 's/^ *Version *REG_SZ *//p'; }
check "the version recorded for detection is 0.9.0 (got: $(installed_version))" test "$(installed_version)" = 0.9.0
check "upgrade to $version" msiexec /i "$work/signed-dist/$msi" /qn
echo "  installed products: $(products)"
check "one product, $version, after the upgrade" test "$(products)" = "$version "
check "the upgrade keeps LN_Appli and LN_Base" \
    test "$(value LN_Appli)|$(value LN_Base)" = "REG_SZ $appli|REG_SZ $base"
check "the upgrade keeps the folder: the program there, and only there" \
    test -e "$notes/velmora-notes.exe" -a ! -e "$c/Program Files/Velmora"
check "the doctor is installed" test -e "$notes/velmora-doctor.exe"
check "the version recorded for detection is $version (got: $(installed_version))" test "$(installed_version)" = "$version"
check "the installed program is the signed one" \
    cmp "$notes/velmora-notes.exe" "$work/signed-zip/velmora-notes-$version-win32/velmora-notes.exe"

cp "$bin/nNOTES.dll" "$notes/"
wine "$work/signed-zip/velmora-notes-$version-win32/velmora-job.exe" make 'C:\rt\Temp\job 1.tmp' \
    --send-to achats@example.com --subject "Devis [DOC]" --body "Bonjour" --document A12 \
    --attach 'C:\rt\Devis A12.txt' >/dev/null
printf '%s' '"C:\rt\Lotus Notes\velmora-notes.exe" C:\rt\Temp\job 1.tmp' >"$c/rt/command.txt"
run=$(NNOTES_DIR='C:\rt\store' NOTES_CLIENT_LOG='C:\rt\store\client.log' NOTES_CLIENT_LIFETIME_MS=300 \
      wine "$bin/velmora-run.exe" --from-file 'C:\rt\command.txt' | tr -d '\r')
wineserver -w
echo "  the installed program on a job: $(tr '\n' ' ' <<<"$run")"
check "no box, exit 0" test "$run" = "exit: 0"
check "the job file is gone" test ! -e "$c/rt/Temp/job 1.tmp"
check "the memo is stored" grep -qa "Subject: Devis A12" "$c/rt/store/notes/note-1.txt"
check "the client was started on the database" grep -qai 'start:.*velmora[.]nsf' "$c/rt/store/client.log"

# The line docs/deploying.md gives to change a path after the installation.
check "reinstall with REINSTALL=ALL and a new LN_BASE" msiexec /i "$work/signed-dist/$msi" /qn \
    REINSTALL=ALL REINSTALLMODE=vomus 'LN_BASE=C:\rt\Autre.nsf'
check "LN_Base changed, LN_Appli kept" \
    test "$(value LN_Appli)|$(value LN_Base)" = "REG_SZ $appli|REG_SZ C:\\rt\\Autre.nsf"
msiexec /i "$work/old-dist/velmora-notes-0.9.0.msi" /qn
rc=$?
check "0.9.0 refused over $version with 1603 (Wine's exit status keeps its low byte: got $rc)" \
    test $rc = $((1603 & 255))
check "still one product, $version" test "$(products)" = "$version "

check "uninstall" msiexec /x "$work/signed-dist/$msi" /qn
check "the two programs gone, the client's files kept" \
    test ! -e "$notes/velmora-notes.exe" -a ! -e "$notes/velmora-doctor.exe" -a -e "$notes/notes-client.exe"
check "no value left, the emptied keys gone" \
    bash -c "! wine reg query '$key' >/dev/null 2>&1 && ! wine reg query '$record' >/dev/null 2>&1"
check "the other program's value stays" bash -c \
    "wine reg query 'HKLM\\SOFTWARE\\Zabrel\\Velmora' /v Autre 2>/dev/null | grep -q 'pas au programme'"
check "no product left" test -z "$(products)"
finish
