// Installation settings: two registry values, both required, both shortened so that
// they survive being joined by a blank on the Notes client's command line.
#include "job/install_settings.h"

#include "notes/short_path.h"

#include <string.h>

const char SettingsKey[] = "SOFTWARE\\Zabrel\\Velmora\\Stellwick";
const char ClientValue[] = "LN_Appli";
const char DatabaseValue[] = "LN_Base";

// Expands the %NAME% references of a REG_EXPAND_SZ path in place.  The ANSI call
// wants a byte more than the expansion and its NUL, and some versions of Windows count
// that byte in what they return, so the buffer has it: a 259-character expansion is
// accepted whichever way it is counted.  An expansion whose NUL does not fall within
// MAX_PATH bytes leaves the path empty and is refused.
static bool Expand(const char *name, char path[MAX_PATH], Refusal *why)
{
    char expanded[MAX_PATH + 1];
    DWORD size = ExpandEnvironmentStringsA(path, expanded, sizeof expanded);
    path[0] = '\0';
    if (size == 0 || size > sizeof expanded || memchr(expanded, '\0', MAX_PATH) == NULL)
        return Refuse(why, REFUSED_EXPANSION_TOO_LONG, name, size);
    lstrcpyA(path, expanded);
    return true;
}

bool ReadPathValue(HKEY key, const char *name, char path[MAX_PATH], Refusal *why)
{
    why->rule = REFUSED_NOT;
    why->value = name;
    why->detail = 0;
    DWORD type = REG_SZ;
    DWORD size = MAX_PATH;
    LONG status = RegQueryValueExA(key, name, NULL, &type, (BYTE *)path, &size);
    if (status == ERROR_SUCCESS && memchr(path, '\0', size < MAX_PATH ? size : MAX_PATH) != NULL)
        return type != REG_EXPAND_SZ || Expand(name, path, why);
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

bool AcceptPathText(const char *name, const char *text, Refusal *why)
{
    // What RegQueryValueExA into the MAX_PATH buffer of ReadPathValue gives for it.
    size_t size = strlen(text) + 1;
    Refusal read = {REFUSED_NOT, name, 0};
    if (size > MAX_PATH)
        Refuse(&read, REFUSED_VALUE_TOO_LONG, name, (unsigned long)size);
    *why = read;
    return NamesSomething(text, &read, why);
}

// True when `read` refused because the value, or the whole key, is not there.
static bool Missing(const Refusal *read)
{
    return read->rule == REFUSED_KEY_MISSING || read->rule == REFUSED_VALUE_MISSING;
}

// Reads the values still missing from one view of the key.
static void ReadView(REGSAM view, InstallSettings *settings, Refusal *client, Refusal *database)
{
    HKEY key;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, SettingsKey, 0, KEY_READ | view, &key);
    if (status != ERROR_SUCCESS)
        return;
    if (Missing(client))
        ReadPathValue(key, ClientValue, settings->clientPath, client);
    if (Missing(database))
        ReadPathValue(key, DatabaseValue, settings->databasePath, database);
    RegCloseKey(key);
}

bool LoadInstallSettings(InstallSettings *settings, Refusal *why)
{
    settings->clientPath[0] = '\0';
    settings->databasePath[0] = '\0';

    HKEY key;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, SettingsKey, 0, KEY_READ, &key);
    Refusal client = {REFUSED_KEY_MISSING, NULL, (unsigned long)status};
    Refusal database = client;
    if (status == ERROR_SUCCESS) {
        ReadPathValue(key, ClientValue, settings->clientPath, &client);
        ReadPathValue(key, DatabaseValue, settings->databasePath, &database);
        RegCloseKey(key);
    }
    if (Missing(&client) || Missing(&database)) {
        Refusal client32 = client, database32 = database;
        ReadView(KEY_WOW64_64KEY, settings, &client, &database);
        // Missing from both views: the 32-bit view's reason is the one to tell.
        if (Missing(&client))
            client = client32;
        if (Missing(&database))
            database = database32;
    }

    if (!NamesSomething(settings->clientPath, &client, why) ||
        !NamesSomething(settings->databasePath, &database, why))
        return false;
    ShortenPath(settings->clientPath);
    ShortenPath(settings->databasePath);
    return true;
}
