// velmora-check.exe: the release proved on a test machine.  Runs, from its own folder,
// every suite shipped beside it (the stand-in library's check, the program's
// resources, the stack guard, the end-to-end suites), each as a child with its output
// in velmora-check-logs\<suite>.log, and prints one line per suite, the cases the
// machine could not run with the reason, and "N passed, M failed" (suites).  The same
// goes to velmora-check-report.txt, headed by what the machine is, with the whole log
// of each suite that failed.  check.cmd starts it from an elevated prompt.
//
//   velmora-check.exe [/devices] [/installer] [suite[:case] ...]
//   velmora-check.exe /cleanup
//
// /devices lets the cases open COM1 and LPT1; /installer adds the installer's suite,
// which installs, upgrades, repairs and removes the release's package shipped beside
// it; "suite:case" runs only that case of the suite.  The cases work in a folder made
// new for the run in the administrator's own temporary folder, which only
// Administrators and SYSTEM may open, and removed at the end.  It refuses to run,
// saying why, when it is not elevated, when that folder exists (a run was
// interrupted: /cleanup puts the machine back), when the program's settings key
// exists in either registry view (every case deletes it) or when a Notes client is
// running (the cases close its windows); with /installer, also when the package is
// missing or a product of its UpgradeCode is installed (the suite would remove it).
// Exit code 0 when every suite run passed, 1 when one failed, 2 when it refused or an
// argument named no suite.
#include "testkit/wine/files.h"
#include "testkit/wine/harness.h"
#include "testkit/wine/machine.h"
#include "testkit/wine/package.h"
#include "tools/common/args.h"
#include "tools/common/say.h"

#include <aclapi.h>
#include <sddl.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

struct Suite {
    const char *name;           // as ctest names it
    const char *commandLine;    // run in this program's folder
    DWORD exitCode;             // what a pass ends with
    bool counted;               // prints "N passed, N failed", which must show no failure
    const char *option;         // the option that adds it, or NULL when it always runs
};

// The suites, in the order they run: generated from the one list of suites
// (tests/e2e/CMakeLists.txt).
static const Suite Suites[] = {
#include "check_suites.h"
};
static const size_t SuiteCount = sizeof Suites / sizeof Suites[0];
static const DWORD SuiteTimeLimitMs = 30 * 60 * 1000;
static const char ReportName[] = "velmora-check-report.txt";
static const char LogFolder[] = "velmora-check-logs";
static const char RunFolder[] = "velmora check";     // in the temporary folder
static const char RunRecord[] = "run.txt";              // in the run's folder
static const char SettingsKey[] = "SOFTWARE\\Zabrel\\Velmora\\Stellwick";

static FILE *g_report;
// Each line printed and written to the report, once it is open.
static Voice g_say = {stdout, NULL, NULL};

// Why the machine must not be used as it is, or NULL.
static const char *Refusal(const std::string &root, bool installer, char *why, size_t size)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_CREATE_SUB_KEY, &key) !=
        ERROR_SUCCESS)
        return "not elevated: run check.cmd from a command prompt opened with \"Run as "
               "administrator\"";
    RegCloseKey(key);
    if (FileExists(root)) {
        snprintf(why, size, "%s exists: a run was interrupted, or another is running; "
                 "when none is, run \"check.cmd /cleanup\" to put the machine back", root.c_str());
        return why;
    }
    const REGSAM views[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
    const char *names[] = {"32-bit", "64-bit"};
    for (int i = 0; i < 2; ++i) {
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SettingsKey, 0, KEY_READ | views[i], &key) ==
            ERROR_SUCCESS) {
            RegCloseKey(key);
            snprintf(why, size, "HKLM\\%s exists in the %s registry view: every case deletes "
                     "it; use a machine without the product, or export the key and delete it "
                     "first", SettingsKey, names[i]);
            return why;
        }
    }
    if (FindWindowA("NOTES", NULL) != NULL)
        return "a Notes client is running (a window of class NOTES): the cases would close "
               "its \"Velmora -\" windows and start clients of their own; close it first";
    if (!installer)
        return NULL;
    std::string package = FindPackage(OwnFolder());
    if (package.empty())
        return "/installer: no single velmora-notes-*.msi beside check.cmd";
    std::string product = InstalledRelatedProduct(PackageProperty(package, "UpgradeCode"));
    if (!product.empty()) {
        snprintf(why, size, "/installer: the product is installed (%s): the suite installs "
                 "and removes it; use a machine without it, or leave out /installer",
                 product.c_str());
        return why;
    }
    return NULL;
}

