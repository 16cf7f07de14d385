// velmora-e2e-installer.exe: the release's installer package, shipped beside it,
// installed, upgraded, repaired and removed by the system's msiexec against the
// stand-in Notes client, each case in a case world of its own (case_env.h), its
// product removed at the end.  velmora-check.exe runs it with /installer only, and
// refuses when a product of the package's UpgradeCode is installed.
//
//   velmora-e2e-installer.exe [case ...]
//
// The lower version to upgrade from is the release's package with another
// ProductCode, ProductVersion 0.0.1 and that Version recorded (VaryPackage): the same
// files, so the upgrade itself is what is shown, not a change of program.  msiexec's
// exit codes are read whole (GetExitCodeProcess).  The cases marked NEEDS_WINDOWS
// show Windows Installer rules that Wine's msiexec does not follow; each names the
// Microsoft page it checks.
#include "testkit/wine/package.h"
#include "tests/e2e/case_runner.h"

#include <msi.h>

static const char LowerVersion[] = "0.0.1";
static const char LowerProductCode[] = "{5E0C1F3A-7B42-4D19-A8E6-2C9F0B7D4E31}";
static const char LowerPackageCode[] = "{A3D6F0B2-1C84-4E57-9B2A-6F8E0D3C7A15}";
static const char OtherBuildPackageCode[] = "{C71B9E24-5A03-4F6D-8E19-B42D7A60C8F3}";
static const char SettingsKey[] = "SOFTWARE\\Zabrel\\Velmora\\Stellwick";
static const char RecordKey[] = "SOFTWARE\\Zabrel\\Velmora\\Installer";
static const char UninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

struct Packages {
    std::string release, lower;     // the shipped package, the lower one made from it
    std::string productCode, upgradeCode, version, productName;
    std::string installDir;         // <case folder>\Installed Velmora
};

static std::string Quoted(const std::string &text)
{
    return "\"" + text + "\"";
}

// msiexec with these arguments, silent, started by its path in the system folder (the
// suite runs elevated: no msiexec.exe from its own folder or the PATH); its whole exit
// code, 0xDEAD when it hung.
static DWORD Msiexec(const std::string &arguments)
{
    RunResult r = RunAndAnswer(Quoted(SystemPath("msiexec.exe")) + " " + arguments + " /qn",
                               300000);
    ok(r.started && !r.hung, "msiexec %s ran and ended (error %lu)", arguments.c_str(),
       r.startError);
    return r.hung ? 0xDEAD : r.exitCode;
}

// A REG_SZ value under HKLM in the 32-bit view, or in the 64-bit one when the 32-bit
// has none; empty when neither has it.
static std::string MachineText(const std::string &subkey, const char *name)
{
    const REGSAM views[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
    for (int i = 0; i < 2; ++i) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, KEY_READ | views[i], &key) !=
            ERROR_SUCCESS)
            continue;
        char text[1024];
        DWORD type = 0, size = sizeof text - 1;
        LONG read = RegQueryValueExA(key, name, NULL, &type, (BYTE *)text, &size);
        RegCloseKey(key);
        if (read == ERROR_SUCCESS && type == REG_SZ) {
            text[size] = '\0';
            return text;
        }
    }
    return "";
}

static bool MachineKeyExists(const std::string &subkey)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, KEY_READ | KEY_WOW64_32KEY,
                      &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

static void DeleteRecordValue(const char *name)
{
    HKEY key;
    bool deleted = RegOpenKeyExA(HKEY_LOCAL_MACHINE, RecordKey, 0,
                                 KEY_SET_VALUE | KEY_WOW64_32KEY, &key) == ERROR_SUCCESS &&
                   RegDeleteValueA(key, name) == ERROR_SUCCESS;
    ok(deleted, "the package's record %s deleted", name);
    RegCloseKey(key);
}

// The Add/Remove Programs entry's value of a product, empty when it has no entry.
static std::string AddRemove(const std::string &productCode, const char *name)
{
    return MachineText(UninstallKey + productCode, name);
}

