// Running a table of end-to-end cases, each in its own fresh world: shared by
// velmora-e2e.exe and velmora-e2e-hostile.exe.
#pragma once

#include "tests/e2e/cases.h"

struct CaseEntry {
    const char *name;
    CaseFunction *run;
};

// Runs the cases named on the command line, or all of them without arguments, under
// the ANSI and OEM code pages given (those of French Windows unless told).
// Prints one line per case and "N passed, N failed"; returns the exit code, non-zero
// when a check failed or an argument named no case.
int RunCases(const CaseEntry *cases, size_t count, int argc, char **argv, UINT ansiPage = 1252,
             UINT oemPage = 850);
