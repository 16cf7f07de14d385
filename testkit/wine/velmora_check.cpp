// velmora-check.exe: the release proved on a test machine.  Runs, from its own folder,
// every suite shipped beside it (the stand-in library's check, the program's
// resources, the stack guard, the end-to-end suites), each as a child with its output
// in velmora-check-logs\<suite>.log, and prints one line per suite, the cases the
// machine could not run with the reason, and "N passed, M failed" (suites).  The same
// goes to velmora-check-report.txt, headed by what the machine is, with the whole log
// of each suite that failed.  check.cmd starts it from an elevated prompt.
//
//   velmora-check.exe [/devices] [/installer] [suite ...]
//
// /devices lets the cases open COM1 and LPT1; /installer adds the installer's suite,
// which installs, upgrades, repairs and removes the release's package shipped beside
// it.  It refuses to run, saying why, when it is not elevated, when the program's
// settings key exists in either registry view (every case deletes it) or when a Notes
// client is running (the cases close its windows); with /installer, also when the
// package is missing or a product of its UpgradeCode is installed (the suite would
// remove it).  Exit code 0 when every suite run passed, 1 when one failed, 2 when it
// refused or an argument named no suite.
#include "testkit/wine/files.h"
#include "testkit/wine/harness.h"
#include "testkit/wine/machine.h"
#include "testkit/wine/package.h"

#include <stdarg.h>
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

// The stack guard's proof is its exit code: STATUS_STACK_BUFFER_OVERRUN, 0xC0000409,
// from the program's own failure routine (tests/pe/stack_smash.cpp tells the others).
static const Suite Suites[] = {
    {"standins", "standin-check.exe", 0, true, NULL},
    {"program_resources", "resources_check.exe velmora-notes.exe", 0, true, NULL},
    {"stack_smash_caught", "stack-smash.exe", 0xC0000409, false, NULL},
    {"e2e", "velmora-e2e.exe", 0, true, NULL},
    {"e2e_wow64", "velmora-e2e.exe --wow64", 0, true, NULL},
    {"e2e_ansi_1250", "velmora-e2e.exe --ansi-1250", 0, true, NULL},
    {"e2e_hostile", "velmora-e2e-hostile.exe", 0, true, NULL},
    {"installer", "velmora-e2e-installer.exe", 0, true, "/installer"},
};
static const size_t SuiteCount = sizeof Suites / sizeof Suites[0];
static const DWORD SuiteTimeLimitMs = 30 * 60 * 1000;
static const char ReportName[] = "velmora-check-report.txt";
static const char LogFolder[] = "velmora-check-logs";
static const char WorkRoot[] = "C:\\velmora e2e work";
static const char SettingsKey[] = "SOFTWARE\\Zabrel\\Velmora\\Stellwick";

static FILE *g_report;

// Prints a line and writes it to the report.
static void Say(const char *format, ...) __attribute__((format(printf, 1, 2)));
static void Say(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    printf("\n");
    fflush(stdout);
    if (g_report != NULL) {
        va_start(args, format);
        vfprintf(g_report, format, args);
        va_end(args);
        fprintf(g_report, "\r\n");
        fflush(g_report);
    }
}

// Why the machine must not be used as it is, or NULL.
static const char *Refusal(bool installer, char *why, size_t size)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_CREATE_SUB_KEY, &key) !=
        ERROR_SUCCESS)
        return "not elevated: run check.cmd from a command prompt opened with \"Run as "
               "administrator\"";
    RegCloseKey(key);
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
    DWORD exitCode, elapsedMs;
    int checksPassed, checksFailed;     // -1 when no closing line
    std::vector<std::string> failedCases, skipped;  // skipped: "<case> (<reason>)"
    int cases;
};

