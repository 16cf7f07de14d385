// The floor for the send-mode benchmark: a GUI program with the program's imports
// (the same DLLs, loaded and bound the same way) that does nothing and exits 0.
#include <windows.h>

#include "notes/notes_client.h"

// Referenced so that every DLL of the program is imported here too.
extern "C" int __cdecl __getmainargs(int *, char ***, char ***, int, void *);
static void *volatile g_imports[] = {
    (void *)&__getmainargs, (void *)&MessageBoxA, (void *)&RegOpenKeyExA, (void *)&InitNotesRuntime,
};

extern "C" __attribute__((force_align_arg_pointer)) void WINAPI FloorStartup(void)
{
    ExitProcess(g_imports[0] != NULL ? 0 : 1);
}
