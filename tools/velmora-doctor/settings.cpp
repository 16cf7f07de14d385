// The installation settings: the key and its two values in each registry view, read
// by the program's own reader, then the verdict the program acts on and the line it
// starts the Notes client with.  Also the installer's check of the paths it is given,
// before it writes them.
#include "tools/velmora-doctor/doctor.h"

#include "installer/setup-check/given_path.h"
#include "job/install_settings.h"
#include "notes/short_path.h"
#include "window/launch_line.h"

#include <string.h>

struct View {
    REGSAM flag;
    const char *id;
    const char *name;
};

// A value as the 32-bit view holds it, which the program reads first.
struct Seen {
    bool present;
    DWORD type;
    char raw[MAX_PATH];
};

static const char *TypeName(DWORD type, char buffer[16])
{
    static const char *const Names[] = {"REG_NONE", "REG_SZ",   "REG_EXPAND_SZ", "REG_BINARY",
                                        "REG_DWORD", NULL,      NULL,            "REG_MULTI_SZ"};
    if (type < sizeof Names / sizeof Names[0] && Names[type] != NULL)
        return Names[type];
    wsprintfA(buffer, "type %lu", type);
    return buffer;
}

// Whether the value's own bytes hold a NUL, whatever their number; `raw` gets the
// text they start with, cut to fit.
static bool HoldsNul(HKEY key, const char *name, DWORD size, char raw[MAX_PATH])
{
    raw[0] = '\0';
    BYTE *bytes = (BYTE *)HeapAlloc(GetProcessHeap(), 0, size + 1);
    if (bytes == NULL)
        return false;
    DWORD got = size;
    bool nul = RegQueryValueExA(key, name, NULL, NULL, bytes, &got) == ERROR_SUCCESS &&
               memchr(bytes, '\0', got) != NULL;
    bytes[got <= size ? got : size] = '\0';
    lstrcpynA(raw, (const char *)bytes, MAX_PATH);
    HeapFree(GetProcessHeap(), 0, bytes);
    return nul;
}

// One value as found in one view, for its line.
struct Found {
    const View *view;
    const char *name;
    DWORD type;
    const char *typeName;
    DWORD size;
    bool nul;
    char raw[MAX_PATH];
};

// The value the program accepts: the path it names, whether that exists, its short form
// and how the launch line quotes it, and whether the program uses this view's value.
static void ReportAcceptedValue(const Found *v, const char *path, bool seen, bool same, std::string *text)
{
    char shortPath[MAX_PATH];
    TextAdd(text, " ; ");
    if (v->type == REG_EXPAND_SZ) {
        TextAddAnsi(text, v->raw);
        TextAdd(text, " d\xe9velopp\xe9" "e en ");
    }
    TextAddAnsi(text, path);
    DWORD attributes = GetFileAttributesA(path);
    DWORD error = GetLastError();
    bool found = attributes != INVALID_FILE_ATTRIBUTES;
    bool folder = found && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const char *exists = !found ? "no" : folder ? "folder" : "file";
    if (!found)
        TextFormat(text, " ; introuvable (erreur %lu)", error);
    else
        TextAdd(text, folder ? " ; un dossier" : " ; fichier pr\xe9sent");
    lstrcpyA(shortPath, path);
    ShortenPath(shortPath);
    TextAdd(text, " ; forme courte ");
    TextAddAnsi(text, shortPath);
    bool quotes = NeedsQuotes(shortPath);
    TextAdd(text, quotes ? " ; entre guillemets au lancement" : " ; sans guillemets au lancement");

    ValueVerdict verdict = JudgeValue(v->view->flag == KEY_WOW64_64KEY, seen, same, found);
    if (verdict == VALUE_HIDDEN)
        TextAdd(text, " ; masqu\xe9" "e par la valeur de la vue 32 bits, diff\xe9rente, que "
                      "le programme lit");
    Field fields[] = {{"view", v->view->id, 0},        {"value", v->name, 0},
                      {"type", v->typeName, 0},        {"size", NULL, v->size},
                      {"nul", v->nul ? "yes" : "no", 0}, {"rule", RuleId(REFUSED_NOT), 0},
                      {"path", path, 0},               {"exists", exists, 0},
                      {"short", shortPath, 0},         {"quotes", quotes ? "yes" : "no", 0},
                      {"used", verdict == VALUE_HIDDEN ? "no" : "yes", 0}};
    char fix[100];
    if (verdict != VALUE_HIDDEN || !DeleteValue64Command(v->name, fix, sizeof fix))
        fix[0] = '\0';
    ReportText("settings.value", verdict == VALUE_USED ? STATUS_OK : STATUS_WARNING, text,
               verdict == VALUE_HIDDEN
                   ? "supprimez la valeur de la vue 64 bits, ou corrigez celle de la vue 32 bits"
                   : "corrigez le chemin, ou r\xe9installez le client Notes ou la base",
               fields, 11, fix);
}

