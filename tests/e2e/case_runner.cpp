// The case loop of the end-to-end test programs.
#include "tests/e2e/case_runner.h"

#include "testkit/wine/machine.h"
#include "tools/common/args.h"

#include <algorithm>
#include <stdio.h>
#include <string.h>

// A program that crashes must end then and there, its exit code the exception's, and
// a loader that misses a library must fail rather than ask: the error mode, which
// every child inherits, keeps the critical-error and Windows Error Reporting boxes
// away (a case that must see the loader's own box starts its child with
// CREATE_DEFAULT_ERROR_MODE).  Under Wine the crash debugger shows a dialog of its
// own, turned off by Wine's key.
// https://learn.microsoft.com/en-us/windows/win32/api/errhandlingapi/nf-errhandlingapi-seterrormode
static void NoCrashBoxes()
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    if (!RunningOnWine())
        return;
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\WineDbg", 0, NULL, 0,
                        KEY_SET_VALUE, NULL, &key, NULL) != ERROR_SUCCESS)
        return;
    DWORD zero = 0;
    RegSetValueExA(key, "ShowCrashDialog", 0, REG_DWORD, (const BYTE *)&zero, sizeof zero);
    RegCloseKey(key);
}

// Why the machine cannot run `c`, or NULL when it can.
static const char *Unmet(const CaseEntry &c, char *why, size_t size)
{
    UINT ansi = GetACP(), oem = GetOEMCP();
    if ((c.ansi != 0 && c.ansi != ansi) || (c.oem != 0 && c.oem != oem)) {
        if (c.oem != 0)
            snprintf(why, size, "needs ANSI %u and OEM %u, the machine has ANSI %u and OEM %u",
                     c.ansi, c.oem, ansi, oem);
        else
            snprintf(why, size, "needs ANSI %u, the machine has ANSI %u", c.ansi, ansi);
        return why;
    }
    if ((c.needs & NEEDS_WINDOWS) && RunningOnWine())
        return "Wine";
    if ((c.needs & NEEDS_64BIT_WINDOWS) && !Is64BitWindows())
        return "needs 64-bit Windows";
    if (c.needs & NEEDS_LINKED_TOKEN)
        return NoLinkedToken();
    return NULL;
}

bool CaseMayOpenDevices()
{
    char devices[8];
    return RunningOnWine() ||
           (GetEnvironmentVariableA("VELMORA_CHECK_DEVICES", devices, sizeof devices) == 1 &&
            devices[0] == '1');
}

int RunCases(const CaseEntry *cases, size_t count, int argc, char **argv, int first)
{
    NoCrashBoxes();
    std::vector<std::string> named;
    ArgReader reader = ArgsOf(NULL, 0, argc, argv, first, false);
    for (Arg a = NextArg(&reader); a.event != ARG_END; a = NextArg(&reader)) {
        bool known = false;
        for (size_t j = 0; j < count && a.event == ARG_OPERAND && !known; ++j)
            known = strcmp(a.text, cases[j].name) == 0;
        ok(known, "some case is named %s", a.text);
        named.push_back(a.text);
    }

    for (size_t i = 0; i < count; ++i) {
        if (!named.empty() && std::find(named.begin(), named.end(), cases[i].name) == named.end())
            continue;
        char why[160];
        if (const char *reason = Unmet(cases[i], why, sizeof why)) {
            printf("%s: skipped (%s)\n", cases[i].name, reason);
            fflush(stdout);
            continue;
        }
        g_caseName = cases[i].name;
        int passedBefore, failedBefore, passedAfter, failedAfter;
        CheckTotals(&passedBefore, &failedBefore);
        DWORD start = GetTickCount();
        CaseEnv e;
        if (BeginCase(&e))
            cases[i].run(&e);
        EndCase(&e);
        CheckTotals(&passedAfter, &failedAfter);
        printf("%s: %s (%d checks, %lu ms)\n", cases[i].name,
               failedAfter > failedBefore ? "FAILED" : "ok",
               passedAfter + failedAfter - passedBefore - failedBefore,
               GetTickCount() - start);
        fflush(stdout);
    }
    g_caseName = "";
    return CheckSummary();
}

int RunCaseLists(const CaseList *const *lists, size_t listCount,
                 bool (*wanted)(const CaseEntry &c), int argc, char **argv, int first)
{
    std::vector<CaseEntry> cases;
    for (size_t i = 0; i < listCount; ++i) {
        for (size_t j = 0; j < lists[i]->count; ++j) {
            if (wanted == NULL || wanted(lists[i]->cases[j]))
                cases.push_back(lists[i]->cases[j]);
        }
    }
    return RunCases(cases.data(), cases.size(), argc, argv, first);
}
