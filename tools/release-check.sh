#!/usr/bin/env bash
# Checks tools/release.sh end to end, in build/release-check (or $1): a release signed
# with a throwaway certificate, an unsigned one of the same commit in another folder
# (its exes byte for byte the signed run's before signing: no link time, no build path
# in a binary), a lower version (0.9.0) to upgrade from and a raised one, as a release
# is cut.  Then: each kit names its release; the signatures and SHA256SUMS; the
# installer's tables, read against the Windows Installer rules that the head of
# installer/velmora-notes.wxs cites (where Wine's msiexec does not act as Windows
# Installer does); the check zip, run from a fresh prefix by
# tools/release-check-windows.sh; the installer under Wine's msiexec, in a prefix of its
# own: the refusals, installs with and without the settings, upgrades, reinstalls and
# uninstalls, the values written before it kept, and the installed program sending a
# job end to end with the stand-ins.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
work=$(realpath -m "${1:-build/release-check}")
rm -rf "$work"
mkdir -p "$work"

. tools/check-count.sh
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
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Zabrel/O=Zabrel" \
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
signed_msi=$work/signed-dist/$msi unsigned_msi=$work/unsigned-dist/$msi old_msi=$work/old-dist/velmora-notes-0.9.0.msi

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
    msiinfo export "$signed_msi" Registry | tr -d '\r' |
        awk -F'\t' -v v="$version" '$3 == "SOFTWARE\\Zabrel\\Velmora\\Installer" && $4 == "Version" && $5 == v { found = 1 } END { exit !found }' &&
    grep -qF "'HKLM:\\SOFTWARE\\WOW6432Node\\Zabrel\\Velmora\\Installer'" "$script" &&
    grep -qF "'HKLM:\\SOFTWARE\\Zabrel\\Velmora\\Installer'" "$script" &&
    grep -qF '$record.Version' "$script" && grep -qF '$record.InstallDir' "$script"
}
check "the detection script reads the key and the values the installer writes" script_reads_package