static int RelatedProducts(const Packages &p)
{
    char product[39];
    int n = 0;
    while (MsiEnumRelatedProductsA(p.upgradeCode.c_str(), 0, n, product) == ERROR_SUCCESS)
        ++n;
    return n;
}

// The case's packages: the settings BeginCase wrote taken away (the package is to
// write them), the lower version made in the case folder.
static bool Prepare(CaseEnv *e, Packages *p)
{
    RemoveSettingsKey();
    p->release = FindPackage(OwnFolder());
    if (!ok(!p->release.empty(), "one velmora-notes-*.msi beside the suite in %s",
            OwnFolder().c_str()))
        return false;
    p->productCode = PackageProperty(p->release, "ProductCode");
    p->upgradeCode = PackageProperty(p->release, "UpgradeCode");
    p->version = PackageProperty(p->release, "ProductVersion");
    p->productName = PackageProperty(p->release, "ProductName");
    p->lower = e->root + "\\lower.msi";
    p->installDir = e->root + "\\Installed Velmora";
    return ok(!p->productCode.empty() && !p->upgradeCode.empty() && !p->version.empty(),
              "the package names its ProductCode, UpgradeCode and version") &&
           ok(RelatedProducts(*p) == 0, "no product of the package is installed") &&
           ok(VaryPackage(p->release, p->lower, LowerPackageCode, LowerVersion,
                          LowerProductCode),
              "the lower version %s made from the package", LowerVersion);
}

// Installs `package` into the case's folder with both settings on the stand-ins.
static DWORD InstallWithSettings(const CaseEnv &e, const Packages &p, const std::string &package)
{
    return Msiexec("/i " + Quoted(package) + " INSTALLDIR=" + Quoted(p.installDir) +
                   " LN_APPLI=" + Quoted(e.client) + " LN_BASE=" + Quoted(e.database));
}

// Whatever a case left installed is removed, so that the next case and the machine
// start from no product.
static void RemoveProducts(const Packages &p)
{
    const std::string codes[] = {p.productCode, LowerProductCode};
    for (int i = 0; i < 2; ++i) {
        if (!codes[i].empty() && MsiQueryProductStateA(codes[i].c_str()) != INSTALLSTATE_UNKNOWN)
            ok(Msiexec("/x " + codes[i]) == 0, "what the case left of %s removed",
               codes[i].c_str());
    }
}

typedef void PackageCase(CaseEnv *e, const Packages &p);

static void WithPackages(CaseEnv *e, PackageCase *body)
{
    Packages p;
    if (Prepare(e, &p))
        body(e, p);
    RemoveProducts(p);
}

static void ExpectSettings(const CaseEnv &e, const char *when)
{
    same_text(MachineText(SettingsKey, "LN_Appli"), e.client, when);
    same_text(MachineText(SettingsKey, "LN_Base"), e.database, when);
}

