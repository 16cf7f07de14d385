// Finding the Notes library, nNOTES.dll, where the program's import finds it: the
// search order of Windows for a DLL a program imports, and whether the folder it is
// found in is one --open may load it from (the program's folder or a system folder).
// What the file holds is read next (library_image.cpp).
#include "tools/velmora-doctor/doctor.h"

#include "notes/short_path.h"

#include "velmora_version.h"

#include <string.h>

static const char LibraryName[] = "nNOTES.dll";

// Reads the library found at library->path: reports its image and ordinals, and sets
// library->image and library->version (library_image.cpp).
void CheckLibraryImage(Library *library);

bool IsFile(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// folder\nNOTES.dll into `path` when that file is there.
static bool FoundIn(const char *folder, size_t folderLength, char path[MAX_PATH])
{
    while (folderLength > 0 && folder[folderLength - 1] == '\\')
        --folderLength;
    if (folderLength == 0 || folderLength + 1 + sizeof LibraryName > MAX_PATH)
        return false;
    memcpy(path, folder, folderLength);
    path[folderLength] = '\\';
    lstrcpyA(path + folderLength + 1, LibraryName);
    return IsFile(path);
}

enum Place { PLACE_NONE, PLACE_PROGRAM, PLACE_SYSTEM, PLACE_SYSTEM16, PLACE_WINDOWS,
             PLACE_CURRENT, PLACE_PATH };
static const char *const PlaceIds[] = {"none", "program_folder", "system", "system16",
                                       "windows", "current_folder", "path"};
static const char *const PlaceNames[] = {
    "", "dans le dossier du programme", "dans le dossier syst\xe8me",
    "dans le dossier syst\xe8me 16 bits", "dans le dossier de Windows",
    "seulement dans le dossier courant", "seulement par le PATH"};

// The first folder of PATH that holds the library, its file into `path`.
static bool FoundOnPath(char path[MAX_PATH])
{
    static char list[32768];
    DWORD n = GetEnvironmentVariableA("PATH", list, sizeof list);
    if (n == 0 || n >= sizeof list)
        return false;
    for (char *entry = list; *entry != '\0';) {
        char *end = entry;
        while (*end != '\0' && *end != ';')
            ++end;
        char *from = entry, *to = end;
        if (to - from >= 2 && *from == '"' && to[-1] == '"')
            ++from, --to;
        if (FoundIn(from, (size_t)(to - from), path))
            return true;
        entry = *end == ';' ? end + 1 : end;
    }
    return false;
}

// The search order of Windows for a DLL a program imports (safe search mode): the
// program's folder, the system folders, the Windows folder, the current folder, PATH.
static Place FindLibrary(const char *programPath, char path[MAX_PATH])
{
    const char *slash = strrchr(programPath, '\\');
    if (slash != NULL && FoundIn(programPath, (size_t)(slash - programPath), path))
        return PLACE_PROGRAM;
    char folder[MAX_PATH];
    UINT n = GetSystemDirectoryA(folder, sizeof folder);
    if (n > 0 && n < sizeof folder && FoundIn(folder, n, path))
        return PLACE_SYSTEM;
    n = GetWindowsDirectoryA(folder, sizeof folder);
    if (n > 0 && n + 8 < sizeof folder) {
        lstrcpyA(folder + n, "\\System");
        if (FoundIn(folder, n + 7, path))
            return PLACE_SYSTEM16;
        if (FoundIn(folder, n, path))
            return PLACE_WINDOWS;
    }
    n = GetCurrentDirectoryA(sizeof folder, folder);
    if (n > 0 && n < sizeof folder && FoundIn(folder, n, path))
        return PLACE_CURRENT;
    if (FoundOnPath(path))
        return PLACE_PATH;
    path[0] = '\0';
    return PLACE_NONE;
}

// Whether the program is already in the folder LN_Appli names (its short form, as the
// program reads it): then a missing library means that no Notes client is there.
static bool InClientFolder(const char *programPath, const InstallSettings *settings)
{
    char program[MAX_PATH];
    lstrcpynA(program, programPath, MAX_PATH);
    ShortenPath(program);
    return settings != NULL && SameFolder(program, settings->clientPath);
}

// The command that installs the program into the client's folder, with the settings
// the program accepted; empty when there are none, or the program is there already.
static void InstallIntoFix(const char *programPath, const InstallSettings *settings,
                           char fix[4 * MAX_PATH])
{
    char client[MAX_PATH], database[MAX_PATH], product[39];
    fix[0] = product[0] = '\0';
    if (settings == NULL || InClientFolder(programPath, settings))
        return;
    DWORD n = GetLongPathNameA(settings->clientPath, client, MAX_PATH);
    DWORD m = GetLongPathNameA(settings->databasePath, database, MAX_PATH);
    const char *slash = n > 0 && n < MAX_PATH ? strrchr(client, '\\') : NULL;
    if (slash == NULL || m == 0 || m >= MAX_PATH)
        return;
    char folder[MAX_PATH];
    lstrcpynA(folder, client, (int)(slash - client) + 1);
    if (!InstalledProduct(product))
        product[0] = '\0';
    if (!InstallIntoCommand(VELMORA_VERSION_TEXT, folder, client, database, product, fix,
                            4 * MAX_PATH))
        fix[0] = '\0';
}

void CheckLibrary(const char *programPath, const InstallSettings *settings, Library *library)
{
    static char fix[4 * MAX_PATH];
    *library = Library();       // none found, no sound image, no version
    if (programPath == NULL) {
        Field fields[] = {{"place", "none", 0}, {"path", "", 0}};
        Report("library.found", STATUS_INFO,
               "nNOTES.dll non cherch\xe9" "e : pas de programme, donc pas de dossier du "
               "programme", NULL, fields, 2);
        return;
    }
    Place place = FindLibrary(programPath, library->path);
    library->loadable = place >= PLACE_PROGRAM && place <= PLACE_WINDOWS;
    Field fields[] = {{"place", PlaceIds[place], 0}, {"path", library->path, 0}};
    fix[0] = '\0';
    if (place == PLACE_NONE || !library->loadable)
        InstallIntoFix(programPath, settings, fix);
    if (place == PLACE_NONE) {
        std::string missing;
        TextAdd(&missing, "nNOTES.dll introuvable : Windows refusera de d\xe9marrer le programme");
        ReportText("library.found", STATUS_PROBLEM, &missing,
                   InClientFolder(programPath, settings)
                       ? "aucun client Notes n'est install\xe9 dans le dossier que nomme "
                         "LN_Appli : installez ou r\xe9parez le client Notes, ou corrigez LN_Appli"
                       : "installez velmora-notes.exe dans le dossier du client Notes",
                   fields, 2, fix);
        return;
    }
    std::string text;
    TextFormat(&text, "nNOTES.dll trouv\xe9" "e %s : ", PlaceNames[place]);
    TextAddAnsi(&text, library->path);
    ReportText("library.found", library->loadable ? STATUS_OK : STATUS_WARNING, &text,
               place == PLACE_CURRENT
                   ? "installez velmora-notes.exe dans le dossier du client Notes : lanc\xe9 "
                     "d'ailleurs, il ne trouvera pas la biblioth\xe8que, et un dossier courant "
                     "peut en fournir une pi\xe9g\xe9" "e"
                   : "installez velmora-notes.exe dans le dossier du client Notes : un "
                     "dossier courant passe avant le PATH et peut fournir une biblioth\xe8que "
                     "pi\xe9g\xe9" "e",
               fields, 2, fix);
    CheckLibraryImage(library);
}
