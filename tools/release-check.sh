#!/usr/bin/env bash
# Checks tools/release.sh end to end, in build/release-check (or $1): an unsigned
# release built from scratch, its exes and the check zip's equipment byte for byte
# build/win32's (no link time, no build path in a binary); that build signed with a
# throwaway certificate; the kit's texts for this version and, through the fill step,
# two others; the signatures, SHA256SUMS, the installer's tables (read against the
# Windows Installer rules the head of installer/velmora-notes.wxs cites, where Wine's
# msiexec differs) and the scripts' text; then the check zip under Wine
# (tools/release-check-windows.sh), which runs the installer's suite.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
work=$(realpath -m "${1:-build/release-check}")
rm -rf "$work"
mkdir -p "$work"

. tools/check-count.sh
release() {   # release NAME [VAR=value...]: tools/release.sh into $work/NAME-build, $work/NAME-dist
    local name=$1; shift
    env VELMORA_SIGN_PKCS12= VELMORA_SIGN_PASSWORD_FILE= VELMORA_TIMESTAMP_URL= \
        VELMORA_RELEASE_BUILD="$work/$name-build" VELMORA_DIST="$work/$name-dist" "$@" \
        bash tools/release.sh >"$work/$name.out" 2>&1
    local rc=$?
    sed "s/^/  $name: /" "$work/$name.out"
    return $rc
}

# Throwaway certificates, good for two days.
echo "check-only" >"$work/password.txt"
certificate() {   # certificate NAME SUBJECT: $work/NAME.pem, NAME-key.pem and NAME.p12
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "$2" \
        -keyout "$work/$1-key.pem" -out "$work/$1.pem" 2>/dev/null &&
    openssl pkcs12 -export -inkey "$work/$1-key.pem" -in "$work/$1.pem" -out "$work/$1.p12" \
        -passout "file:$work/password.txt"
}
certificate cert "/CN=Zabrel/O=Zabrel" || { echo "cannot make the throwaway certificate"; failed=1; finish; }

# build/win32, the other folder the release's bytes are compared with (test.sh built it,
# and runs its suites meanwhile: configured again only when it is not there).
{ [ -f build/win32/build.ninja ] || cmake --preset win32 >/dev/null; } &&
    cmake --build --preset win32 >"$work/win32.log" 2>&1 ||
    { cat "$work/win32.log"; echo "cannot build build/win32"; failed=1; finish; }
other=$root/build/win32
build=$work/unsigned-build
check "unsigned release" release unsigned
check "signed release, of the same build" release signed VELMORA_RELEASE_BUILD="$build" \
    VELMORA_RELEASE_KEEP_BUILD=1 VELMORA_SIGN_PKCS12="$work/cert.p12" VELMORA_SIGN_PASSWORD_FILE="$work/password.txt"
version=$(cat "$build/version.txt" 2>/dev/null) || finish
zip=velmora-notes-$version-win32.zip msi=velmora-notes-$version.msi
signed_msi=$work/signed-dist/$msi unsigned_msi=$work/unsigned-dist/$msi

