# Detection script of Velmora pour Lotus Notes <version>, for Microsoft Intune (Win32
# app, "Use a custom detection script") and Configuration Manager (deployment type,
# "Use a custom script to detect the presence of this deployment type", PowerShell).
#
# Installed: this version or a higher one is recorded by the package, and the
# velmora-notes.exe of the recorded folder has the file version that goes with it. The
# script then writes one line and exits with 0.
# Not installed: no output, exit code 0.
# The registry or the file cannot be read for another reason than their absence: a
# line on the error stream and exit code 1, which Configuration Manager reports as a
# failed detection (Intune: not detected).
#
# What it reads, in the 32-bit registry view, where the package writes (on 64-bit
# Windows HKLM\SOFTWARE\WOW6432Node\Zabrel\Velmora\Installer):
#   HKLM\SOFTWARE\Zabrel\Velmora\Installer  Version     REG_SZ  x.y.z (<version> or higher)
#   HKLM\SOFTWARE\Zabrel\Velmora\Installer  InstallDir  REG_SZ  the program's folder
# The ProductCode of <version> is <ProductCode>; each version has its own, so a rule on
# the ProductCode finds that version only.
#
# Its uninstall is velmora-remove.ps1, which removes whatever version is installed: a
# machine that another deployment upgraded past <version> is detected as installed, and
# that removal takes the newer version away too instead of failing on this release's
# ProductCode (1605); after it, no record is left and this script says not installed.
#
# Written for Windows PowerShell 2.0 (Windows 7, Windows Server 2008 R2) and later;
# it runs in a 32-bit or a 64-bit PowerShell alike.

$wanted = New-Object System.Version '<version>'

# A 64-bit PowerShell sees the 32-bit view under WOW6432Node; a 32-bit one (on any
# Windows) sees it as HKLM\SOFTWARE.
if ([IntPtr]::Size -eq 8) {
    $key = 'HKLM:\SOFTWARE\WOW6432Node\Zabrel\Velmora\Installer'
} else {
    $key = 'HKLM:\SOFTWARE\Zabrel\Velmora\Installer'
}

try {
    if (-not (Test-Path -LiteralPath $key)) { exit 0 }
    $record = Get-ItemProperty -LiteralPath $key -ErrorAction Stop
    $text = [string]$record.Version
    $folder = [string]$record.InstallDir
    if ($text -notmatch '^\d+\.\d+\.\d+$' -or $folder -eq '') { exit 0 }
    $installed = New-Object System.Version $text
    if ($installed -lt $wanted) { exit 0 }

    $exe = Join-Path $folder 'velmora-notes.exe'
    if (-not (Test-Path -LiteralPath $exe -PathType Leaf)) { exit 0 }
    $info = [System.Diagnostics.FileVersionInfo]::GetVersionInfo($exe)
    # The file version of release x.y.z is x.y.z.0.
    if ($info.FileMajorPart -ne $installed.Major -or $info.FileMinorPart -ne $installed.Minor -or
        $info.FileBuildPart -ne $installed.Build -or $info.FilePrivatePart -ne 0) { exit 0 }

    Write-Output ("Velmora pour Lotus Notes {0} installed: {1} {2}.{3}.{4}.{5}" -f $installed,
        $exe, $info.FileMajorPart, $info.FileMinorPart, $info.FileBuildPart, $info.FilePrivatePart)
    exit 0
} catch {
    [Console]::Error.WriteLine("Velmora pour Lotus Notes: detection failed: " + $_.Exception.Message)
    exit 1
}