// `seen32` is the value in the 32-bit view: filled when `view` is that one, compared
// with otherwise.
static void CheckValue(HKEY key, const View *view, const char *name, Seen *seen32)
{
    Found v = {view, name, REG_NONE, NULL, 0, false, {0}};
    char typeBuffer[16], path[MAX_PATH];
    std::string text;
    LONG status = RegQueryValueExA(key, name, NULL, &v.type, NULL, &v.size);
    TextFormat(&text, "%s (%s) : ", name, view->name);
    if (status != ERROR_SUCCESS) {
        TextFormat(&text, "absente (erreur %ld)", status);
        Field fields[] = {{"view", view->id, 0}, {"value", name, 0},
                          {"rule", RuleId(REFUSED_VALUE_MISSING), 0}};
        ReportText("settings.value", STATUS_INFO, &text, NULL, fields, 3);
        return;
    }
    v.typeName = TypeName(v.type, typeBuffer);
    v.nul = HoldsNul(key, name, v.size, v.raw);
    bool same = seen32->present && seen32->type == v.type && lstrcmpA(seen32->raw, v.raw) == 0;
    if (view->flag != KEY_WOW64_64KEY) {
        seen32->present = true;
        seen32->type = v.type;
        lstrcpyA(seen32->raw, v.raw);
    }
    bool seen = seen32->present;
    TextFormat(&text, "%s, %lu octets, ", v.typeName, v.size);
    TextAdd(&text, v.nul ? "termin\xe9" "e par un NUL" : "sans NUL");
    Refusal why = {REFUSED_NOT, name, 0};
    if (ReadPathValue(key, name, path, &why)) {
        ReportAcceptedValue(&v, path, seen, same, &text);
        return;
    }
    std::string sentence;
    const char *action = DescribeRefusal(&why, &sentence);
    TextAdd(&text, " ; le programme la refuse : ");
    text += sentence;
    Field fields[] = {{"view", view->id, 0},  {"value", name, 0},
                      {"type", v.typeName, 0},  {"size", NULL, v.size},
                      {"nul", v.nul ? "yes" : "no", 0}, {"rule", RuleId(why.rule), 0}};
    ReportText("settings.value", STATUS_WARNING, &text, action, fields, 6);
}

static void CheckView(const View *view, Seen seen32[2])
{
    HKEY key;
    char text[200];
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, SettingsKey, 0, KEY_READ | view->flag, &key);
    bool open = status == ERROR_SUCCESS;
    wsprintfA(text, open ? "Cl\xe9 HKLM\\%s (%s) : pr\xe9sente"
                         : "Cl\xe9 HKLM\\%s (%s) : absente (erreur %ld)",
              SettingsKey, view->name, status);
    Field fields[] = {{"view", view->id, 0},
                      {"rule", RuleId(open ? REFUSED_NOT : REFUSED_KEY_MISSING), 0}};
    Report("settings.key", open ? STATUS_OK : STATUS_INFO, text, NULL, fields, 2);
    if (!open)
        return;
    CheckValue(key, view, ClientValue, &seen32[0]);
    CheckValue(key, view, DatabaseValue, &seen32[1]);
    RegCloseKey(key);
}

