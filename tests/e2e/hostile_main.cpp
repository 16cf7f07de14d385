// velmora-e2e-hostile.exe: the end-to-end tests of what the program must survive
// (README.md lists it).  The program must show one box per failure, keep or delete the
// job file as its table says, never touch an attachment and always exit 0.
//
//   velmora-e2e-hostile.exe [case ...]
//   velmora-e2e-hostile.exe --hold-file <share mode> <path>
//
// The second form is the other process of the job_held_open case: it opens the file
// for reading with that share mode, signals HolderReadyEvent and keeps the file open
// until HolderReleaseEvent (at most 60 s); it exits 0 when it held the file.
#include "tests/e2e/case_runner.h"

#include <stdlib.h>
#include <string.h>

static int HoldFile(const char *share, const char *path)
{
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, HolderReadyEvent);
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, HolderReleaseEvent);
    HANDLE file = CreateFileA(path, GENERIC_READ, (DWORD)strtoul(share, NULL, 0), NULL,
                              OPEN_EXISTING, 0, NULL);
    if (ready == NULL || release == NULL || file == INVALID_HANDLE_VALUE)
        return 1;
    SetEvent(ready);
    DWORD waited = WaitForSingleObject(release, 60000);
    CloseHandle(file);
    return waited == WAIT_OBJECT_0 ? 0 : 2;
}

int main(int argc, char **argv)
{
    if (argc == 4 && strcmp(argv[1], "--hold-file") == 0)
        return HoldFile(argv[2], argv[3]);
    static const CaseList *const lists[] = {&HostileJobCases, &HostileRunCases};
    return RunCaseLists(lists, sizeof lists / sizeof lists[0], NULL, argc, argv, 1);
}