struct Outcome {
    bool started, hung;
    DWORD exitCode, elapsedMs, startError;
    int checksPassed, checksFailed;     // -1 when no closing line
    std::vector<std::string> failedCases, skipped;  // skipped: "<case> (<reason>)"
    int cases;
};

// Runs one suite with its output in `log`.
static Outcome RunSuite(const std::string &commandLine, const std::string &log)
{
    Outcome o = {};
    o.checksPassed = o.checksFailed = -1;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE out = CreateFileA(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, 0, NULL);
    PROCESS_INFORMATION process;
    DWORD start = GetTickCount();
    o.started = out != INVALID_HANDLE_VALUE &&
                StartProgram(commandLine, &process, 0, out);
    o.startError = GetLastError();
    if (out != INVALID_HANDLE_VALUE)
        CloseHandle(out);
    if (!o.started)
        return o;
    if (WaitForSingleObject(process.hProcess, SuiteTimeLimitMs) == WAIT_TIMEOUT) {
        o.hung = true;
        TerminateProcess(process.hProcess, 0xDEAD);
        WaitForSingleObject(process.hProcess, 5000);
    }
    GetExitCodeProcess(process.hProcess, &o.exitCode);
    o.elapsedMs = GetTickCount() - start;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    std::vector<std::string> lines = FileLines(log);
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string &l = lines[i];
        int p, f;
        char rest;
        if (sscanf(l.c_str(), "%d passed, %d failed%c", &p, &f, &rest) == 2) {
            o.checksPassed = p;
            o.checksFailed = f;
        }
        size_t colon = l.find(": ");
        if (colon == std::string::npos || l.find_first_of(" :") != colon)
            continue;
        std::string what = l.substr(colon + 2);
        if (what.compare(0, 4, "ok (") == 0)
            ++o.cases;
        else if (what.compare(0, 8, "FAILED (") == 0)
            ++o.cases, o.failedCases.push_back(l.substr(0, colon));
        else if (what.compare(0, 9, "skipped (") == 0 && what[what.size() - 1] == ')')
            o.skipped.push_back(l.substr(0, colon) + " " + what.substr(8));
    }
    return o;
}

enum Verdict { PASSED, FAILED, SKIPPED };

// The suite's line, and whether it passed: exit code 0, no failed check and no case
// line saying FAILED.  A suite whose every case was skipped is skipped; a suite that
// ran nothing for any other reason failed.
static Verdict Judge(const Suite &suite, const Outcome &o, const std::string &log)
{
    const char *name = suite.name;
    double seconds = o.elapsedMs / 1000.0;
    if (!o.started) {
        Say(&g_say, "%s: FAILED (cannot start %s: error %lu)", name, suite.commandLine,
            o.startError);
        return FAILED;
    }
    if (o.hung) {
        Say(&g_say, "%s: FAILED (still running after %lu minutes, ended; log: %s)", name,
            SuiteTimeLimitMs / 60000, log.c_str());
        return FAILED;
    }
    if (!suite.counted) {
        bool good = o.exitCode == suite.exitCode;
        Say(&g_say, "%s: %s (exit code 0x%lX, expected 0x%lX)", name, good ? "passed" : "FAILED",
            o.exitCode, suite.exitCode);
        return good ? PASSED : FAILED;
    }
    bool clean = o.exitCode == 0 && o.checksFailed == 0 && o.failedCases.empty();
    if (clean && o.checksPassed > 0) {
        if (o.cases == 0)
            Say(&g_say, "%s: passed (%d checks, %.0f s)", name, o.checksPassed, seconds);
        else
            Say(&g_say, "%s: passed (%d cases run, %u skipped, %d checks, %.0f s)", name, o.cases,
                (unsigned)o.skipped.size(), o.checksPassed, seconds);
        return PASSED;
    }
    if (clean && o.cases == 0 && !o.skipped.empty()) {
        Say(&g_say, "%s: skipped (every case: %s)", name, o.skipped[0].c_str());
        return SKIPPED;
    }
    std::string cases;
    for (size_t i = 0; i < o.failedCases.size(); ++i)
        cases += (i > 0 ? ", " : "") + o.failedCases[i];
    Say(&g_say, "%s: FAILED (exit code %lu, %d checks failed%s%s; log: %s)", name, o.exitCode,
        o.checksFailed, cases.empty() ? "" : ", in ", cases.c_str(), log.c_str());
    return FAILED;
}