// The settings the program accepts, and the line it starts the Notes client with.
static void ReportSettingsAccepted(const InstallSettings *settings)
{
    std::string text;
    TextAdd(&text, "R\xe9glages accept\xe9s par le programme : client ");
    TextAddAnsi(&text, settings->clientPath);
    TextAdd(&text, ", base ");
    TextAddAnsi(&text, settings->databasePath);
    Field fields[] = {{"rule", RuleId(REFUSED_NOT), 0},
                      {"client", settings->clientPath, 0},
                      {"database", settings->databasePath, 0}};
    ReportText("settings", STATUS_OK, &text, NULL, fields, 3);

    char line[LAUNCH_LINE_SIZE];
    BuildLaunchLine(settings->clientPath, settings->databasePath, line);
    bool quoted = NeedsQuotes(settings->clientPath) || NeedsQuotes(settings->databasePath);
    std::string launch;
    TextAdd(&launch, "Ligne de lancement du client Notes : ");
    TextAddAnsi(&launch, line);
    if (quoted)
        TextAdd(&launch, " (sans noms courts 8.3, les chemins \xe0 blancs sont entre guillemets)");
    Field launchFields[] = {{"line", line, 0}, {"quotes", quoted ? "yes" : "no", 0}};
    ReportText("launch", STATUS_OK, &launch, NULL, launchFields, 2);
}

// The package's record of what it wrote, in the 32-bit view, where the package (x86)
// writes it.
static const char RecordKey[] = "SOFTWARE\\Zabrel\\Velmora\\Installer";
// The package's UpgradeCode, the same in every version.
static const char UpgradeCode[] = "{6F3B2A51-8C47-4E0D-9B6A-3D1E7C25A9F4}";

// The value `name` of `key` (32-bit view) as text, or false.
static bool ReadText(const char *key, const char *name, char text[MAX_PATH])
{
    HKEY opened;
    text[0] = '\0';
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &opened) !=
        ERROR_SUCCESS)
        return false;
    DWORD type = 0, size = MAX_PATH - 1;
    bool read = RegQueryValueExA(opened, name, NULL, &type, (BYTE *)text, &size) == ERROR_SUCCESS &&
                (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_DWORD);
    if (read && type == REG_DWORD)
        wsprintfA(text, "%lu", size == sizeof(DWORD) ? *(const DWORD *)text : 0UL);
    else
        text[read && size < MAX_PATH ? size : 0] = '\0';
    RegCloseKey(opened);
    return read;
}

bool InstalledProduct(char code[39])
{
    typedef UINT(WINAPI * EnumRelatedCall)(const char *, DWORD, DWORD, char *);
    char path[MAX_PATH];
    UINT n = GetSystemDirectoryA(path, MAX_PATH - 9);
    HMODULE msi = n > 0 && n < MAX_PATH - 9 ? (lstrcpyA(path + n, "\\msi.dll"), LoadLibraryA(path))
                                             : NULL;
    EnumRelatedCall call = msi != NULL ? (EnumRelatedCall)(void *)GetProcAddress(
                                             msi, "MsiEnumRelatedProductsA")
                                       : NULL;
    return call != NULL && call(UpgradeCode, 0, 0, code) == ERROR_SUCCESS;
}

