// velmora-e2e.exe: the end-to-end tests.  Runs the real program with exact command
// lines against the stand-in Notes library and client, one case at a time, each in
// a fresh folder.  With arguments, runs only the cases so named.  Ends with one line
// "N passed, N failed" and a non-zero exit code when a check failed.
//
//   velmora-e2e.exe [case ...]
//   velmora-e2e.exe --wow64 [case ...]
//   velmora-e2e.exe --ansi-1250 [case ...]
//
// The second form runs the cases that need a 64-bit system, the third those that need
// ANSI 1250 (README.md says why they run apart); a case whose needs the machine does
// not meet says "skipped" and why.  Each case is named in the table at the end of its
// file (cases_startup.cpp, cases_send.cpp, cases_doctor.cpp).
#include "tests/e2e/case_runner.h"

#include <string.h>

// The suite a case belongs to follows from what it needs: the cases that need a 64-bit
// system or ANSI 1250 run apart, each under their own Wine set-up.
static bool Wow64(const CaseEntry &c)
{
    return (c.needs & NEEDS_64BIT_WINDOWS) != 0;
}

static bool Ansi1250(const CaseEntry &c)
{
    return c.ansi == 1250;
}

static bool Neither(const CaseEntry &c)
{
    return !Wow64(c) && !Ansi1250(c);
}

int main(int argc, char **argv)
{
    static const CaseList *const lists[] = {&StartupCases, &SendCases, &DoctorCases};
    const size_t count = sizeof lists / sizeof lists[0];
    if (argc > 1 && strcmp(argv[1], "--wow64") == 0)
        return RunCaseLists(lists, count, Wow64, argc - 1, argv + 1);
    if (argc > 1 && strcmp(argv[1], "--ansi-1250") == 0)
        return RunCaseLists(lists, count, Ansi1250, argc - 1, argv + 1);
    return RunCaseLists(lists, count, Neither, argc, argv);
}
