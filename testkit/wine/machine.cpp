// What the machine under test is, read through the system.
#include "testkit/wine/machine.h"

#include <stdio.h>
#include <string.h>

static FARPROC NtdllExport(const char *name)
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != NULL ? GetProcAddress(ntdll, name) : NULL;
}

bool RunningOnWine()
{
    return NtdllExport("wine_get_version") != NULL;
}

std::string WindowsDescription()
{
    typedef LONG(WINAPI * GetVersionFunction)(OSVERSIONINFOEXW *);
    GetVersionFunction getVersion = (GetVersionFunction)(void *)NtdllExport("RtlGetVersion");
    OSVERSIONINFOEXW v;
    ZeroMemory(&v, sizeof v);
    v.dwOSVersionInfoSize = sizeof v;
    char text[160];
    if (getVersion == NULL || getVersion(&v) != 0)
        snprintf(text, sizeof text, "Windows (version unknown)");
    else
        snprintf(text, sizeof text, "Windows %lu.%lu.%lu SP%u%s", v.dwMajorVersion,
                 v.dwMinorVersion, v.dwBuildNumber, (unsigned)v.wServicePackMajor,
                 v.wProductType == VER_NT_WORKSTATION ? "" : " Server");
    if (!RunningOnWine())
        return text;
    typedef const char *(*WineVersionFunction)(void);
    WineVersionFunction wine = (WineVersionFunction)(void *)NtdllExport("wine_get_version");
    return std::string("Wine ") + wine() + " (" + text + ")";
}

bool Is64BitWindows()
{
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

bool MakesShortNames(const std::string &folder)
{
    std::string probe = folder + "\\velmora short name probe";
    CreateDirectoryA(probe.c_str(), NULL);
    char shortPath[MAX_PATH];
    DWORD n = GetShortPathNameA(probe.c_str(), shortPath, sizeof shortPath);
    bool made = n > 0 && n < sizeof shortPath && strchr(shortPath, ' ') == NULL;
    RemoveDirectoryA(probe.c_str());
    return made;
}