// What brings back a refused value, said after the reason, with its command in `fix`;
// none: the program's own advice.
static const char *SettingsFix(const Refusal *why, char fix[2 * MAX_PATH + 100])
{
    fix[0] = '\0';
    const char *name = why->value != NULL ? why->value : ClientValue;
    char wrote[MAX_PATH], remembered[MAX_PATH], live[MAX_PATH], product[39] = "";
    ValueRecord record;
    char wroteName[32];
    wsprintfA(wroteName, "Wrote%s", name);
    record.wrote = ReadText(RecordKey, wroteName, wrote) && lstrcmpA(wrote, "1") == 0;
    ReadText(SettingsKey, name, live);
    record.remembered = ReadText(RecordKey, name, remembered) && remembered[0] != '\0' &&
                        lstrcmpA(remembered, live) != 0;
    record.productInstalled = InstalledProduct(product);
    switch (DecideValueFix(why->rule, &record)) {
    case FIX_REPAIR:
        if (!RepairCommand(product, fix, 2 * MAX_PATH + 100))
            fix[0] = '\0';
        return "le paquet d'installation avait \xe9" "crit cette valeur : une r\xe9paration "
               "de Velmora la remet, avec le texte qu'il y avait mis";
    case FIX_WRITE_REMEMBERED:
        if (!WriteValueCommand(name, remembered, fix, 2 * MAX_PATH + 100)) {
            fix[0] = '\0';
            return NULL;
        }
        return "\xe9" "crivez la valeur avec le chemin que le paquet d'installation y avait mis";
    case FIX_NONE:
        break;
    }
    if (!record.wrote && (why->rule == REFUSED_KEY_MISSING || why->rule == REFUSED_VALUE_MISSING))
        return "le paquet d'installation n'a pas \xe9" "crit cette valeur, une r\xe9paration ne "
               "la remettrait pas : ajoutez-la (type REG_SZ) avec le chemin complet, ou "
               "r\xe9installez Velmora en donnant LN_APPLI et LN_BASE";
    return NULL;
}

bool CheckSettings(InstallSettings *settings)
{
    // A 32-bit process on 64-bit Windows sees two views; on 32-bit Windows there is
    // one, and the 64-bit flag is ignored.
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    const View views[] = {
        {KEY_WOW64_32KEY, "32", wow64 ? "vue 32 bits" : "vue unique, Windows 32 bits"},
        {KEY_WOW64_64KEY, "64", "vue 64 bits"},
    };
    static Seen seen32[2];
    for (int i = 0; i < (wow64 ? 2 : 1); ++i)
        CheckView(&views[i], seen32);

    Refusal why = {REFUSED_NOT, NULL, 0};
    if (!LoadInstallSettings(settings, &why)) {
        std::string text, sentence;
        const char *action = DescribeRefusal(&why, &sentence);
        static char fix[2 * MAX_PATH + 100];
        const char *fixAction = SettingsFix(&why, fix);
        action = fixAction != NULL ? fixAction : action;
        TextAdd(&text, "R\xe9glages refus\xe9s par le programme, qui affichera ");
        TextAddBox(&text, RefusalMessage(why.rule));
        TextAdd(&text, " : ");
        text += sentence;
        Field fields[] = {{"rule", RuleId(why.rule), 0},
                          {"value", why.value != NULL ? why.value : "", 0},
                          {"detail", NULL, why.detail}};
        ReportText("settings", STATUS_PROBLEM, &text, action, fields, 3, fix);
        return false;
    }
    ReportSettingsAccepted(settings);
    return true;
}

// One line for a path given to --check-settings; true when the program would accept it
// or it is not given.
static bool JudgeGiven(const char *name, const char *path)
{
    std::string text, sentence;
    TextFormat(&text, "%s : ", name);
    Refusal why = {REFUSED_NOT, name, 0};
    bool accepted = AcceptGivenPath(name, path, &why);
    if (path[0] == '\0') {
        TextAdd(&text, "non donn\xe9, non jug\xe9");
    } else {
        TextAddAnsi(&text, path);
        if (!accepted)
            DescribeRefusal(&why, &sentence);
        TextAdd(&text, accepted ? " ; accept\xe9 par le programme" : " ; refus\xe9 : ");
        text += sentence;
    }
    TextAdd(&text, "\r\n");
    WriteStandardText(STD_OUTPUT_HANDLE, &text);
    return accepted;
}

int CheckGivenSettings(const char *client, const char *database)
{
    int refused = JudgeGiven(ClientValue, client) ? 0 : 1;
    refused += JudgeGiven(DatabaseValue, database) ? 0 : 1;
    return ExitCodeOf(refused, 0);
}
