// Installation settings: two registry values, both required, both shortened so that
// they survive being joined by a blank on the Notes client's command line.
#include "job/install_settings.h"

#include <string.h>

const char SettingsKey[] = "SOFTWARE\\Zabrel\\Velmora\\Stellwick";
const char ClientValue[] = "LN_Appli";
const char DatabaseValue[] = "LN_Base";

bool ReadPathValue(HKEY key, const char *name, char path[MAX_PATH], Refusal *why)
{
    DWORD size = MAX_PATH;
    LONG status = RegQueryValueExA(key, name, NULL, NULL, (BYTE *)path, &size);
    if (status == ERROR_SUCCESS && memchr(path, '\0', size < MAX_PATH ? size : MAX_PATH) != NULL)
        return true;
    path[0] = '\0';
    if (status == ERROR_MORE_DATA)
        return Refuse(why, REFUSED_VALUE_TOO_LONG, name, size);
    if (status != ERROR_SUCCESS)
        return Refuse(why, REFUSED_VALUE_MISSING, name, (unsigned long)status);
    return Refuse(why, REFUSED_VALUE_UNTERMINATED, name, size);
}

// A path that was read must be non-empty and name an existing file or folder.
static bool NamesSomething(const char *path, const Refusal *read, Refusal *why)
{
    if (read->rule != REFUSED_NOT) {
        *why = *read;
        return false;
    }
    if (path[0] == '\0')
        return Refuse(why, REFUSED_VALUE_EMPTY, read->value, 0);
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
        return Refuse(why, REFUSED_VALUE_NAMES_NOTHING, read->value, GetLastError());
    return true;
}

// Shortens a path in place; without a short form the path stays as read.
static void Shorten(char *path)
{
    char shortPath[MAX_PATH];
    DWORD length = GetShortPathNameA(path, shortPath, sizeof shortPath);
    if (length > 0 && length < sizeof shortPath)
        lstrcpyA(path, shortPath);
}

bool LoadInstallSettings(InstallSettings *settings, Refusal *why)
{
    settings->clientPath[0] = '\0';
    settings->databasePath[0] = '\0';

    HKEY key;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, SettingsKey, 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS)
        return Refuse(why, REFUSED_KEY_MISSING, NULL, (unsigned long)status);
    Refusal client = {REFUSED_NOT, ClientValue, 0};
    Refusal database = {REFUSED_NOT, DatabaseValue, 0};
    ReadPathValue(key, ClientValue, settings->clientPath, &client);
    ReadPathValue(key, DatabaseValue, settings->databasePath, &database);
    RegCloseKey(key);

    if (!NamesSomething(settings->clientPath, &client, why) ||
        !NamesSomething(settings->databasePath, &database, why))
        return false;
    Shorten(settings->clientPath);
    Shorten(settings->databasePath);
    return true;
}