unzip -q "$work/signed-dist/$zip" -d "$work/signed-zip" || finish
shipped=$work/signed-zip/velmora-notes-$version-win32
verify() {   # verify FILE
    osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$work/verify.out" 2>&1
    local rc=$?
    echo "  verify $(basename "$1"): $(grep -m1 '^Message digest algorithm' "$work/verify.out" | tr -s ' '),"\
         "$(grep -m1 '^Signature verification' "$work/verify.out")"
    [ $rc -eq 0 ] && grep -q "Message digest algorithm *: SHA256" "$work/verify.out"
}
for f in "$work"/signed-zip/*/*.exe "$signed_msi"; do
    check "$(basename "$f") signed with SHA-256" verify "$f"
done
check "the 0.9.0 program's version resource says 0.9.0.0" \
    grep -qaP '0\x00\.\x009\x00\.\x000\x00\.\x000\x00' "$work/old-build/bin/velmora-notes.exe"

# The installer's tables.  Wine's msiexec ignores the Transitive bit and replaces no
# file of the installed version at a reinstall, whatever the mode: Windows Installer's
# pages decide, and these rows are written from them (installer/velmora-notes.wxs).
table() { msiinfo export "$signed_msi" "$1" | tail -n +4 | tr -d '\r'; }
components=$(table Component | cut -f1,4,5 | LC_ALL=C sort)
echo "  components (name, attributes, condition): $(tr '\t\n' ' ;' <<<"$components")"
# 0: the file is the key path; 4: a registry value is; 64: Transitive, the condition
# weighed again at a reinstall (false to true installs, true to false removes); no 256
# (64-bit view).  The uninstall part of a condition removes the component when the
# value is gone but the package's record says it wrote it.
expected=$(printf '%s\t%s\t%s\n' Doctor 0 '' InstallRecord 4 '' Program 0 '' \
    SettingAppli 68 'LN_APPLI OR (REMOVE~="ALL" AND WROTE_LN_APPLI)' \
    SettingBase 68 'LN_BASE OR (REMOVE~="ALL" AND WROTE_LN_BASE)' VersionRecord 4 '')
check "the Component table: each component's attributes and condition" test "$components" = "$expected"
files=$(table File | cut -f1,5 | LC_ALL=C sort)
check "the File table gives both exes the version $version.0 (got: $(tr '\t\n' ' ;' <<<"$files"))" \
    test "$files" = "$(printf '%s\t%s\n' VelmoraDoctorExe "$version.0" VelmoraNotesExe "$version.0")"
check "no MsiFileHash row (for unversioned files only)" test -z "$(table MsiFileHash)"
check "the launch condition refuses a per-user install" grep -q "^Installed OR ALLUSERS=1"$'\t' <<<"$(table LaunchCondition)"
# The paths' check: 3090 = 18 (an exe of the File table) + 1024 (deferred, in the
# script) + 2048 (no impersonation: as SYSTEM), no 64 (its exit code counts; Custom
# Action Return Values: an exe's non-zero code fails the install).  Wine runs every
# action as the one user: the table stands in.  Its Target is the command line the
# Windows log's error 1722 prints, formatted: it names the paths.
check "the check of the paths: a deferred exe of the doctor's file, as SYSTEM" grep -qxF \
    $'CheckSettings\t3090\tVelmoraDoctorExe\t--check-settings "[LN_APPLI]" "[LN_BASE]"\t' <<<"$(table CustomAction)"
order=$(table InstallExecuteSequence | awk -F'\t' '{ at[$1] = $3 }
    END { print (at["InstallFiles"] < at["CheckSettings"] && at["CheckSettings"] < at["InstallFinalize"]) }')
check "the check runs after InstallFiles and before InstallFinalize" test "$order" = 1
check "the check runs at a first install given a path, unless LN_CHECK=0 (its condition)" grep -qP \
    '^CheckSettings\t\(LN_APPLI OR LN_BASE\) AND NOT Installed AND NOT WIX_UPGRADE_DETECTED AND LN_CHECK<>"0"\t\d+$' \
    <<<"$(table InstallExecuteSequence)"
check "the summary lists the ProductLanguage, 1036" grep -qx 'Template: Intel;1036' <<<"$(msiinfo suminfo "$signed_msi" | tr -d '\r')"
check "SHA256SUMS" bash -c "cd '$work/signed-dist' && sha256sum --quiet -c SHA256SUMS"
check "the unsigned run says so" grep -q "UNSIGNED" "$work/unsigned.out"
check "an unsigned installer" bash -c "! osslsigncode verify -in '$unsigned_msi' >/dev/null 2>&1"

unzip -q "$work/unsigned-dist/$zip" -d "$work/unsigned-zip"
for exe in velmora-notes.exe velmora-doctor.exe velmora-job.exe; do
    check "two release runs, two build folders: the same unsigned $exe" \
        cmp "$work/signed-build/bin/$exe" "$work/unsigned-zip/velmora-notes-$version-win32/$exe"
done
size=$(stat -c %s "$work/signed-build/bin/velmora-notes.exe")
check "velmora-notes.exe within 16 KiB (got: $size bytes)" test "$size" -le 16384

check_zip=velmora-notes-$version-windows-check.zip
check "SHA256SUMS lists the check zip" grep -q " $check_zip\$" "$work/signed-dist/SHA256SUMS"
unzip -q "$work/signed-dist/$check_zip" -d "$work/signed-check"
unzip -q "$work/unsigned-dist/$check_zip" -d "$work/unsigned-check"
checked=$work/signed-check/velmora-notes-$version-windows-check
check "the check zip ships the signed program" cmp "$shipped/velmora-notes.exe" "$checked/velmora-notes.exe"
check "the check zip ships the signed installer" cmp "$signed_msi" "$checked/$msi"
check "the check zip's equipment unsigned, the same bytes in both runs" bash -c "cd '$work/signed-check' &&
    for f in \$(find . -type f ! -name velmora-notes.exe ! -name velmora-doctor.exe ! -name '*.msi'); do
        cmp -s \"\$f\" '$work/unsigned-check/'\"\$f\" || exit 1
        case \$f in *.exe|*.dll) ! osslsigncode verify -in \"\$f\" >/dev/null 2>&1 || exit 1 ;; esac
    done"
# The scripts, the signer, the sums and the tools' manifests.
# The signer docs/deploying.md tells administrators to allow, on every signed file; the
# release refuses another certificate, and an osslsigncode older than 2.8 (the first
# that signs PowerShell scripts), before it builds anything.
promised=$(grep -o -m1 '(`CN=[^,`]*' docs/deploying.md | tr -d '(`')
signed_by() {   # signed_by FILE: osslsigncode reads the promised signer on it
    osslsigncode verify -CAfile "$work/cert.pem" -in "$1" 2>/dev/null | grep -q "Subject: /$promised\(/\|\$\)"
}
for f in "$shipped"/*.exe "$shipped"/*.ps1 "$signed_msi"; do
    check "$(basename "$f") signed by $promised, the signer the guide names" signed_by "$f"
done
for f in "$shipped"/*.ps1; do check "$(basename "$f") signed with SHA-256" verify "$f"; done
check "the unsigned release's scripts carry no signature" bash -c \
    "! grep -l 'SIG # Begin signature block' '$work/unsigned-zip/velmora-notes-$version-win32/'*.ps1"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Someone Else/O=Zabrel" \
    -keyout "$work/other-key.pem" -out "$work/other-cert.pem" 2>/dev/null &&
openssl pkcs12 -export -inkey "$work/other-key.pem" -in "$work/other-cert.pem" -out "$work/other.p12" \
    -passout "file:$work/password.txt"
mkdir -p "$work/old-signer"
printf '#!/bin/sh\necho "osslsigncode 2.5, using:"\n' >"$work/old-signer/osslsigncode"
chmod +x "$work/old-signer/osslsigncode"
refused() {   # refused WORDS NAME VAR=value...: release.sh stops before building, saying WORDS
    local words=$1; shift
    ! release "$@" >/dev/null && grep -qF "$words" "$work/$1.out" && test ! -e "$work/$1-build"
}
check "a certificate of another subject refused" refused "not CN=Zabrel" foreign \
    VELMORA_SIGN_PKCS12="$work/other.p12" VELMORA_SIGN_PASSWORD_FILE="$work/password.txt"
check "osslsigncode 2.5 refused, naming 2.8" refused "needs osslsigncode 2.8 or later" old-signer \
    PATH="$work/old-signer:$PATH" VELMORA_SIGN_PKCS12="$work/cert.p12" VELMORA_SIGN_PASSWORD_FILE="$work/password.txt"

# A release whose notes have no section is refused by the documents' step itself.
no_notes() {
    local out
    out=$(unset VELMORA_VERSION; . tools/release-docs.sh; name_uuid() { echo 0; }
          fill_documents "$work/no-notes" 0.0.7 "$upgrade_code" 2>&1) && return 1
    grep -qF 'CHANGELOG.md has no section "## 0.0.7"' <<<"$out" && test ! -e "$work/no-notes/README.txt"
}
check "a version without its section in CHANGELOG.md gives no documents" no_notes

# SHA256SUMS lists the files the guide says it lists.
sums_as_guide() {
    local guide listed
    guide=$(tr -d '\r' <"$shipped/docs/deploying.md" | perl -00 -ne 'print if /^`SHA256SUMS` holds the SHA-256 of/' |
            grep -o '`velmora-notes-[^`]*`' | tr -d '`' | LC_ALL=C sort)
    listed=$(awk '{ print $2 }' "$work/signed-dist/SHA256SUMS" | LC_ALL=C sort)
    echo "  SHA256SUMS: $(tr '\n' ' ' <<<"$listed")"
    test -n "$listed" -a "$guide" = "$listed"
}
check "SHA256SUMS lists the files the guide names" sums_as_guide

# The scripts cannot run here (no PowerShell): their text is held to a table. Only
# Windows shows what they do: the registry view a 32-bit and a 64-bit PowerShell see,
# what WindowsInstaller.Installer answers, msiexec's codes, and any call whose result a
# script forgets to capture, which PowerShell writes to the output stream.
#   block TEXT   these lines, in this order (\n between them)
#   count N RE   exactly N lines match the Perl regex RE
#   never RE     no line matches RE
script_table() {   # script_table SCRIPT: the table on stdin holds (signature dropped; count and never skip comments)
    perl -e 'my ($file) = @ARGV; open my $in, "<", $file or die; local $/; my $text = <$in>;
        $text =~ s/\r//g; $text =~ s/\n# SIG # Begin signature block\n.*//s;
        my @lines = grep { !/^\s*#/ } split /\n/, $text;
        my $bad = 0;
        for (split /\n/, do { local $/; <STDIN> }) {
            next if /^\s*$/;
            my ($kind, $rest) = /^(\w+)\s+(.*)$/;
            my ($ok, $n, $re);
            if ($kind eq "block") { (my $b = $rest) =~ s/\\n/\n/g; $ok = index($text, $b) >= 0 }
            elsif ($kind eq "count") { ($n, $re) = $rest =~ /^(\d+)\s+(.*)$/; $ok = grep(/$re/, @lines) == $n }
            elsif ($kind eq "never") { $ok = !grep(/$rest/, @lines) }
            else { die "no rule $kind" }
            print "  $file: not held: $kind $rest\n" unless $ok; $bad++ unless $ok;
        }
        exit($bad ? 1 : 0)' "$1"
}
# Detection: the 32-bit view from either PowerShell; one line when installed, printed
# just before its exit 0; every other exit 0 alone in the braces of its test; no bare
# string (PowerShell prints it); ASCII, as PowerShell 2.0 to 5.1 read a file without a
# byte order mark in the ANSI code page.
check "the detection script's text" script_table "$shipped/velmora-detect.ps1" <<'EOF'
block if ([IntPtr]::Size -eq 8) {\n    $key = 'HKLM:\SOFTWARE\WOW6432Node\Zabrel\Velmora\Installer'\n} else {\n    $key = 'HKLM:\SOFTWARE\Zabrel\Velmora\Installer'\n}
count 1 Write-Output|Write-Host|Write-Information|Out-Host|Out-Default|\[Console\]::(Out|Write)|^\s*(echo|print)\b
block         $exe, $info.FileMajorPart, $info.FileMinorPart, $info.FileBuildPart, $info.FilePrivatePart)\n    exit 0\n} catch {
count 1 ^    exit 0$
never ^(?!.*\) \{ exit 0 \}$)(?!    exit 0$).*\bexit 0\b
never \bexit (?![01]\b)
never ^\s*['"(]
never [^\x00-\x7F]
EOF
# Removal: every related product of the package's UpgradeCode, from msiexec in the
# system folder with /qn /norestart; 0 and 1605 removed, 3010 and 1641 a restart to
# come, otherwise the first failure's code; never Win32_Product, whose query makes
# Windows Installer check (and repair) every installed product:
#   https://learn.microsoft.com/previous-versions/windows/desktop/legacy/aa394378(v=vs.85)
check "the removal script's text" script_table "$shipped/velmora-remove.ps1" <<EOF
block \$upgradeCode = '{$upgrade_code}'
block \$msiexec = Join-Path ([Environment]::GetFolderPath('System')) 'msiexec.exe'
block InvokeMember('RelatedProducts', 'GetProperty', \$null, \$installer, @(\$upgradeCode))
block [System.Diagnostics.Process]::Start(\$msiexec, "/x \$code /qn /norestart")
block     if (\$result -eq 3010 -or \$result -eq 1641) { \$restart = \$true }\n    elseif (\$result -ne 0 -and \$result -ne 1605 -and \$failed -eq 0) { \$failed = \$result }
block if (\$failed -ne 0) { exit \$failed }\nif (\$restart) { exit 3010 }\nexit 0
count 1 Process\]::Start|Start-Process|Invoke-Expression|\biex\b|&\s*\S*msiexec|\bcmd(\.exe)? /c
never Win32_Product|Restart-Computer|shutdown|REBOOT=
never ^\s*['"(]
never [^\x00-\x7F]
EOF

# Every tool carries the manifest tools/manifest/tool.rc embeds; the program carries
# none.  Without requestedExecutionLevel, Windows applies installer detection and UAC
# virtualisation to a 32-bit exe ("How User Account Control works", Installer detection
# and Virtualization); the supportedOS Ids of Windows Vista, 7, 8, 8.1 and 10/11
# ("Application manifests", supportedOS):
#   https://learn.microsoft.com/windows/security/application-security/application-control/user-account-control/how-it-works
#   https://learn.microsoft.com/windows/win32/sbscs/application-manifests
supported_os='{e2011457-1546-43c5-a5fe-008deee3d3f0} {35138b9a-5d96-4fbd-8e2d-a2440225f93a} {4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38} {1f676c76-80e1-4239-95bb-83d0f6d0da78} {8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a} '
manifest_of() {   # manifest_of EXE: its manifest resource (type 24, id 1) as stored
    local exe=$1 rva size base vma offset
    read -r rva size < <(i686-w64-mingw32-objdump -p "$exe" | awk '
        /^[0-9a-f]+   Entry: ID:/ { type = $4 } /^[0-9a-f]+     Entry: ID:/ { id = $4 }
        { sub(",", "", type); sub(",", "", id) }
        /Leaf: Addr:/ && type == "0x000018" && id == "0x000001" { sub(",", "", $4); sub(",", "", $6); print $4, $6 }')
    [ -n "${rva:-}" ] || return 1
    base=$(i686-w64-mingw32-objdump -p "$exe" | awk '$1 == "ImageBase" { print $2 }')
    read -r vma offset < <(i686-w64-mingw32-objdump -h "$exe" | awk '$2 == ".rsrc" { print $4, $6 }')
    tail -c +$((0x$offset + rva - (0x$vma - 0x$base) + 1)) "$exe" | head -c $((size))
}
tool_manifest() {   # tool_manifest EXE: asInvoker, the five supportedOS, no other element
    local text
    text=$(manifest_of "$1") || return 1
    grep -qF '<requestedExecutionLevel level="asInvoker" uiAccess="false"/>' <<<"$text" &&
    test "$(grep -o 'supportedOS Id="{[^}]*}"' <<<"$text" | sed 's/.*Id="//; s/"$//' | tr '\n' ' ')" = "$supported_os" &&
    test "$(grep -o '<[a-zA-Z]\+' <<<"$text" | LC_ALL=C sort -u | tr '\n' ' ')" = \
        "<application <assembly <compatibility <requestedExecutionLevel <requestedPrivileges <security <supportedOS <trustInfo "
}
unzip -q "$work/signed-dist/velmora-notes-$version-windows-check.zip" -d "$work/manifests"
for f in "$shipped/velmora-doctor.exe" "$shipped/velmora-job.exe" "$work"/manifests/*/*.exe; do
    case ${f##*/} in velmora-notes.exe | notes-client.exe) continue ;; esac
    check "${f##*/}'s manifest: asInvoker, Windows Vista to 10/11, nothing else" tool_manifest "$f"