static void InstallUpgradeRepairRemove(CaseEnv *e, const Packages &p)
{
    DWORD code = InstallWithSettings(*e, p, p.lower);
    ok(code == 0, "the lower version installed: exit code %lu", code);
    same_text(AddRemove(LowerProductCode, "DisplayVersion"), LowerVersion,
              "the lower version's Add/Remove entry");
    same_text(AddRemove(LowerProductCode, "DisplayName"), p.productName,
              "the Add/Remove entry's name");
    same_text(MachineText(RecordKey, "Version"), LowerVersion, "the version recorded");
    ExpectSettings(*e, "the settings the lower version wrote");
    std::string program = p.installDir + "\\velmora-notes.exe";
    ok(FileExists(program) && FileExists(p.installDir + "\\velmora-doctor.exe"),
       "the program and the doctor in %s", p.installDir.c_str());

    // The upgrade, without INSTALLDIR and the settings: the folder and the values kept.
    code = Msiexec("/i " + Quoted(p.release));
    ok(code == 0, "the upgrade to %s: exit code %lu", p.version.c_str(), code);
    ok(AddRemove(LowerProductCode, "DisplayVersion").empty(), "the lower version's entry gone");
    same_text(AddRemove(p.productCode, "DisplayVersion"), p.version, "the release's entry");
    ok(RelatedProducts(p) == 1, "one product after the upgrade (got %d)", RelatedProducts(p));
    same_text(MachineText(RecordKey, "Version"), p.version, "the version recorded");
    ExpectSettings(*e, "the settings after the upgrade");
    // The lower version's files are the release's: the folder is told by the record
    // and by the default folder staying empty.
    same_text(MachineText(RecordKey, "InstallDir"), p.installDir + "\\",
              "the folder recorded after the upgrade");
    char programFiles[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("ProgramFiles", programFiles, sizeof programFiles);
    ok(length > 0 && length < sizeof programFiles &&
           !FileExists(std::string(programFiles) + "\\Velmora"),
       "nothing installed in the default folder, %s\\Velmora", programFiles);
    std::string installed, shipped;
    ok(ReadBytes(program, &installed) && ReadBytes(OwnFolder() + "\\velmora-notes.exe", &shipped) &&
           installed == shipped,
       "the installed program is the release's, in the folder chosen first");

    // The installed program sends a job to the stand-ins the settings name.
    std::string library = p.installDir + "\\nNOTES.dll";
    ok(CopyFileA((OwnFolder() + "\\nNOTES.dll").c_str(), library.c_str(), FALSE) != 0,
       "the stand-in library beside the installed program");
    std::string job = WritePlainJob(*e);
    RunResult r = Run(Quoted(program) + " " + job);
    expect_outcome(r);
    ok(!FileExists(job), "the job sent and deleted");
    ok(FileExists(NoteRecordPath(*e, 1)), "the memo stored");
    EndStartedClients(*e);
    DeleteFileA(library.c_str());

    // A missing value put back by a reinstall from the package's remembered copy.
    SetSettingsValue("LN_Base", NULL);
    code = Msiexec("/i " + Quoted(p.release) + " REINSTALL=ALL REINSTALLMODE=vomus");
    ok(code == 0, "the reinstall: exit code %lu", code);
    ExpectSettings(*e, "the settings after a reinstall, LN_Base deleted before");

    code = Msiexec("/x " + Quoted(p.release));
    ok(code == 0, "the uninstall: exit code %lu", code);
    ok(AddRemove(p.productCode, "DisplayVersion").empty() && RelatedProducts(p) == 0,
       "no product and no Add/Remove entry left");
    ok(!MachineKeyExists(SettingsKey) && !MachineKeyExists(RecordKey),
       "the settings and the package's record gone");
    ok(!FileExists(p.installDir), "the installation folder gone");
    ok(FileExists(e->client) && FileExists(e->database), "the client's files kept");
}

// https://learn.microsoft.com/en-us/windows/win32/msi/error-codes: 1638,
// ERROR_PRODUCT_VERSION, another version of this product is already installed; another
// build of one version has the same ProductCode and another package code.
static void AnotherBuild1638(CaseEnv *e, const Packages &p)
{
    DWORD code = InstallWithSettings(*e, p, p.release);
    ok(code == 0, "the release installed: exit code %lu", code);
    std::string other = e->root + "\\other build.msi";
    if (!ok(VaryPackage(p.release, other, OtherBuildPackageCode), "another build made"))
        return;
    code = Msiexec("/i " + Quoted(other));
    ok(code == 1638, "another build of the installed version: exit code %lu, expected 1638",
       code);
    same_text(AddRemove(p.productCode, "DisplayVersion"), p.version, "the entry kept");
    ExpectSettings(*e, "the settings kept");
}

// https://learn.microsoft.com/en-us/windows/win32/msi/-msiexecute-mutex: while the
// _MSIExecute mutex is set, an installation returns 1618,
// ERROR_INSTALL_ALREADY_RUNNING.
static void AnotherInstallRunning1618(CaseEnv *, const Packages &p)
{
    HANDLE mutex = CreateMutexA(NULL, TRUE, "Global\\_MSIExecute");
    bool held = mutex != NULL && GetLastError() != ERROR_ALREADY_EXISTS;
    ok(held, "the _MSIExecute mutex held by the case (error %lu)", GetLastError());
    DWORD code = held ? Msiexec("/i " + Quoted(p.release)) : 0;
    ok(!held || code == 1618, "an install while another runs: exit code %lu, expected 1618",
       code);
    if (mutex != NULL) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
    ok(RelatedProducts(p) == 0, "nothing installed");
}

// https://learn.microsoft.com/en-us/windows/win32/msi/command-line-options (/f and its
// letters) and .../reinstallmode: v, o, m and u rewrite the machine's registry values
// from the cached package; the repair line the guide gives.
static void RepairWithLetters(CaseEnv *e, const Packages &p)
{
    DWORD code = InstallWithSettings(*e, p, p.release);
    ok(code == 0, "the release installed: exit code %lu", code);
    SetSettingsValue("LN_Base", NULL);
    code = Msiexec("/fvomus " + Quoted(p.release));
    ok(code == 0, "msiexec /fvomus: exit code %lu", code);
    ExpectSettings(*e, "the settings after a repair, LN_Base deleted before");
}

// https://learn.microsoft.com/en-us/windows/win32/msi/using-transitive-components: a
// transitive component whose condition was true and is false at a reinstall is
// removed.  LN_Base and its remembered copy gone, nothing sets LN_BASE, and the
// component that wrote them (its record WroteLN_Base with them) leaves.
static void TransitiveRemoval(CaseEnv *e, const Packages &p)
{
    DWORD code = InstallWithSettings(*e, p, p.release);
    ok(code == 0, "the release installed: exit code %lu", code);
    SetSettingsValue("LN_Base", NULL);
    DeleteRecordValue("LN_Base");
    code = Msiexec("/i " + Quoted(p.release) + " REINSTALL=ALL REINSTALLMODE=vomus");
    ok(code == 0, "the reinstall: exit code %lu", code);
    HKEY key;
    bool wrote = RegOpenKeyExA(HKEY_LOCAL_MACHINE, RecordKey, 0, KEY_READ | KEY_WOW64_32KEY,
                               &key) == ERROR_SUCCESS &&
                 RegQueryValueExA(key, "WroteLN_Base", NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
    if (wrote)
        RegCloseKey(key);
    ok(!wrote, "the component of LN_Base removed: its record WroteLN_Base gone");
    same_text(MachineText(SettingsKey, "LN_Appli"), e->client, "LN_Appli kept");
}

#define PACKAGE_CASE(name, body) \
    static void name(CaseEnv *e) { WithPackages(e, body); }
PACKAGE_CASE(CaseInstallUpgradeRepairRemove, InstallUpgradeRepairRemove)
PACKAGE_CASE(CaseAnotherBuild1638, AnotherBuild1638)
PACKAGE_CASE(CaseAnotherInstallRunning1618, AnotherInstallRunning1618)
PACKAGE_CASE(CaseRepairWithLetters, RepairWithLetters)
PACKAGE_CASE(CaseTransitiveRemoval, TransitiveRemoval)

static const CaseEntry cases[] = {
    {"install_upgrade_repair_remove", CaseInstallUpgradeRepairRemove},
    // What Wine's msiexec does not do as Windows Installer does.
    {"another_build_1638", CaseAnotherBuild1638, 0, 0, NEEDS_WINDOWS},
    {"another_install_running_1618", CaseAnotherInstallRunning1618, 0, 0, NEEDS_WINDOWS},
    {"repair_with_letters", CaseRepairWithLetters, 0, 0, NEEDS_WINDOWS},
    {"transitive_removal", CaseTransitiveRemoval, 0, 0, NEEDS_WINDOWS},
};

int main(int argc, char **argv)
{
    return RunCases(cases, sizeof cases / sizeof cases[0], argc, argv);
}
