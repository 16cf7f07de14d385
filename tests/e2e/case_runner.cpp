// The case loop of the end-to-end test programs.
#include "tests/e2e/case_runner.h"

#include <stdio.h>
#include <string.h>

static bool Named(const char *name, int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], name) == 0)
            return true;
    }
    return false;
}

// A program that crashes must end then and there, its exit code the exception's:
// under Wine the crash debugger would otherwise wait on a dialog nobody answers.
static void NoCrashDialog()
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\WineDbg", 0, NULL, 0,
                        KEY_SET_VALUE, NULL, &key, NULL) != ERROR_SUCCESS)
        return;
    DWORD zero = 0;
    RegSetValueExA(key, "ShowCrashDialog", 0, REG_DWORD, (const BYTE *)&zero, sizeof zero);
    RegCloseKey(key);
}

int RunCases(const CaseEntry *cases, size_t count, int argc, char **argv, UINT ansiPage,
             UINT oemPage)
{
    // The cases expect the code pages of French Windows (tools/wine.env sets them):
    // under any other pair, the memo's OEM texts would not be those of our users.
    UINT ansi = GetACP(), oem = GetOEMCP();
    if (!ok(ansi == ansiPage && oem == oemPage, "code pages ANSI %u and OEM %u, not %u and %u",
            ansiPage, oemPage, ansi, oem)) {
        printf("0 passed, 1 failed: run under the locale of tools/wine.env, or of the ctest "
               "entry\n");
        return 1;
    }
    NoCrashDialog();
    for (int i = 1; i < argc; ++i) {
        bool known = false;
        for (size_t j = 0; j < count && !known; ++j)
            known = strcmp(argv[i], cases[j].name) == 0;
        ok(known, "some case is named %s", argv[i]);
    }

    for (size_t i = 0; i < count; ++i) {
        if (argc > 1 && !Named(cases[i].name, argc, argv))
            continue;
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