done
program_types=$(i686-w64-mingw32-objdump -p "$shipped/velmora-notes.exe" |
    sed -n 's/^[0-9a-f]*   Entry: ID: \(0x[0-9a-f]*\),.*/\1/p' | tr '\n' ' ')
check "velmora-notes.exe carries a string table and a version, no manifest (got: $program_types)" \
    test "$program_types" = "0x000006 0x000010 "

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

msiexec() {   # msiexec ARGS...: sets $code to msiexec's exit code, true when it is 0
    # cmd prints the whole code (a Linux shell sees its low byte only); delayed
    # expansion reads it after msiexec has run, so no argument may hold a '!'.
    code=$(wine cmd /v:on /c msiexec "$@" '&' echo '!ERRORLEVEL!' | tr -d '\r' | tail -n 1)
    wineserver -w
    [ "$code" = 0 ]
}
value() {   # value NAME [KEY]: the value's type and text (in the settings' key), nothing when absent
    wine reg query "${2:-$key}" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *\(REG_[A-Z_]*\) *\(.*\)/\1 \2/p"
}
products() {   # the versions of the installed products named "Velmora pour Lotus Notes"
    wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
        awk '/^HKEY/ { if (ours) printf "%s ", version; ours = 0; version = "" }
             /DisplayName +REG_SZ +Velmora pour Lotus Notes$/ { ours = 1 }
             /DisplayVersion +REG_SZ/ { version = $3 }
             END { if (ours) printf "%s ", version }'
}
no_key() { ! wine reg query "$1" >/dev/null 2>&1; }
settings() { echo "$(value LN_Appli)|$(value LN_Base)"; }

