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
// files, so the upgrade itself is what is shown, not a change of program.  The case's
// Notes client folder holds the stand-in nNOTES.dll, as a real client's does, so an
// install given LN_APPLI goes there and passes the package's check.  The cases marked
// NEEDS_WINDOWS show Windows Installer rules that Wine's msiexec does not follow; each
// names the Microsoft page it checks.
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
    std::string installDir;         // the client's folder, LN_APPLI's: <case>\Lotus Notes Client
    std::string defaultDir;         // <Program Files>\Velmora
    std::string log;                // <case folder>\msiexec.log
};

// msiexec with these arguments, silent, started by its path in the system folder (the
// suite runs elevated: no msiexec.exe from its own folder or the PATH); its whole exit
// code, 0xDEAD when it hung.  Given a log, its verbose log goes there, replacing the one
// before.
static DWORD Msiexec(const std::string &arguments, const std::string &log = "")
{
    if (!log.empty())
        DeleteFileA(log.c_str());
    std::string logging = log.empty() ? "" : " /l*v " + Quoted(log);
    RunResult r = RunAndAnswer(Quoted(SystemPath("msiexec.exe")) + " " + arguments + logging +
                                   " /qn",
                               300000);
    ok(r.started && !r.hung, "msiexec %s ran and ended (error %lu)", arguments.c_str(),
       r.startError);
    return r.hung ? 0xDEAD : r.exitCode;
}

// A value under HKLM: given `type`, any type, from the 32-bit view alone, its type
// set there (left as it was when absent); without, a REG_SZ from the 32-bit view or, when
// that has none, the 64-bit one.  Empty when absent.
static const DWORD NoValue = 0xFFFFFFFF;     // no registry type: the value is absent
static std::string MachineText(const std::string &subkey, const char *name, DWORD *type = NULL)
{
    const REGSAM views[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
    for (int i = 0; i < (type != NULL ? 1 : 2); ++i) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, KEY_READ | views[i], &key) !=
            ERROR_SUCCESS)
            continue;
        char text[1024];
        DWORD got = 0, size = sizeof text - 1;
        LONG read = RegQueryValueExA(key, name, NULL, &got, (BYTE *)text, &size);
        RegCloseKey(key);
        if (read == ERROR_SUCCESS && (type != NULL || got == REG_SZ)) {
            text[size] = '\0';
            if (type != NULL)
                *type = got;
            return text;
        }
    }
    return "";
}

// The value's type and bytes as "<type>:<text>", "" when absent: what the values
// written before the package must keep through its steps.
static std::string SettingsValue(const char *name)
{
    DWORD type = NoValue;
    std::string text = MachineText(SettingsKey, name, &type);
    return type == NoValue ? "" : std::to_string(type) + ":" + text;
}

