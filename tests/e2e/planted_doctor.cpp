// planted-doctor.exe: what a user may drop in the Notes client's folder before the
// product is installed there, named velmora-doctor.exe and stamped 99.0.0.0 so that a
// first install keeps it (File Versioning Rules).  Run by anyone, it leaves the file
// "planted doctor ran" beside itself: the installer suite's witness.
#include <windows.h>

int main()
{
    char path[MAX_PATH + 32];
    DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    while (length > 0 && path[length - 1] != '\\')
        --length;
    lstrcpyA(path + length, "planted doctor ran");
    HANDLE mark = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (mark != INVALID_HANDLE_VALUE)
        CloseHandle(mark);
    return 0;
}