msiexec /i "$unsigned_msi" /qn ALLUSERS=
check "a per-user install (ALLUSERS=\"\") refused with 1603 (got: $code)" test "$code" = 1603
check "nothing installed by the refused per-user install" test -z "$(products)" -a ! -e "$c/Program Files/Velmora"

# A first install given a path that names nothing: the installed doctor's check fails
# it, and it leaves nothing.  Windows Installer gives 1603 for a failed action (Error
# Codes, ERROR_INSTALL_FAILURE); Wine's msiexec gives 1627, ERROR_FUNCTION_FAILED.
msiexec /i "$unsigned_msi" /qn "LN_APPLI=$appli" 'LN_BASE=C:\rt\Absent.nsf'
check "a first install given a LN_BASE naming nothing refused (1603; 1627 under Wine; got: $code)" \
    test "$code" = 1603 -o "$code" = 1627
check "nothing left by the refused install" test -z "$(products)" -a ! -e "$c/Program Files/Velmora"
check "no settings left by the refused install" no_key "$key"
check "no record left by the refused install" no_key "$record"

check "install $version (unsigned) without the properties" msiexec /i "$unsigned_msi" /qn /l*v 'C:\rt\install.log'
check "no value written (got: $(settings))" no_key "$key"
check "the log says that neither value is written" bash -c "grep -aq 'LN_APPLI_LEFT_ALONE = LN_APPLI not given' \
    '$c/rt/install.log' && grep -aq 'LN_BASE_LEFT_ALONE = LN_BASE not given' '$c/rt/install.log'"
