// Installation settings: two registry values, both required, both shortened so that
// they survive being joined by a blank on the Notes client's command line.
#include "job/install_settings.h"

#include "app/messages.h"

InstallSettings g_settings;

static const char SettingsKey[] = "SOFTWARE\\Zabrel\\Velmora\\Stellwick";

// Reads a string value into a MAX_PATH buffer.  Whatever the value's type, its bytes
// are the text; a value that does not fit with its NUL, or holds no NUL, leaves the
// buffer empty, as a missing value does.
static void ReadPathValue(HKEY key, const char *name, char *path)
{
    DWORD size = MAX_PATH;
    LONG status = RegQueryValueExA(key, name, NULL, NULL, (BYTE *)path, &size);
    bool terminated = false;
    if (status == ERROR_SUCCESS) {
        for (DWORD i = 0; i < size && i < MAX_PATH && !terminated; ++i)
            terminated = path[i] == '\0';
    }
    if (!terminated)
        path[0] = '\0';
}

static bool NamesSomething(const char *path)
{
    return path[0] != '\0' && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// Shortens a path in place; without a short form the path stays as read.
static void Shorten(char *path)
{
    char shortPath[MAX_PATH];
    DWORD length = GetShortPathNameA(path, shortPath, sizeof shortPath);
    if (length > 0 && length < sizeof shortPath)
        lstrcpyA(path, shortPath);
}

bool LoadInstallSettings(void)
{
    g_settings.clientPath[0] = '\0';
    g_settings.databasePath[0] = '\0';

    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SettingsKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        ReadPathValue(key, "LN_Appli", g_settings.clientPath);
        ReadPathValue(key, "LN_Base", g_settings.databasePath);
        RegCloseKey(key);
    }

    if (!NamesSomething(g_settings.clientPath) || !NamesSomething(g_settings.databasePath)) {
        ShowMessage(MSG_NOT_INSTALLED, MB_OK);
        return false;
    }
    Shorten(g_settings.clientPath);
    Shorten(g_settings.databasePath);
    return true;
}