# The kit names its release: the guide, README.txt, the detection script and the
# release notes give the version, its ProductCode (RFC 4122 version 5 of the text x.y.z
# in the UpgradeCode's namespace, computed here by Python) and the doctor's --version
# line; no placeholder is left.
upgrade_code=$(sed -n 's/.*UpgradeCode="\([0-9A-F-]*\)".*/\1/p' installer/velmora-notes.wxs)
product_code() { python3 -c "import sys, uuid; print('{%s}' % str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())" "$upgrade_code" "$1"; }
kit_names_release() {   # kit_names_release KIT VERSION: the kit's texts name VERSION
    local kit=$1 v=$2 code
    code=$(product_code "$v")
    echo "  the kit of $v: ProductCode $code; $(grep -m1 '^These notes' "$kit/CHANGELOG.md" | tr -d '\r')"
    grep -qF "msiexec /i velmora-notes-$v.msi /qn /norestart INSTALLDIR=" "$kit/docs/deploying.md" &&
    grep -qF "msiexec /x $code /qn" "$kit/docs/deploying.md" &&
    grep -qF "| Value | \`$v\` |" "$kit/docs/deploying.md" &&
    grep -qF "(velmora-notes-$v.msi)" "$kit/README.txt" && grep -qF "$v: $code" "$kit/README.txt" &&
    grep -qF "\$wanted = New-Object System.Version '$v'" "$kit/velmora-detect.ps1" &&
    grep -qF "The ProductCode of $v is $code;" "$kit/velmora-detect.ps1" &&
    grep -qF "These notes come with release $v (ProductCode $code)." "$kit/CHANGELOG.md" &&
    ! grep -rlE '<(version|file version|ProductCode)>' "$kit"
}
unzip -q "$work/signed-dist/$zip" -d "$work/signed-zip" || finish
shipped=$work/signed-zip/velmora-notes-$version-win32
check "the kit of $version names its release and its ProductCode" kit_names_release "$shipped" "$version"
doctor_line=$(grep -aoP "velmora-doctor $version\.0(?=\r$)" "$build/bin/velmora-doctor.exe" | head -1)
check "the guide gives the doctor's --version line (${doctor_line:-none found})" \
    bash -c "[ -n '$doctor_line' ] && grep -qF '$doctor_line' '$shipped/docs/deploying.md'"
# Other versions' texts, from the fill step as tools/release.sh calls it, in a copy of
# the documents: a lower version of test (no notes of its own) and a raised one, whose
# notes get a section as a release is cut.
. tools/release-docs.sh
raised=$(awk -F. '{ printf "%d.%d.0", $1, $2 + 1 }' <<<"$version")
mkdir -p "$work/texts-tree"
git ls-files -z CHANGELOG.md docs installer | tar --null -T - -c | tar -x -C "$work/texts-tree"
sed -i "0,/^## /s//## $raised\n\nProductCode: <ProductCode>\n\nRaised by the release check.\n\n&/" \
    "$work/texts-tree/CHANGELOG.md"
fill_other() {   # fill_other VERSION VELMORA_VERSION: the kit's texts of VERSION in $work/kit-VERSION
    (cd "$work/texts-tree" && VELMORA_VERSION=$2 fill_documents "$work/kit-$1" "$1" "$upgrade_code") >/dev/null &&
    kit_names_release "$work/kit-$1" "$1"
}
check "the fill step names 0.9.0, a version of test, in the kit's texts" fill_other 0.9.0 0.9.0
check "the fill step names $raised, with its notes, in the kit's texts" fill_other "$raised" ""
check "the notes of $raised give each release its ProductCode" bash -c \
    "grep -A2 '^## $raised' '$work/kit-$raised/CHANGELOG.md' | grep -qF '$(product_code "$raised")' &&
     grep -A2 '^## $version' '$work/kit-$raised/CHANGELOG.md' | grep -qF '$(product_code "$version")'"