msiexec /i "$signed_msi" /qn
echo "  the signed $msi over the unsigned one: exit $code, installed products: $(products)"
check "two builds of $version, one product" test "$(products)" = "$version "
# The exe is versioned, so REINSTALLMODE o leaves the installed one of the same version
# (e or a replace it on Windows; Wine's msiexec replaces none at a reinstall).
msiexec /i "$signed_msi" /qn REINSTALL=ALL REINSTALLMODE=vomus
check "the other build reinstalled with REINSTALLMODE o: exit 0 (got: $code), the installed exe kept" bash -c \
    "test $code = 0 && cmp '$c/Program Files/Velmora/velmora-notes.exe' '$work/unsigned-build/bin/velmora-notes.exe'"
check "uninstall given ALLUSERS=\"\" (an installed product passes the launch condition)" msiexec /x "$signed_msi" /qn ALLUSERS=
check "no product left" test -z "$(products)"

wine reg add "$key" /v LN_Appli /d "$appli" /f >/dev/null
wine reg add "$key" /v LN_Base /t REG_EXPAND_SZ /d '%SystemDrive%\rt\Lotus Notes\Data\Velmora.nsf' /f >/dev/null
before="REG_SZ $appli|REG_EXPAND_SZ %SystemDrive%\rt\Lotus Notes\Data\Velmora.nsf"
for step in "/i|$old_msi" "/i|$signed_msi" "/i|$signed_msi|REINSTALL=ALL|REINSTALLMODE=vomus" "/x|$signed_msi"; do
    IFS='|' read -ra args <<<"$step"
    msiexec "${args[@]}" /qn
    check "msiexec ${args[0]} $(basename "${args[1]}") ${args[*]:2} without the properties: exit 0, the values as they were" \
        test "$code|$(settings)" = "0|$before"