// The suite an argument names ("suite" or "suite:case"), or NULL.
static const Suite *Named(const char *argument)
{
    size_t length = strcspn(argument, ":");
    for (size_t j = 0; j < SuiteCount; ++j) {
        if (strlen(Suites[j].name) == length && strncmp(argument, Suites[j].name, length) == 0)
            return &Suites[j];
    }
    return NULL;
}

enum { OPT_DEVICES, OPT_INSTALLER, OPT_CLEANUP, OPTION_COUNT };
static const ArgOption Options[] = {
    {"/devices", OPT_DEVICES, ARG_FLAG, false},
    {"/installer", OPT_INSTALLER, ARG_FLAG, false},
    {"/cleanup", OPT_CLEANUP, ARG_FLAG, false},
};

// What the command line asks for.
struct Request {
    bool given[OPTION_COUNT];           // by option
    std::vector<const char *> suites;   // as written: "suite" or "suite:case"
};

// The request, or false, saying why, when an argument is no option and names no suite.
static bool Read(int argc, char **argv, Request *request)
{
    ArgReader reader = ArgsOf(Options, sizeof Options / sizeof Options[0], argc, argv, 1, false);
    for (Arg a = NextArg(&reader); a.event != ARG_END; a = NextArg(&reader)) {
        if (a.event == ARG_OPTION) {
            request->given[a.id] = true;
        } else if (a.event == ARG_OPERAND && Named(a.text) != NULL) {
            request->suites.push_back(a.text);
        } else {
            fprintf(stderr, "velmora-check: no option or suite is named %s\n"
                            "usage: check.cmd [/devices] [/installer] [suite[:case] ...]\n"
                            "       check.cmd /cleanup\n", a.text);
            return false;
        }
    }
    return true;
}

// Whether `suite` runs, and its command line: every case when no argument names it
// (or none names a suite), the cases named "suite:case" otherwise; an optional suite
// only with its option.
static bool Wanted(const Suite &suite, const Request &request, std::string *commandLine)
{
    for (int k = 0; suite.option != NULL && k < OPTION_COUNT; ++k) {
        if (strcmp(suite.option, Options[k].name) == 0 && !request.given[k])
            return false;
    }
    *commandLine = suite.commandLine;
    bool thisSuite = false;
    for (size_t i = 0; i < request.suites.size(); ++i) {
        const char *argument = request.suites[i];
        if (Named(argument) != &suite)
            continue;
        thisSuite = true;
        if (const char *colon = strchr(argument, ':'))
            *commandLine += std::string(" ") + (colon + 1);
    }
    return thisSuite || request.suites.empty();
}

static void AppendLog(const std::string &log)
{
    fprintf(g_report, "\r\n----- %s\r\n", log.c_str());
    std::vector<std::string> lines = FileLines(log);
    for (size_t i = 0; i < lines.size(); ++i)
        fprintf(g_report, "%s\r\n", lines[i].c_str());
}

// The run's folder: in the temporary folder of whoever runs the check (the elevated
// administrator's own), so that no standard user can have made it first or reach into
// it, and made new, with an access list of its own, not inherited: Administrators and
// SYSTEM (the installer's service), full control, for the folder and what it holds;
// the user who runs the check, read and execute (FRFX).  The doctor's cases start it
// under the filtered token, in which Administrators is deny-only and the user SID is
// kept: without its own ACE it could open nothing here.  Where it must write, a case
// allows it on data folders only (AllowUser), never where the elevated run runs or
// loads code.
// https://learn.microsoft.com/en-us/windows/win32/api/fileapi/nf-fileapi-gettemppatha
// https://learn.microsoft.com/en-us/windows/win32/secauthz/security-descriptor-string-format
// https://learn.microsoft.com/en-us/windows/win32/secauthz/ace-strings ("P": protected)
// https://learn.microsoft.com/en-us/windows/security/application-security/application-control/user-account-control/how-it-works
static std::string RunRoot()
{
    char temp[MAX_PATH];
    DWORD n = GetTempPathA(sizeof temp, temp);
    return std::string(temp, n < sizeof temp ? n : 0) + RunFolder;
}

