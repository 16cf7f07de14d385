// Running a table of end-to-end cases, each in its own fresh world: shared by
// velmora-e2e.exe and velmora-e2e-hostile.exe.
#pragma once

#include "tests/e2e/cases.h"

#include <vector>

// What a case needs of the machine beyond its code pages; a case whose needs are not
// met is reported skipped, with the reason, and counts neither passed nor failed.
enum CaseNeed : unsigned {
    NEEDS_WINDOWS = 1,        // shows what only Windows does: skipped under Wine
    NEEDS_64BIT_WINDOWS = 2,  // two registry views
    NEEDS_LINKED_TOKEN = 4,   // runs a program as a standard user: elevated, under UAC
};

struct CaseEntry {
    const char *name;
    CaseFunction *run;
    // The ANSI and OEM code pages the case's expected bytes are written in, 0 for any.
    // Most cases compare the French boxes and paths as Windows-1252 bytes; the OEM
    // page matters only to the cases that read the memo's OEM texts.
    UINT ansi = 1252;
    UINT oem = 0;
    unsigned needs = 0;     // CaseNeed bits
};

// A file's cases: each case file ends with its table, the one place a case is named.
struct CaseList {
    const CaseEntry *cases;
    size_t count;
};
extern const CaseList StartupCases, SendCases, DoctorCases, HostileJobCases, HostileRunCases;

// Runs, of the cases of `lists` that `wanted` takes (all with NULL), those named by
// argv[first..argc), or all of them without such arguments.
int RunCaseLists(const CaseList *const *lists, size_t listCount,
                 bool (*wanted)(const CaseEntry &c), int argc, char **argv, int first);

// Runs the cases named by argv[first..argc), or all of them without such arguments.
// Prints one line per case, "<name>: ok", "<name>: FAILED" or "<name>: skipped
// (<reason>)", and "N passed, N failed" (checks); returns the exit code, non-zero when
// a check failed or an argument named no case.
int RunCases(const CaseEntry *cases, size_t count, int argc, char **argv, int first = 1);