done
wine reg delete "$key" /f >/dev/null

# LN_CHECK=0, for a task sequence that installs the Notes client afterwards: the path
# that names nothing is written.  An upgrade given one is not checked.
check "LN_CHECK=0: 0.9.0 installs given a LN_BASE naming nothing" msiexec /i "$old_msi" /qn LN_CHECK=0 'LN_BASE=C:\rt\Absent.nsf'
check "LN_Base written as given (got: $(value LN_Base))" test "$(value LN_Base)" = 'REG_SZ C:\rt\Absent.nsf'
check "an upgrade to $version given a LN_BASE naming nothing is not checked" msiexec /i "$signed_msi" /qn 'LN_BASE=C:\rt\Autre.nsf'
msiexec /x "$signed_msi" /qn
check "uninstalled (exit $code): no product, no value left" test "$code|$(products)|$(value LN_Base)" = "0||"

# Installed into the Notes client's folder, with the settings; upgraded without them.
check "install 0.9.0 silently into the Notes client's folder" msiexec /i "$old_msi" \
    /qn 'INSTALLDIR=C:\rt\Lotus Notes' "LN_APPLI=$appli" "LN_BASE=$base"
check "LN_Appli from the property (got: $(value LN_Appli))" test "$(value LN_Appli)" = "REG_SZ $appli"
check "LN_Base from the property (got: $(value LN_Base))" test "$(value LN_Base)" = "REG_SZ $base"
installed_version() { wine reg query "$record" /v Version 2>/dev/null | tr -d '\r' | sed -n 's/^ *Version *REG_SZ *//p'; }
check "the version recorded for detection is 0.9.0 (got: $(installed_version))" test "$(installed_version)" = 0.9.0
# LN_Base deleted: the upgrade puts back what the package wrote.
wine reg delete "$key" /v LN_Base /f >/dev/null
check "upgrade to $version" msiexec /i "$signed_msi" /qn
echo "  installed products: $(products)"
check "one product, $version, after the upgrade" test "$(products)" = "$version "
check "the upgrade keeps LN_Appli and puts back the deleted LN_Base (got: $(settings))" \
    test "$(settings)" = "REG_SZ $appli|REG_SZ $base"