static bool MakeRunRoot(const std::string &root)
{
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, NULL, FALSE};
    std::string user = UserSid();
    std::string sddl = "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;FRFX;;;" + user + ")";
    if (user.empty() ||
        !ConvertStringSecurityDescriptorToSecurityDescriptorA(
            sddl.c_str(), SDDL_REVISION_1, &attributes.lpSecurityDescriptor, NULL))
        return false;
    // Fails when the folder exists, whoever made it in between.
    bool made = CreateDirectoryA(root.c_str(), &attributes) != 0;
    LocalFree(attributes.lpSecurityDescriptor);
    return made;
}

// Someone other than Administrators, SYSTEM and TrustedInstaller allowed to add,
// replace or delete files in `folder`, as a SID string ("no access list" when the
// folder has none, which lets everyone in); empty when there is none or the folder's
// access list cannot be read.  A suite, a library or check.cmd replaced there would
// run with the administrator's rights.
// https://learn.microsoft.com/en-us/windows/win32/api/aclapi/nf-aclapi-getnamedsecurityinfoa
// https://learn.microsoft.com/en-us/windows/win32/fileio/file-access-rights-constants
static std::string WriterOtherThanAdministrators(const std::string &folder)
{
    PACL dacl = NULL;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    if (GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, NULL,
                              NULL, &dacl, NULL, &descriptor) != ERROR_SUCCESS)
        return "";
    std::string writer = dacl == NULL ? "no access list" : "";
    const ACCESS_MASK writes = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD |
                               DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    for (DWORD i = 0; dacl != NULL && writer.empty() && i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE *ace;
        if (!GetAce(dacl, i, (void **)&ace) || ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
            (ace->Header.AceFlags & INHERIT_ONLY_ACE) || !(ace->Mask & writes))
            continue;
        PSID sid = &ace->SidStart;
        char *text = NULL;
        if (!ConvertSidToStringSidA(sid, &text))
            continue;
        if (!IsWellKnownSid(sid, WinBuiltinAdministratorsSid) &&
            !IsWellKnownSid(sid, WinLocalSystemSid) &&
            strncmp(text, "S-1-5-80-956008885-", 19) != 0)     // TrustedInstaller
            writer = text;
        LocalFree(text);
    }
    LocalFree(descriptor);
    return writer;
}

// Puts the machine back after a run that did not end (Ctrl+C, a crash), from what the
// run recorded in its folder: the processes started from the folder ended, the
// settings key removed with the parents the run made, the products of the release's
// UpgradeCode removed when the run had /installer (it refused to start with one
// installed), the folder deleted without following a link in it.
static int Cleanup(const std::string &root)
{
    if (!FileExists(root)) {
        Say(&g_say, "nothing to put back: no %s", root.c_str());
        return 0;
    }
    Say(&g_say, "putting back what the run in %s left", root.c_str());
    std::vector<std::string> record = FileLines(root + "\\" + RunRecord);
    unsigned found32 = 3, found64 = 3;
    int installer = 0;
    for (size_t i = 0; i < record.size(); ++i) {
        sscanf(record[i].c_str(), "parents %u %u", &found32, &found64);
        sscanf(record[i].c_str(), "installer %d", &installer);
    }
    Say(&g_say, "processes ended: %d", EndProcessesUnder(root));
    PresumeSettingsParents(0, found32);
    RemoveSettingsKey();
    if (Is64BitWindows()) {
        PresumeSettingsParents(KEY_WOW64_64KEY, found64);
        RemoveSettingsKey(KEY_WOW64_64KEY);
    }
    std::string package = FindPackage(OwnFolder());
    std::string product;
    while (installer == 1 && !package.empty() &&
           !(product = InstalledRelatedProduct(PackageProperty(package, "UpgradeCode"))).empty()) {
        std::string line = "\"" + SystemPath("msiexec.exe") + "\" /x " + product + " /qn";
        RunResult r = RunAndAnswer(line, 300000);
        Say(&g_say, "removed %s: exit code %lu", product.c_str(), r.exitCode);
        if (r.exitCode != 0)
            break;
    }
    if (!DeleteTree(root)) {
        Say(&g_say, "%s is still there (a link in it is removed, never followed; remove what is "
            "left by hand)", root.c_str());
        return 1;
    }
    Say(&g_say, "%s removed", root.c_str());
    return 0;
}

