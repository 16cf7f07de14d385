// velmora-setup-check.dll: the installer's own actions, carried in the package's
// Binary table (Custom Action Type 1: Windows Installer calls a temporary copy, never a
// file of a folder the package installs into, which a user may have filled).  Both
// entries are immediate and only read and set properties and look at files;
// installer/velmora-notes.wxs says when each runs and why.
//   ChooseInstallDir  when INSTALLDIR was not given: the folder the package's record
//                     names, else LN_APPLI's folder, else the Directory table's default.
//   CheckSettings     each path given passes the program's rule for the value it reads,
//                     and nNOTES.dll is in INSTALLDIR or in a folder of the machine's
//                     PATH, where the program's loader finds it; else an error message
//                     naming the path or the folder, and the install ends with 1603.
#include "installer/setup-check/given_path.h"
#include "job/install_settings.h"

#include <windows.h>
#include <msi.h>
#include <msiquery.h>

// Wide enough that a property longer than a path is still judged as too long.
enum { PropertyChars = 2 * MAX_PATH, MessageChars = 4 * MAX_PATH };

// The property's text, cut to the buffer; empty when it is not set.
static void GetProperty(MSIHANDLE install, const WCHAR *name, WCHAR text[PropertyChars])
{
    DWORD size = PropertyChars;
    UINT status = MsiGetPropertyW(install, name, text, &size);
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA)
        text[0] = L'\0';
    text[PropertyChars - 1] = L'\0';
}

// The text as the program would read it from a REG_SZ value: in the ANSI code page.
static void ToAnsi(const WCHAR *text, char *ansi, int size)
{
    if (WideCharToMultiByte(CP_ACP, 0, text, -1, ansi, size, NULL, NULL) == 0)
        ansi[size - 1] = '\0';
}

static void Append(WCHAR *message, const WCHAR *text)
{
    int used = lstrlenW(message);
    lstrcpynW(message + used, text, MessageChars - used);
}

// Shows `message` as an error (the log of a silent install holds it) and returns the
// code that fails the install, 1603.  Field 0 is the record's template, so its text
// goes in field 1: brackets in a path are not read as properties.
// https://learn.microsoft.com/en-us/windows/win32/api/msiquery/nf-msiquery-msiprocessmessage
// https://learn.microsoft.com/en-us/windows/win32/msi/custom-action-return-values
static UINT Refuse(MSIHANDLE install, const WCHAR *message)
{
    MSIHANDLE record = MsiCreateRecord(1);
    MsiRecordSetStringW(record, 0, L"[1]");
    MsiRecordSetStringW(record, 1, message);
    MsiProcessMessage(install, INSTALLMESSAGE(INSTALLMESSAGE_ERROR | MB_OK), record);
    MsiCloseHandle(record);
    return ERROR_INSTALL_FAILURE;
}

extern "C" __declspec(dllexport) UINT __stdcall ChooseInstallDir(MSIHANDLE install)
{
    WCHAR folder[PropertyChars];
    GetProperty(install, L"INSTALLDIR_RECORDED", folder);
    if (folder[0] == L'\0') {
        GetProperty(install, L"LN_APPLI", folder);
        WCHAR *last = NULL;
        for (WCHAR *c = folder; *c != L'\0'; ++c)
            if (*c == L'\\')
                last = c;
        if (last == NULL)
            return ERROR_SUCCESS;
        last[1] = L'\0';
    }
    MsiSetPropertyW(install, L"INSTALLDIR", folder);
    return ERROR_SUCCESS;
}

// The refusal of a path given, in the words of the doctor's line for it.
static UINT RefusePath(MSIHANDLE install, const WCHAR *property, const WCHAR *text,
                       const Refusal &why)
{
    WCHAR message[MessageChars], number[16];
    lstrcpyW(message, L"Velmora pour Lotus Notes : ");
    Append(message, property);
    Append(message, L" \"");
    Append(message, text);
    Append(message, L"\" est refus\u00e9 : ");
    if (why.rule == REFUSED_VALUE_TOO_LONG) {
        Append(message, L"le programme lit au plus 259 caract\u00e8res");
    } else {
        wsprintfW(number, L"%lu", why.detail);
        Append(message, L"aucun fichier ni dossier de ce nom (erreur ");
        Append(message, number);
        Append(message, L")");
    }
    wsprintfW(number, L"%u", RefusalMessage(why.rule));
    Append(message, L", le programme afficherait son message ");
    Append(message, number);
    Append(message, L". Donnez le chemin complet, ou LN_CHECK=0 si le client Notes "
                    L"s'installe apr\u00e8s.");
    return Refuse(install, message);
}

// True when `folder` (ending in a backslash) holds a file nNOTES.dll.
static bool HoldsLibrary(const char *folder)
{
    char path[MAX_PATH + 16];
    lstrcpynA(path, folder, MAX_PATH);
    int length = lstrlenA(path);
    if (length > 0 && path[length - 1] != '\\')
        path[length++] = '\\';
    lstrcpynA(path + length, "nNOTES.dll", 16);
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// True when a folder of the machine's PATH (HKLM's Environment, expanded) holds it.
static bool OnMachinePath()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                      "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", 0,
                      KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    static char path[32768], expanded[32768];
    DWORD size = sizeof path - 1;
    LONG read = RegQueryValueExA(key, "Path", NULL, NULL, (BYTE *)path, &size);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS)
        return false;
    path[size] = '\0';
    DWORD length = ExpandEnvironmentStringsA(path, expanded, sizeof expanded);
    if (length == 0 || length > sizeof expanded)
        return false;
    char found[MAX_PATH];
    char *file = NULL;
    DWORD got = SearchPathA(expanded, "nNOTES.dll", NULL, MAX_PATH, found, &file);
    return got > 0 && got < MAX_PATH &&
           !(GetFileAttributesA(found) & FILE_ATTRIBUTE_DIRECTORY);
}

extern "C" __declspec(dllexport) UINT __stdcall CheckSettings(MSIHANDLE install)
{
    static const WCHAR *const properties[] = {L"LN_APPLI", L"LN_BASE"};
    static const char *const values[] = {ClientValue, DatabaseValue};
    WCHAR text[PropertyChars];
    char ansi[2 * PropertyChars];
    for (int i = 0; i < 2; ++i) {
        GetProperty(install, properties[i], text);
        ToAnsi(text, ansi, (int)sizeof ansi);
        Refusal why;
        if (!AcceptGivenPath(values[i], ansi, &why))
            return RefusePath(install, properties[i], text, why);
    }

    GetProperty(install, L"INSTALLDIR", text);
    ToAnsi(text, ansi, (int)sizeof ansi);
    if (HoldsLibrary(ansi) || OnMachinePath())
        return ERROR_SUCCESS;
    WCHAR message[MessageChars];
    lstrcpyW(message, L"Velmora pour Lotus Notes : nNOTES.dll n'est ni dans le dossier "
                      L"d'installation \"");
    Append(message, text);
    Append(message, L"\" ni dans un dossier du PATH du poste : le programme ne "
                    L"pourrait pas le charger. Installez-le dans le dossier du client "
                    L"Notes (INSTALLDIR), ou donnez LN_CHECK=0 si le client s'installe "
                    L"apr\u00e8s.");
    return Refuse(install, message);
}