check "the upgrade keeps the folder: the program there, and only there" \
    test -e "$notes/velmora-notes.exe" -a ! -e "$c/Program Files/Velmora"
check "the doctor is installed" test -e "$notes/velmora-doctor.exe"
check "the version recorded for detection is $version (got: $(installed_version))" test "$(installed_version)" = "$version"
check "the installed program is the signed one" cmp "$notes/velmora-notes.exe" "$shipped/velmora-notes.exe"

cp "$bin/nNOTES.dll" "$notes/"
wine "$shipped/velmora-job.exe" make 'C:\rt\Temp\job 1.tmp' \
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
check "reinstall with REINSTALL=ALL and a new LN_BASE (naming nothing: a reinstall is not checked)" msiexec /i "$signed_msi" /qn \
    REINSTALL=ALL REINSTALLMODE=vomus 'LN_BASE=C:\rt\Autre.nsf'
check "LN_Base changed, LN_Appli kept" test "$(settings)" = "REG_SZ $appli|REG_SZ C:\\rt\\Autre.nsf"
# Message 7's advice: LN_Appli corrected by hand, LN_Base deleted, a reinstall without
# the properties keeps the correction and puts back LN_Base as the package wrote it
# last, and remembers the correction.
corrected='C:\rt\Lotus Notes\Notes corrige.exe'
wine reg add "$key" /v LN_Appli /d "$corrected" /f >/dev/null
wine reg delete "$key" /v LN_Base /f >/dev/null
check "reinstall with REINSTALL=ALL, without the properties" msiexec /i "$signed_msi" /qn REINSTALL=ALL REINSTALLMODE=vomus
check "LN_Appli as corrected, LN_Base put back (got: $(settings))" test "$(settings)" = "REG_SZ $corrected|REG_SZ C:\\rt\\Autre.nsf"
check "the package remembers the correction (got: $(value LN_Appli "$record"))" \
    test "$(value LN_Appli "$record")" = "REG_SZ $corrected"

msiexec /i "$old_msi" /qn
check "0.9.0 refused over $version with 1603 (got: $code)" test "$code" = 1603
check "still one product, $version" test "$(products)" = "$version "

# LN_Base deleted: the uninstall still takes away what the package wrote of it.
wine reg delete "$key" /v LN_Base /f >/dev/null
check "uninstall, LN_Base deleted before" msiexec /x "$signed_msi" /qn
check "the two programs gone, the client's files kept" \
    test ! -e "$notes/velmora-notes.exe" -a ! -e "$notes/velmora-doctor.exe" -a -e "$notes/notes-client.exe"
check "no value left, the package's record and the emptied keys gone" \
    bash -c "! wine reg query '$key' >/dev/null 2>&1 && ! wine reg query '$record' >/dev/null 2>&1"
check "the other program's value stays" bash -c \
    "wine reg query 'HKLM\\SOFTWARE\\Zabrel\\Velmora' /v Autre 2>/dev/null | grep -q 'pas au programme'"
check "no product left" test -z "$(products)"
finish