int main(int argc, char **argv)
{
    Request request = {};
    if (!Read(argc, argv, &request))
        return 2;
    if (request.given[OPT_DEVICES])
        SetEnvironmentVariableA("VELMORA_CHECK_DEVICES", "1");
    std::string folder = OwnFolder(), root = RunRoot();
    SetCurrentDirectoryA(folder.c_str());
    // The suites inherit the error mode: a crash or a missing library ends a child at
    // once instead of waiting on a box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    if (request.given[OPT_CLEANUP])
        return Cleanup(root);
    g_report = fopen(ReportName, "wb");
    g_say.copy = g_report;

    time_t now = time(NULL);
    char when[64];
    strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", localtime(&now));
    Say(&g_say, "velmora-check, %s, in %s", when, folder.c_str());
    char why[512];
    const char *refused = Refusal(root, request.given[OPT_INSTALLER], why, sizeof why);
    if (refused == NULL && !MakeRunRoot(root)) {
        snprintf(why, sizeof why, "cannot make %s: error %lu", root.c_str(), GetLastError());
        refused = why;
    }
    Say(&g_say, "machine: %s, %s, ANSI code page %u, OEM code page %u, 8.3 names %s in %s",
        WindowsDescription().c_str(), Is64BitWindows() ? "64-bit" : "32-bit", GetACP(),
        GetOEMCP(), refused != NULL ? "not checked" : MakesShortNames(root) ? "on" : "off",
        root.c_str());
    std::string writer = WriterOtherThanAdministrators(folder);
    if (!writer.empty())
        Say(&g_say, "attention: %s can be written by %s, not only by administrators: what runs "
            "elevated from it could have been replaced; unzip the check into a folder only "
            "administrators can write (windows-check.md)", folder.c_str(), writer.c_str());
    if (refused != NULL) {
        Say(&g_say, "refused: %s", refused);
        Say(&g_say, "0 passed, 1 failed");
        return 2;
    }
    char record[64];
    snprintf(record, sizeof record, "parents %u %u\r\ninstaller %d\r\n",
             SettingsParentsFound(0), Is64BitWindows() ? SettingsParentsFound(KEY_WOW64_64KEY) : 3,
             (int)request.given[OPT_INSTALLER]);
    WriteBytes(root + "\\" + RunRecord, record);
    SetEnvironmentVariableA("VELMORA_WORK_ROOT", root.c_str());

    MakeFolder(folder + "\\" + LogFolder);
    int passed = 0, failed = 0;
    std::vector<std::string> skipped, failedLogs;
    for (size_t i = 0; i < SuiteCount; ++i) {
        std::string commandLine;
        if (!Wanted(Suites[i], request, &commandLine))
            continue;
        std::string log = std::string(LogFolder) + "\\" + Suites[i].name + ".log";
        Outcome o = RunSuite(commandLine, log);
        Verdict v = Judge(Suites[i], o, log);
        passed += v == PASSED;
        failed += v == FAILED;
        if (v == FAILED)
            failedLogs.push_back(log);
        for (size_t k = 0; k < o.skipped.size(); ++k)
            skipped.push_back(std::string(Suites[i].name) + " " + o.skipped[k]);
    }
    for (size_t k = 0; k < skipped.size(); ++k)
        Say(&g_say, "skipped: %s", skipped[k].c_str());
    if (!DeleteTree(root)) {
        Say(&g_say, "FAILED: %s cannot be removed: run \"check.cmd /cleanup\"", root.c_str());
        ++failed;
    }
    Say(&g_say, "%d passed, %d failed", passed, failed);
    if (g_report != NULL) {
        for (size_t k = 0; k < failedLogs.size(); ++k)
            AppendLog(failedLogs[k]);
        fclose(g_report);
    }
    return failed == 0 ? 0 : 1;
}
