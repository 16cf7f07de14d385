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
#include "tools/common/args.h"

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

enum { OPT_WOW64, OPT_ANSI_1250 };
static const ArgOption Options[] = {
    {"--wow64", OPT_WOW64, ARG_FLAG, true},
    {"--ansi-1250", OPT_ANSI_1250, ARG_FLAG, true},
};

int main(int argc, char **argv)
{
    static const CaseList *const lists[] = {&StartupCases, &SendCases, &DoctorCases};
    // The first argument may name the apart cases; every other names a case.
    ArgReader reader = ArgsOf(Options, sizeof Options / sizeof Options[0], argc, argv, 1, false);
    Arg a = NextArg(&reader);
    bool (*wanted)(const CaseEntry &c) = Neither;
    if (a.event == ARG_OPTION)
        wanted = a.id == OPT_WOW64 ? Wow64 : Ansi1250;
    else
        reader.next = 1;
    return RunCaseLists(lists, sizeof lists / sizeof lists[0], wanted, argc, argv, reader.next);
}
