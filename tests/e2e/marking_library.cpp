// Two libraries for the doctor's case of a library in the current folder, where the
// doctor must never load one from:
// - velmora-mark.dll, whose entry code leaves a mark, the file "loaded.mark" beside
//   itself (the case copies it there also as nNOTES.dll);
// - with NEEDS_MARK, an nNOTES.dll that imports velmora-mark.dll, for the program's
//   folder: loading it must not take its dependency from the current folder.
#include <windows.h>
#include <string.h>

#ifdef NEEDS_MARK
extern "C" __declspec(dllimport) int MarkLeft(void);
extern "C" __declspec(dllexport) int NeedsMark(void)
{
    return MarkLeft();
}
#else
extern "C" __declspec(dllexport) int MarkLeft(void)
{
    return 1;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    char path[MAX_PATH];
    DWORD n = reason == DLL_PROCESS_ATTACH ? GetModuleFileNameA(instance, path, MAX_PATH) : 0;
    char *slash = n > 0 && n < MAX_PATH ? strrchr(path, '\\') : NULL;
    if (slash != NULL && (size_t)(slash - path) + sizeof "\\loaded.mark" <= MAX_PATH) {
        lstrcpyA(slash + 1, "loaded.mark");
        CloseHandle(CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    }
    return TRUE;
}
#endif