// Runs one suite with its output in `log`.
static Outcome RunSuite(const Suite &suite, const std::string &log)
{
    Outcome o = {};
    o.checksPassed = o.checksFailed = -1;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE out = CreateFileA(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, 0, NULL);
    PROCESS_INFORMATION process;
    DWORD start = GetTickCount();
    o.started = out != INVALID_HANDLE_VALUE &&
                StartProgram(suite.commandLine, &process, 0, out);
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

// The suite's line, and whether it passed.  A suite whose every case was skipped is
// skipped; a suite that ran nothing for any other reason failed.
static Verdict Judge(const Suite &suite, const Outcome &o, const std::string &log)
{
    const char *name = suite.name;
    double seconds = o.elapsedMs / 1000.0;
    if (!o.started) {
        Say("%s: FAILED (cannot start %s: error %lu)", name, suite.commandLine, GetLastError());
        return FAILED;
    }
    if (o.hung) {
        Say("%s: FAILED (still running after %lu minutes, ended; log: %s)", name,
            SuiteTimeLimitMs / 60000, log.c_str());
        return FAILED;
    }
    if (!suite.counted) {
        bool good = o.exitCode == suite.exitCode;
        Say("%s: %s (exit code 0x%lX, expected 0x%lX)", name, good ? "passed" : "FAILED",
            o.exitCode, suite.exitCode);
        return good ? PASSED : FAILED;
    }
    if (o.exitCode == 0 && o.checksFailed == 0 && o.checksPassed > 0) {
        if (o.cases == 0)
            Say("%s: passed (%d checks, %.0f s)", name, o.checksPassed, seconds);
        else
            Say("%s: passed (%d cases run, %u skipped, %d checks, %.0f s)", name, o.cases,
                (unsigned)o.skipped.size(), o.checksPassed, seconds);
        return PASSED;
    }
    if (o.exitCode == 0 && o.checksFailed == 0 && o.cases == 0 && !o.skipped.empty()) {
        Say("%s: skipped (every case: %s)", name, o.skipped[0].c_str());
        return SKIPPED;
    }
    std::string cases;
    for (size_t i = 0; i < o.failedCases.size(); ++i)
        cases += (i > 0 ? ", " : "") + o.failedCases[i];
    Say("%s: FAILED (exit code %lu, %d checks failed%s%s; log: %s)", name, o.exitCode,
        o.checksFailed, cases.empty() ? "" : ", in ", cases.c_str(), log.c_str());
    return FAILED;
}

static bool Given(const char *option, int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], option) == 0)
            return true;
    }
    return false;
}

// A suite runs when named, or when no suite is named; an optional one only with its
// option.
static bool Wanted(const Suite &suite, int argc, char **argv)
{
    if (suite.option != NULL && !Given(suite.option, argc, argv))
        return false;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '/')
            return Given(suite.name, argc, argv);
    }
    return true;
}

static void AppendLog(const std::string &log)
{
    std::string bytes;
    ReadBytes(log, &bytes);
    fprintf(g_report, "\r\n----- %s\r\n", log.c_str());
    std::vector<std::string> lines = Lines(bytes);
    for (size_t i = 0; i < lines.size(); ++i)
        fprintf(g_report, "%s\r\n", lines[i].c_str());
}

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        bool known = strcmp(argv[i], "/devices") == 0 || strcmp(argv[i], "/installer") == 0;
        for (size_t j = 0; j < SuiteCount && !known; ++j)
            known = strcmp(argv[i], Suites[j].name) == 0;
        if (!known) {
            fprintf(stderr, "velmora-check: no option or suite is named %s\n"
                            "usage: check.cmd [/devices] [/installer] [suite ...]\n", argv[i]);
            return 2;
        }
        if (strcmp(argv[i], "/devices") == 0)
            SetEnvironmentVariableA("VELMORA_CHECK_DEVICES", "1");
    }
    std::string folder = OwnFolder();
    SetCurrentDirectoryA(folder.c_str());
    // The suites inherit the error mode: a crash or a missing library ends a child at
    // once instead of waiting on a box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    g_report = fopen(ReportName, "wb");

    time_t now = time(NULL);
    char when[64];
    strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", localtime(&now));
    bool madeRoot = !FileExists(WorkRoot) && MakeFolder(WorkRoot);
    Say("velmora-check, %s, in %s", when, folder.c_str());
    Say("machine: %s, %s, ANSI code page %u, OEM code page %u, 8.3 names %s in %s",
        WindowsDescription().c_str(), Is64BitWindows() ? "64-bit" : "32-bit", GetACP(),
        GetOEMCP(), MakesShortNames(WorkRoot) ? "on" : "off", WorkRoot);

    char why[512];
    if (const char *refused = Refusal(Given("/installer", argc, argv), why, sizeof why)) {
        Say("refused: %s", refused);
        Say("0 passed, 1 failed");
        if (madeRoot)
            RemoveDirectoryA(WorkRoot);
        return 2;
    }

    MakeFolder(folder + "\\" + LogFolder);
    int passed = 0, failed = 0;
    std::vector<std::string> skipped, failedLogs;
    for (size_t i = 0; i < SuiteCount; ++i) {
        if (!Wanted(Suites[i], argc, argv))
            continue;
        std::string log = std::string(LogFolder) + "\\" + Suites[i].name + ".log";
        Outcome o = RunSuite(Suites[i], log);
        Verdict v = Judge(Suites[i], o, log);
        passed += v == PASSED;
        failed += v == FAILED;
        if (v == FAILED)
            failedLogs.push_back(log);
        for (size_t k = 0; k < o.skipped.size(); ++k)
            skipped.push_back(std::string(Suites[i].name) + " " + o.skipped[k]);
    }
    for (size_t k = 0; k < skipped.size(); ++k)
        Say("skipped: %s", skipped[k].c_str());
    if (madeRoot)
        RemoveDirectoryA(WorkRoot);
    Say("%d passed, %d failed", passed, failed);
    if (g_report != NULL) {
        for (size_t k = 0; k < failedLogs.size(); ++k)
            AppendLog(failedLogs[k]);
        fclose(g_report);
    }
    return failed == 0 ? 0 : 1;
}