# Every signed file: Authenticode with SHA-256, by the signer docs/deploying.md tells
# administrators to allow (the release refuses another certificate, and an osslsigncode
# older than 2.8, the first that signs PowerShell scripts, before it builds anything).
promised=$(grep -o -m1 '(`CN=[^,`]*' docs/deploying.md | tr -d '(`')
signed() {   # signed FILE
    osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$work/verify.out" 2>&1
    local rc=$?
    echo "  verify $(basename "$1"): $(grep -m1 '^Message digest algorithm' "$work/verify.out" | tr -s ' '),"\
         "$(grep -m1 '^Signature verification' "$work/verify.out")"
    [ $rc -eq 0 ] && grep -q "Message digest algorithm *: SHA256" "$work/verify.out" &&
        grep -q "Subject: /$promised\(/\|\$\)" "$work/verify.out"
}
# The installer's DLL is signed inside it, in the Binary table.
msiinfo extract "$signed_msi" Binary.SetupCheck >"$work/setup-check.dll" 2>/dev/null
for f in "$shipped"/*.exe "$shipped"/*.ps1 "$signed_msi" "$work/setup-check.dll"; do
    check "$(basename "$f") signed with SHA-256 by $promised" signed "$f"
done

# The installer's tables.  Wine's msiexec ignores the Transitive bit and replaces no
# file of the installed version at a reinstall, whatever the mode: Windows Installer's
# pages decide, and these rows are written from them (installer/velmora-notes.wxs).
table() { msiinfo export "$signed_msi" "$1" | tail -n +4 | tr -d '\r'; }
components=$(table Component | cut -f1,4,5 | LC_ALL=C sort)
echo "  components (name, attributes, condition): $(tr '\t\n' ' ;' <<<"$components")"
# Each row's attributes and condition, and why: the head of installer/velmora-notes.wxs.
expected=$(printf '%s\t%s\t%s\n' Doctor 0 '' InstallRecord 4 '' Program 0 '' \
    SettingAppli 68 'LN_APPLI OR (REMOVE~="ALL" AND WROTE_LN_APPLI)' \
    SettingBase 68 'LN_BASE OR (REMOVE~="ALL" AND WROTE_LN_BASE)' VersionRecord 4 '')
check "the Component table: each component's attributes and condition" test "$components" = "$expected"
files=$(table File | cut -f1,5 | LC_ALL=C sort)
check "the File table gives both exes the version $version.0 (got: $(tr '\t\n' ' ;' <<<"$files"))" \
    test "$files" = "$(printf '%s\t%s\n' VelmoraDoctorExe "$version.0" VelmoraNotesExe "$version.0")"
check "no MsiFileHash row (for unversioned files only)" test -z "$(table MsiFileHash)"
# The detection script cannot run here (no PowerShell): its table below holds the key
# and the values it reads.
check "the installer records its version where the detection script reads it" awk -F'\t' -v v="$version" \
    '$3 == "SOFTWARE\\Zabrel\\Velmora\\Installer" && $4 == "Version" && $5 == v { found = 1 } END { exit !found }' \
    <(table Registry)
check "the launch condition refuses a per-user install" grep -q "^Installed OR ALLUSERS=1"$'\t' <<<"$(table LaunchCondition)"
# The installer's own actions: type 1, a DLL of the Binary table (Custom Action Type 1:
# the stream is copied to a temporary file and called there, never a file the package
# installs), immediate and impersonated (no 1024, no 2048), its return code counted
# (no 64).  Wine does not show where a DLL is run from nor as whom: the table stands in.
# https://learn.microsoft.com/en-us/windows/win32/msi/custom-action-type-1
# https://learn.microsoft.com/en-us/windows/win32/msi/custom-action-in-script-execution-options
# https://learn.microsoft.com/en-us/windows/win32/msi/custom-action-return-values
check "the folder's and the paths' actions: DLL entries of the Binary table SetupCheck (type 1)" \
    test "$(table CustomAction | awk -F'\t' '$3 == "SetupCheck"' | cut -f1-4 | LC_ALL=C sort)" = \
    "$(printf '%s\t1\tSetupCheck\t%s\n' CheckSettings CheckSettings ChooseInstallDir ChooseInstallDir)"
# A DLL or an exe of any other source (17, 18, 34, 50: the File table, a folder, a
# property) would run what the package installs or what a path names.
check "no action runs a DLL or an exe from elsewhere than the Binary table" \
    test -z "$(table CustomAction | awk -F'\t' '($2 % 8 == 1 || $2 % 8 == 2) && $2 % 64 >= 8')"
msiinfo extract "$unsigned_msi" Binary.SetupCheck >"$work/setup-check-unsigned.dll" 2>/dev/null
check "the unsigned installer's SetupCheck: the DLL as build/win32 built it" \
    cmp "$work/setup-check-unsigned.dll" "$other/bin/installer/velmora-setup-check.dll"
sequence=$(table InstallExecuteSequence)
order=$(awk -F'\t' '{ at[$1] = $3 }
    END { print (at["AppSearch"] < at["ChooseInstallDir"] && at["ChooseInstallDir"] < at["CostFinalize"] &&
                 at["CostFinalize"] < at["CheckSettings"] && at["CheckSettings"] < at["InstallValidate"]) }' <<<"$sequence")
check "the folder chosen after AppSearch and before CostFinalize; the paths checked after it, before InstallValidate" \
    test "$order" = 1
check "the folder chosen only when INSTALLDIR is not given" grep -qP '^ChooseInstallDir\tNOT INSTALLDIR\t\d+$' \
    <<<"$sequence"
check "the check runs at a first install given a path, unless LN_CHECK=0 (its condition)" grep -qP \
    '^CheckSettings\t\(LN_APPLI OR LN_BASE\) AND NOT Installed AND NOT WIX_UPGRADE_DETECTED AND LN_CHECK<>"0"\t\d+$' \
    <<<"$sequence"
check "the summary lists the ProductLanguage, 1036" grep -qx 'Template: Intel;1036' <<<"$(msiinfo suminfo "$signed_msi" | tr -d '\r')"
check "SHA256SUMS" bash -c "cd '$work/signed-dist' && sha256sum --quiet -c SHA256SUMS"
check "the unsigned run says so" grep -q "UNSIGNED" "$work/unsigned.out"
unzip -q "$work/unsigned-dist/$zip" -d "$work/unsigned-zip"
unsigned=$work/unsigned-zip/velmora-notes-$version-win32
for f in "$unsigned_msi" "$unsigned"/*.ps1; do
    check "the unsigned release's $(basename "$f") carries no signature" \
        bash -c "! osslsigncode extract-signature -in '$f' -out '$work/${f##*/}.signature' >/dev/null 2>&1"
