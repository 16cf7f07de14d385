# Removal script of Velmora pour Lotus Notes, any version, for Microsoft Intune (Win32
# app, uninstall command) and Configuration Manager (deployment type, uninstall
# program), run as SYSTEM or from an elevated prompt:
#   powershell.exe -NoProfile -ExecutionPolicy Bypass -File velmora-remove.ps1
#
# Every product installed from the package's UpgradeCode <UpgradeCode> is removed,
# whatever its version and whichever deployment installed it: Windows Installer lists
# them (the WindowsInstaller.Installer object's RelatedProducts), and each is
# uninstalled with
#   msiexec.exe /x {ProductCode} /qn /norestart
# Exit code (list 0 and 3010 as success, 3010 as a soft reboot):
#   0     nothing of the package is installed any more, or nothing was;
#   3010  removed; Windows completes it at the next restart, which nothing here starts
#         (ERROR_SUCCESS_REBOOT_REQUIRED; msiexec's 1641 is reported as 3010 too);
#   1618  another installation is running (ERROR_INSTALL_ALREADY_RUNNING): retry later;
#   1603 or another Windows Installer code: msiexec's own, of the first removal that
#         failed, after trying each of the others;
#   1     the Windows Installer object could not be reached or answered an unexpected
#         list; a line on the error stream says why.
# A product that is gone by the time its turn comes (another deployment removed or
# upgraded it meanwhile: 1605, ERROR_UNKNOWN_PRODUCT) counts as removed.
#
# Paired with the detection script (velmora-detect.ps1), which finds this version or a
# higher one: on a machine that another deployment upgraded past this release, the
# detection still says installed, and this removal removes the version that is there
# instead of failing with 1605 on this release's ProductCode; once it has run, no
# version is left, so the detection says not installed.
#
# Written for Windows PowerShell 2.0 (Windows 7, Windows Server 2008 R2) and later; it
# runs in a 32-bit or a 64-bit PowerShell alike (Windows Installer keeps one list of
# products for both views).  Each line it writes is on the output stream.

$upgradeCode = '<UpgradeCode>'
# msiexec.exe from the system folder, never from the folder the script runs in.
$msiexec = Join-Path ([Environment]::GetFolderPath('System')) 'msiexec.exe'

function Get-Related {
    $installer = New-Object -ComObject WindowsInstaller.Installer -ErrorAction Stop
    $list = $installer.GetType().InvokeMember('RelatedProducts', 'GetProperty', $null, $installer, @($upgradeCode))
    $count = $list.GetType().InvokeMember('Count', 'GetProperty', $null, $list, $null)
    $codes = @()
    for ($i = 0; $i -lt $count; $i++) {
        $code = [string]$list.GetType().InvokeMember('Item', 'GetProperty', $null, $list, @($i))
        if ($code -notmatch '^\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}$') {
            throw "RelatedProducts gave '$code', which is no ProductCode"
        }
        $codes += $code
    }
    return ,$codes
}

try {
    $codes = Get-Related
} catch {
    [Console]::Error.WriteLine("Velmora pour Lotus Notes: removal failed: " + $_.Exception.Message)
    exit 1
}

$restart = $false
$failed = 0
foreach ($code in $codes) {
    $process = [System.Diagnostics.Process]::Start($msiexec, "/x $code /qn /norestart")
    $process.WaitForExit()
    $result = $process.ExitCode
    Write-Output ("Velmora pour Lotus Notes: msiexec /x {0}: {1}" -f $code, $result)
    if ($result -eq 3010 -or $result -eq 1641) { $restart = $true }
    elseif ($result -ne 0 -and $result -ne 1605 -and $failed -eq 0) { $failed = $result }
}

if ($failed -ne 0) { exit $failed }
if ($restart) { exit 3010 }
exit 0
