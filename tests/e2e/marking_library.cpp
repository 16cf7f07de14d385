// Libraries for the doctor's cases of the library search, where the doctor must load
// nothing from the current folder or from its own folder:
// - velmora-mark.dll, whose entry code leaves a mark, the file "<its name>.mark"
//   beside itself (the cases copy it also as nNOTES.dll and as velmora-late.dll);
//   with VELMORA_MARK_WAIT_MS set, its entry code then waits that long, as a library
//   stuck in its loading;
// - with NEEDS_MARK, an nNOTES.dll that imports velmora-mark.dll and whose
//   InitNotesRuntime (ordinal 15) loads velmora-late.dll by bare name, as a real
//   client library loads its own libraries, or with VELMORA_MARK_INIT=crash crashes.
#include <windows.h>
#include <stdlib.h>
#include <string.h>

#ifdef NEEDS_MARK
extern "C" __declspec(dllimport) int MarkLeft(void);
extern "C" __declspec(dllexport) int NeedsMark(void)
{
    return MarkLeft();
}

static int *volatile nowhere;

extern "C" int __stdcall MarkInit(int, char **)
{
    char how[16];
    DWORD n = GetEnvironmentVariableA("VELMORA_MARK_INIT", how, sizeof how);
    if (n > 0 && n < sizeof how && strcmp(how, "crash") == 0)
        *nowhere = 1;
    return LoadLibraryA("velmora-late.dll") != NULL ? 1 : 2;
}
#else
extern "C" __declspec(dllexport) int MarkLeft(void)
{
    return 1;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    char path[MAX_PATH + 8];
    DWORD n = reason == DLL_PROCESS_ATTACH ? GetModuleFileNameA(instance, path, MAX_PATH) : 0;
    if (n == 0 || n >= MAX_PATH)
        return TRUE;
    lstrcpyA(path + n, ".mark");
    CloseHandle(CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    char wait[16];
    n = GetEnvironmentVariableA("VELMORA_MARK_WAIT_MS", wait, sizeof wait);
    if (n > 0 && n < sizeof wait)
        Sleep(strtoul(wait, NULL, 10));
    return TRUE;
}
#endif