done
for exe in velmora-notes.exe velmora-doctor.exe velmora-job.exe; do
    check "two build folders: the same unsigned $exe in the release and in build/win32" \
        cmp "$other/bin/$exe" "$unsigned/$exe"
done

check_zip=velmora-notes-$version-windows-check.zip
unzip -q "$work/signed-dist/$check_zip" -d "$work/signed-check"
checked=$work/signed-check/velmora-notes-$version-windows-check
check "the check zip ships the signed program" cmp "$shipped/velmora-notes.exe" "$checked/velmora-notes.exe"
check "the check zip ships the signed installer" cmp "$signed_msi" "$checked/$msi"
check "the check zip's page, the kit's filled in for $version" cmp "$shipped/docs/windows-check.md" "$checked/windows-check.md"
# The equipment unsigned: the same bytes as build/win32's, which nothing signs.
equipment_as_other() {   # each file of build/win32's list of the check zip, the same bytes in the zip
    local file place n=0
    while IFS=$'\t' read -r _ file place; do
        cmp -s "$file" "$checked/$place" || { echo "  $place differs from build/win32's"; return 1; }
        n=$((n + 1))
    done <"$other/check-zip.txt"
    [ "$n" -gt 0 ]
}
check "two build folders: the check zip's equipment, the same bytes as build/win32's" equipment_as_other
certificate other "/CN=Someone Else/O=Zabrel"
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
block     $text = [string]$record.Version\n    $folder = [string]$record.InstallDir
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
for f in "$shipped/velmora-doctor.exe" "$shipped/velmora-job.exe" "$checked"/*.exe; do
    case ${f##*/} in velmora-notes.exe | notes-client.exe) continue ;; esac
    check "${f##*/}'s manifest: asInvoker, Windows Vista to 10/11, nothing else" tool_manifest "$f"
done
program_types=$(i686-w64-mingw32-objdump -p "$shipped/velmora-notes.exe" |
    sed -n 's/^[0-9a-f]*   Entry: ID: \(0x[0-9a-f]*\),.*/\1/p' | tr '\n' ' ')
check "velmora-notes.exe carries a string table and a version, no manifest (got: $program_types)" \
    test "$program_types" = "0x000006 0x000010 "

check "the check zip under Wine, from a fresh prefix" \
    bash tools/release-check-windows.sh "$work/signed-dist/$check_zip" "$work/windows-check"

finish