// True when the verbose log holds `text`, in the ANSI code page (Wine's msiexec) or in
// UTF-16 (Windows Installer's).
static bool LogHolds(const std::string &log, const std::string &text)
{
    std::string bytes, wide;
    for (char c : text) {
        wide += c;
        wide += '\0';
    }
    return ReadBytes(log, &bytes) &&
           (bytes.find(text) != std::string::npos || bytes.find(wide) != std::string::npos);
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
    p->installDir = e->client.substr(0, e->client.rfind('\\'));
    p->log = e->root + "\\msiexec.log";
    char programFiles[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("ProgramFiles", programFiles, sizeof programFiles);
    p->defaultDir = std::string(programFiles, length < sizeof programFiles ? length : 0) +
                    "\\Velmora";
    return ok(length > 0 && length < sizeof programFiles, "ProgramFiles is set") &&
           ok(!FileExists(p->defaultDir), "no %s before the case", p->defaultDir.c_str()) &&
           ok(CopyFileA((OwnFolder() + "\\nNOTES.dll").c_str(),
                        (p->installDir + "\\nNOTES.dll").c_str(), FALSE) != 0,
              "the stand-in library in the client's folder") &&
           ok(!p->productCode.empty() && !p->upgradeCode.empty() && !p->version.empty(),
              "the package names its ProductCode, UpgradeCode and version") &&
           ok(RelatedProducts(*p) == 0, "no product of the package is installed") &&
           ok(VaryPackage(p->release, p->lower, LowerPackageCode, LowerVersion,
                          LowerProductCode),
              "the lower version %s made from the package", LowerVersion);
}

// Installs `package` with both settings on the stand-ins: into the client's folder.
static DWORD InstallWithSettings(const CaseEnv &e, const Packages &p, const std::string &package,
                                 const std::string &more = "")
{
    return Msiexec("/i " + Quoted(package) + " LN_APPLI=" + Quoted(e.client) +
                       " LN_BASE=" + Quoted(e.database) + more,
                   p.log);
}

// Nothing of the package on the machine: no product, no folder, no value, no record.
static void ExpectNothingInstalled(const Packages &p, const char *after)
{
    ok(RelatedProducts(p) == 0, "no product after %s", after);
    ok(!FileExists(p.defaultDir) && !FileExists(p.installDir + "\\velmora-notes.exe"),
       "no program installed after %s", after);
    ok(!MachineKeyExists(SettingsKey) && !MachineKeyExists(RecordKey),
       "no settings and no record after %s", after);
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

// A case of the table: `body` given the case's packages, what it left installed removed.
template <PackageCase *body>
static void WithPackages(CaseEnv *e)
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

// The common path, given only LN_APPLI and LN_BASE: the package finds the client's
// folder, an upgrade keeps it and the values, the installed program sends, the
// guide's line changes a path, message 7's advice puts a value back, and the
// uninstall leaves the client's files and another program's value.
static void InstallUpgradeRepairRemove(CaseEnv *e, const Packages &p)
{
    const char otherKey[] = "SOFTWARE\\Zabrel\\Velmora";
    HKEY other = NULL;
    ok(RegCreateKeyExA(HKEY_LOCAL_MACHINE, otherKey, 0, NULL, 0, KEY_SET_VALUE | KEY_WOW64_32KEY,
                       NULL, &other, NULL) == ERROR_SUCCESS &&
           RegSetValueExA(other, "Autre", 0, REG_SZ, (const BYTE *)"pas au programme", 17) ==
               ERROR_SUCCESS,
       "another program's value beside the settings");

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
       "the program and the doctor in LN_APPLI's folder, %s", p.installDir.c_str());
    same_text(MachineText(RecordKey, "InstallDir"), p.installDir + "\\",
              "the folder recorded: LN_APPLI's");

    // The upgrade, without INSTALLDIR and the settings: the folder and the values kept.
    code = Msiexec("/i " + Quoted(p.release));
    ok(code == 0, "the upgrade to %s: exit code %lu", p.version.c_str(), code);
    ok(AddRemove(LowerProductCode, "DisplayVersion").empty(), "the lower version's entry gone");
    same_text(AddRemove(p.productCode, "DisplayVersion"), p.version, "the release's entry");
    ok(RelatedProducts(p) == 1, "one product after the upgrade (got %d)", RelatedProducts(p));
    same_text(MachineText(RecordKey, "Version"), p.version, "the version recorded");
    ExpectSettings(*e, "the settings after the upgrade");
    same_text(MachineText(RecordKey, "InstallDir"), p.installDir + "\\",
              "the folder recorded after the upgrade");
    ok(!FileExists(p.defaultDir), "nothing installed in the default folder, %s",
       p.defaultDir.c_str());
    std::string installed, shipped;
    ok(ReadBytes(program, &installed) && ReadBytes(OwnFolder() + "\\velmora-notes.exe", &shipped) &&
           installed == shipped,
       "the installed program is the release's, in the folder chosen first");

    // The installed program sends a job to the stand-ins the settings name.
    std::string job = WritePlainJob(*e);
    RunResult r = Run(Quoted(program) + " " + job);
    expect_outcome(r);
    ok(!FileExists(job), "the job sent and deleted");
    ok(FileExists(NoteRecordPath(*e, 1)), "the memo stored");
    EndStartedClients(*e);

    // The guide's line to change a path: a reinstall given the property, not checked.
    std::string moved = e->root + "\\Autre.nsf";
    code = Msiexec("/i " + Quoted(p.release) + " REINSTALL=ALL REINSTALLMODE=vomus LN_BASE=" +
                   Quoted(moved));
    ok(code == 0, "the reinstall given a new LN_BASE: exit code %lu", code);
    same_text(MachineText(SettingsKey, "LN_Base"), moved, "LN_Base changed");
    same_text(MachineText(SettingsKey, "LN_Appli"), e->client, "LN_Appli kept");

    // Message 7's advice: LN_Appli corrected by hand and LN_Base deleted, a reinstall
    // without the properties keeps the correction, remembers it, and puts back LN_Base
    // as the package wrote it last.
    std::string corrected = p.installDir + "\\Notes corrige.exe";
    SetSettingsValue("LN_Appli", corrected.c_str(), KEY_WOW64_32KEY);
    SetSettingsValue("LN_Base", NULL, KEY_WOW64_32KEY);
    code = Msiexec("/i " + Quoted(p.release) + " REINSTALL=ALL REINSTALLMODE=vomus");
    ok(code == 0, "the reinstall without the properties: exit code %lu", code);
    same_text(MachineText(SettingsKey, "LN_Appli"), corrected, "LN_Appli as corrected");
    same_text(MachineText(SettingsKey, "LN_Base"), moved, "LN_Base put back");
    same_text(MachineText(RecordKey, "LN_Appli"), corrected, "the correction remembered");

    code = Msiexec("/i " + Quoted(p.lower));
    ok(code == 1603, "the lower version over the release: exit code %lu, expected 1603", code);
    ok(RelatedProducts(p) == 1 && AddRemove(LowerProductCode, "DisplayVersion").empty(),
       "still the release alone");

    // LN_Base deleted: the uninstall still takes away what the package wrote of it.
    SetSettingsValue("LN_Base", NULL, KEY_WOW64_32KEY);
    code = Msiexec("/x " + Quoted(p.release));
    ok(code == 0, "the uninstall: exit code %lu", code);
    ok(AddRemove(p.productCode, "DisplayVersion").empty() && RelatedProducts(p) == 0,
       "no product and no Add/Remove entry left");
    ok(!MachineKeyExists(SettingsKey) && !MachineKeyExists(RecordKey),
       "the settings and the package's record gone");
    same_text(MachineText(otherKey, "Autre"), "pas au programme", "the other program's value kept");
    RegDeleteValueA(other, "Autre");     // the key itself goes with the case's settings
    RegCloseKey(other);
    ok(!FileExists(program) && !FileExists(p.installDir + "\\velmora-doctor.exe"),
       "the program and the doctor gone");
    ok(FileExists(e->client) && FileExists(e->database) &&
           FileExists(p.installDir + "\\nNOTES.dll"),
       "the client's files kept");
}

// What a first install refuses, each time leaving nothing: a per-user install (the
// launch condition), a path naming nothing, a folder without nNOTES.dll (LN_APPLI's,
// then an INSTALLDIR given).  The package's check names the path or the folder in the
// log.
static void FirstInstallRefusals(CaseEnv *e, const Packages &p)
{
    DWORD code = Msiexec("/i " + Quoted(p.release) + " ALLUSERS=\"\"");
    ok(code == 1603, "a per-user install: exit code %lu, expected 1603", code);
    ExpectNothingInstalled(p, "the per-user install");

    std::string absent = e->root + "\\Absent.nsf";
    code = Msiexec("/i " + Quoted(p.release) + " LN_APPLI=" + Quoted(e->client) +
                       " LN_BASE=" + Quoted(absent),
                   p.log);
    ok(code == 1603, "a LN_BASE naming nothing: exit code %lu, expected 1603", code);
    ok(LogHolds(p.log, "LN_BASE \"" + absent + "\" est refus"), "the log names LN_BASE's path");
    ExpectNothingInstalled(p, "a LN_BASE naming nothing");

    std::string bare = e->root + "\\Client sans bibliotheque";
    std::string client = bare + "\\notes.exe";
    ok(MakeFolder(bare) && WriteBytes(client, "client"), "a client's folder without nNOTES.dll");
    code = Msiexec("/i " + Quoted(p.release) + " LN_APPLI=" + Quoted(client) +
                       " LN_BASE=" + Quoted(e->database),
                   p.log);
    ok(code == 1603, "LN_APPLI's folder without nNOTES.dll: exit code %lu, expected 1603", code);
    ok(LogHolds(p.log, "nNOTES.dll n'est ni dans le dossier d'installation \"" + bare + "\\\""),
       "the log names the folder");
    ExpectNothingInstalled(p, "a folder without nNOTES.dll");
    ok(!FileExists(bare + "\\velmora-notes.exe"), "nothing installed in %s", bare.c_str());

    code = InstallWithSettings(*e, p, p.release, " INSTALLDIR=" + Quoted(bare));
    ok(code == 1603, "an INSTALLDIR without nNOTES.dll: exit code %lu, expected 1603", code);
    ok(LogHolds(p.log, "nNOTES.dll n'est ni dans le dossier d'installation \"" + bare),
       "the log names INSTALLDIR");
    ExpectNothingInstalled(p, "an INSTALLDIR without nNOTES.dll");
}

// https://learn.microsoft.com/en-us/windows/win32/msi/file-versioning-rules: at a first
// install, a file already in place with a higher version is kept.  A
// velmora-doctor.exe stamped 99.0.0.0, planted in the folder the install goes to, is
// never run, whether the check refuses or passes.
static void PlantedDoctorNeverRun(CaseEnv *e, const Packages &p)
{
    std::string planted = p.installDir + "\\velmora-doctor.exe";
    std::string mark = p.installDir + "\\planted doctor ran";
    ok(CopyFileA((OwnFolder() + "\\planted-doctor.exe").c_str(), planted.c_str(), FALSE) != 0,
       "a velmora-doctor.exe at 99.0.0.0 planted in %s", p.installDir.c_str());
    // INSTALLDIR given, as the guide's install line gives it.
    std::string folder = " INSTALLDIR=" + Quoted(p.installDir);
    std::string absent = e->root + "\\Absent.nsf";
    DWORD code = Msiexec("/i " + Quoted(p.release) + folder + " LN_APPLI=" + Quoted(e->client) +
                         " LN_BASE=" + Quoted(absent));
    ok(code == 1603, "a LN_BASE naming nothing still refused: exit code %lu", code);
    ok(!FileExists(mark), "the planted doctor not run by the refused install");
    code = InstallWithSettings(*e, p, p.release, folder);
    ok(code == 0, "the install given both paths: exit code %lu", code);
    ok(!FileExists(mark), "the planted doctor not run by the install");
}

// Where the package installs: the default folder given no property (and no value
// written), an INSTALLDIR given over LN_APPLI's folder, LN_APPLI alone (an empty
// LN_BASE is not judged), and LN_CHECK=0 for a client installed afterwards.
static void InstallFolderChoice(CaseEnv *e, const Packages &p)
{
    DWORD code = Msiexec("/i " + Quoted(p.release), p.log);
    ok(code == 0, "an install given no property: exit code %lu", code);
    ok(FileExists(p.defaultDir + "\\velmora-notes.exe"), "the program in the default folder");
    same_text(MachineText(RecordKey, "InstallDir"), p.defaultDir + "\\", "the folder recorded");
    ok(!MachineKeyExists(SettingsKey), "no value written");
    ok(LogHolds(p.log, "LN_APPLI_LEFT_ALONE = LN_APPLI not given") &&
           LogHolds(p.log, "LN_BASE_LEFT_ALONE = LN_BASE not given"),
       "the log says that neither value is written");
    // An installed product passes the launch condition.
    code = Msiexec("/x " + Quoted(p.release) + " ALLUSERS=\"\"");
    ok(code == 0, "the uninstall given ALLUSERS=\"\": exit code %lu", code);
    ExpectNothingInstalled(p, "the uninstall");

    std::string chosen = e->root + "\\Dossier choisi";
    ok(MakeFolder(chosen) && CopyFileA((OwnFolder() + "\\nNOTES.dll").c_str(),
                                       (chosen + "\\nNOTES.dll").c_str(), FALSE) != 0,
       "a folder holding nNOTES.dll");
    code = InstallWithSettings(*e, p, p.release, " INSTALLDIR=" + Quoted(chosen));
    ok(code == 0, "an install given INSTALLDIR and LN_APPLI: exit code %lu", code);
    ok(FileExists(chosen + "\\velmora-notes.exe") &&
           !FileExists(p.installDir + "\\velmora-notes.exe"),
       "INSTALLDIR wins over LN_APPLI's folder");
    ok(Msiexec("/x " + Quoted(p.release)) == 0, "uninstalled");

    code = Msiexec("/i " + Quoted(p.release) + " LN_APPLI=" + Quoted(e->client));
    ok(code == 0, "an install given LN_APPLI alone: exit code %lu", code);
    ok(FileExists(p.installDir + "\\velmora-notes.exe"), "the program in LN_APPLI's folder");
    same_text(MachineText(SettingsKey, "LN_Appli"), e->client, "LN_Appli written");
    ok(SettingsValue("LN_Base").empty(), "no LN_Base written");
    ok(Msiexec("/x " + Quoted(p.release)) == 0, "uninstalled");

    // Neither path names anything and the default folder has no library: not checked.
    std::string absent = e->root + "\\Absent.nsf";
    code = Msiexec("/i " + Quoted(p.lower) + " LN_CHECK=0 LN_BASE=" + Quoted(absent));
    ok(code == 0, "LN_CHECK=0: the lower version installed given a LN_BASE naming nothing "
                  "(exit code %lu)", code);
    same_text(MachineText(SettingsKey, "LN_Base"), absent, "LN_Base written as given");
    std::string other = e->root + "\\Autre.nsf";
    code = Msiexec("/i " + Quoted(p.release) + " LN_BASE=" + Quoted(other));
    ok(code == 0, "an upgrade given a LN_BASE naming nothing is not checked: exit code %lu",
       code);
    same_text(MachineText(SettingsKey, "LN_Base"), other, "LN_Base as the upgrade gave it");
    code = Msiexec("/x " + Quoted(p.release));
    ok(code == 0, "the uninstall: exit code %lu", code);
    ExpectNothingInstalled(p, "the uninstall");
}

// Values written before the package, by hand or by another tool, and never given to
// it: a REG_SZ and a REG_EXPAND_SZ keep their types and texts through a first install,
// an upgrade, a reinstall and the uninstall.
static void ValuesWrittenBeforeKept(CaseEnv *e, const Packages &p)
{
    const char expandable[] = "%SystemDrive%\\Velmora.nsf";
    SetSettingsValue("LN_Appli", e->client.c_str(), KEY_WOW64_32KEY);
    SetSettingsBytes("LN_Base", REG_EXPAND_SZ, std::string(expandable, sizeof expandable),
                     KEY_WOW64_32KEY);
    std::string before = SettingsValue("LN_Appli") + "|" + SettingsValue("LN_Base");
    same_text(before, "1:" + e->client + "|2:" + expandable, "the values written before");
    const std::string steps[] = {"/i " + Quoted(p.lower), "/i " + Quoted(p.release),
                                 "/i " + Quoted(p.release) + " REINSTALL=ALL REINSTALLMODE=vomus",
                                 "/x " + Quoted(p.release)};
    for (const std::string &step : steps) {
        DWORD code = Msiexec(step);
        ok(code == 0, "msiexec %s: exit code %lu", step.c_str(), code);
        same_text(SettingsValue("LN_Appli") + "|" + SettingsValue("LN_Base"), before,
                  ("the values after msiexec " + step).c_str());
    }
    ok(RelatedProducts(p) == 0, "no product left");
    RemoveSettingsKey(KEY_WOW64_32KEY);
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
    HKEY record;
    ok(RegOpenKeyExA(HKEY_LOCAL_MACHINE, RecordKey, 0, KEY_SET_VALUE | KEY_WOW64_32KEY,
                     &record) == ERROR_SUCCESS &&
           RegDeleteValueA(record, "LN_Base") == ERROR_SUCCESS,
       "the package's remembered LN_Base deleted");
    RegCloseKey(record);
    code = Msiexec("/i " + Quoted(p.release) + " REINSTALL=ALL REINSTALLMODE=vomus");
    ok(code == 0, "the reinstall: exit code %lu", code);
    DWORD type = NoValue;
    MachineText(RecordKey, "WroteLN_Base", &type);
    ok(type == NoValue, "the component of LN_Base removed: its record WroteLN_Base gone");
    same_text(MachineText(SettingsKey, "LN_Appli"), e->client, "LN_Appli kept");
}

static const CaseEntry cases[] = {
    {"install_upgrade_repair_remove", WithPackages<InstallUpgradeRepairRemove>},
    {"first_install_refusals", WithPackages<FirstInstallRefusals>},
    {"planted_doctor_never_run", WithPackages<PlantedDoctorNeverRun>},
    {"install_folder_choice", WithPackages<InstallFolderChoice>},
    {"values_written_before_kept", WithPackages<ValuesWrittenBeforeKept>},
    // What Wine's msiexec does not do as Windows Installer does.
    {"another_build_1638", WithPackages<AnotherBuild1638>, 0, 0, NEEDS_WINDOWS},
    {"another_install_running_1618", WithPackages<AnotherInstallRunning1618>, 0, 0, NEEDS_WINDOWS},
    {"repair_with_letters", WithPackages<RepairWithLetters>, 0, 0, NEEDS_WINDOWS},
    {"transitive_removal", WithPackages<TransitiveRemoval>, 0, 0, NEEDS_WINDOWS},
};

int main(int argc, char **argv)
{
    return RunCases(cases, sizeof cases / sizeof cases[0], argc, argv);
}
