// The few functions of msi.dll and version.dll the checks call, defined here and
// passed on to the library loaded, on first use, by its path in the system folder.
// A static import would be resolved by the loader before any code runs, searching
// the exe's own folder first: a msi.dll or version.dll dropped beside velmora-check.exe
// would then run with the administrator's rights.  LOAD_WITH_ALTERED_SEARCH_PATH makes
// the library's own imports resolve from the system folder too.
// https://learn.microsoft.com/en-us/windows/win32/dlls/dynamic-link-library-search-order
// https://learn.microsoft.com/en-us/windows/win32/dlls/dynamic-link-library-security
// https://learn.microsoft.com/en-us/windows/win32/api/libloaderapi/nf-libloaderapi-loadlibraryexa
#include "testkit/wine/files.h"

#include <msi.h>
#include <msiquery.h>
#include <winver.h>

static void *SystemEntry(const char *library, const char *name)
{
    std::string path = SystemPath(library);
    HMODULE module = LoadLibraryExA(path.c_str(), NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    return module != NULL ? (void *)GetProcAddress(module, name) : NULL;
}

// RESULT WINAPI NAME PARAMETERS, calling the library's NAME with ARGUMENTS, or giving
// FAILED when it cannot be loaded.
#define SYSTEM_FUNCTION(library, result, failed, name, parameters, arguments)             \
    result WINAPI name parameters                                                         \
    {                                                                                     \
        typedef result(WINAPI * Entry) parameters;                                        \
        static Entry entry = (Entry)SystemEntry(library, #name);                          \
        return entry != NULL ? entry arguments : failed;                                  \
    }

#define MSI(name, parameters, arguments) \
    SYSTEM_FUNCTION("msi.dll", UINT, ERROR_MOD_NOT_FOUND, name, parameters, arguments)

MSI(MsiCloseHandle, (MSIHANDLE h), (h))
MSI(MsiDatabaseCommit, (MSIHANDLE db), (db))
MSI(MsiDatabaseOpenViewA, (MSIHANDLE db, LPCSTR query, MSIHANDLE *view), (db, query, view))
MSI(MsiEnumRelatedProductsA, (LPCSTR upgrade, DWORD reserved, DWORD index, LPSTR product),
    (upgrade, reserved, index, product))
MSI(MsiGetSummaryInformationA, (MSIHANDLE db, LPCSTR path, UINT updates, MSIHANDLE *info),
    (db, path, updates, info))
MSI(MsiOpenDatabaseA, (LPCSTR path, LPCSTR persist, MSIHANDLE *db), (path, persist, db))
MSI(MsiRecordGetStringA, (MSIHANDLE record, UINT field, LPSTR text, LPDWORD size),
    (record, field, text, size))
MSI(MsiSummaryInfoPersist, (MSIHANDLE info), (info))
MSI(MsiSummaryInfoSetPropertyA,
    (MSIHANDLE info, UINT property, UINT type, INT number, FILETIME *time, LPCSTR text),
    (info, property, type, number, time, text))
MSI(MsiViewExecute, (MSIHANDLE view, MSIHANDLE record), (view, record))
MSI(MsiViewFetch, (MSIHANDLE view, MSIHANDLE *record), (view, record))
SYSTEM_FUNCTION("msi.dll", INSTALLSTATE, INSTALLSTATE_UNKNOWN, MsiQueryProductStateA,
                (LPCSTR product), (product))

SYSTEM_FUNCTION("version.dll", DWORD, 0, GetFileVersionInfoSizeA, (LPCSTR path, LPDWORD handle),
                (path, handle))
SYSTEM_FUNCTION("version.dll", BOOL, FALSE, GetFileVersionInfoA,
                (LPCSTR path, DWORD handle, DWORD size, LPVOID data), (path, handle, size, data))
SYSTEM_FUNCTION("version.dll", BOOL, FALSE, VerQueryValueA,
                (LPCVOID block, LPCSTR sub, LPVOID *value, PUINT size), (block, sub, value, size))
