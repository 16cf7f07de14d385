// velmora-e2e-hostile.exe: the end-to-end tests of what the program must survive
// (README.md lists it).  The program must show one box per failure, keep or delete the
// job file as its table says, never touch an attachment and always exit 0.
//
//   velmora-e2e-hostile.exe [case ...]
#include "tests/e2e/case_runner.h"

int main(int argc, char **argv)
{
    static const CaseList *const lists[] = {&HostileJobCases, &HostileRunCases};
    return RunCaseLists(lists, sizeof lists / sizeof lists[0], NULL, argc, argv, 1);
}
