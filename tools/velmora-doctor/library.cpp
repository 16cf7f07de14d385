// The Notes library, nNOTES.dll: where the program's import finds it, whether it is a
// 32-bit image exporting every ordinal the program imports (read from the file, the
// library never runs), and, on request, one open and close of the database through it.
//
// The doctor does not import the library: it must run where the library is broken or
// absent.  The few entries it calls (and the one window/database_window.cpp refers
// to) are defined here and go to the library loaded by --open, by ordinal.
#include "tools/velmora-doctor/doctor.h"

#include "notes/notes_client.h"

#include <string.h>

struct Export {
    WORD ordinal;
    const char *name;
};

// The ordinals of notes/notes_client.h, all imported by the program; the exe's shape
// check holds this table to the header's.
static const Export Imports[] = {
    {15, "InitNotesRuntime"},  {13, "EndNotesRuntime"},   {401, "SetClientVariable"},
    {2005, "OpenDatabase"},    {2001, "CloseDatabase"},   {2009, "CreateNote"},
    {2008, "CloseNote"},       {2183, "SetTextItem"},     {3810, "CreateBodyBuffer"},
    {3806, "AppendBodyLine"},  {3801, "AddBodyToNote"},   {2072, "AttachFile"},
    {2013, "SaveNote"},
};
enum { IMPORT_COUNT = sizeof Imports / sizeof Imports[0] };

static const char LibraryName[] = "nNOTES.dll";

static bool IsFile(const char *path)
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
    static char list[32768];
    n = GetEnvironmentVariableA("PATH", list, sizeof list);
    if (n == 0 || n >= sizeof list)
        return PLACE_NONE;
    for (char *entry = list; *entry != '\0';) {
        char *end = entry;
        while (*end != '\0' && *end != ';')
            ++end;
        char *from = entry, *to = end;
        if (to - from >= 2 && *from == '"' && to[-1] == '"')
            ++from, --to;
        if (FoundIn(from, (size_t)(to - from), path))
            return PLACE_PATH;
        entry = *end == ';' ? end + 1 : end;
    }
    path[0] = '\0';
    return PLACE_NONE;
}

// The image behind a mapped file, checked against its size at every step.
struct Image {
    const BYTE *base;
    DWORD size;
    const IMAGE_NT_HEADERS32 *nt;
};

static const BYTE *AtOffset(const Image *image, DWORD offset, DWORD length)
{
    if (offset > image->size || length > image->size - offset)
        return NULL;
    return image->base + offset;
}

// The file bytes of `length` bytes at a relative virtual address, or none.
static const BYTE *AtRva(const Image *image, DWORD rva, DWORD length)
{
    const IMAGE_FILE_HEADER *file = &image->nt->FileHeader;
    const BYTE *table = AtOffset(image,
        (DWORD)((const BYTE *)&image->nt->OptionalHeader - image->base) +
            file->SizeOfOptionalHeader,
        (DWORD)(file->NumberOfSections * sizeof(IMAGE_SECTION_HEADER)));
    if (table == NULL)
        return NULL;
    const IMAGE_SECTION_HEADER *sections = (const IMAGE_SECTION_HEADER *)table;
    for (WORD i = 0; i < file->NumberOfSections; ++i) {
        DWORD start = sections[i].VirtualAddress;
        DWORD extent = sections[i].SizeOfRawData;
        if (rva >= start && rva - start < extent && length <= extent - (rva - start))
            return AtOffset(image, sections[i].PointerToRawData + (rva - start), length);
    }
    return NULL;
}

// Reports on the image; returns how many of the imports it lacks (IMPORT_COUNT when
// it is no 32-bit image or has no export table).
static int CheckImage(Image *image, const char *path)
{
    char text[600];
    const BYTE *dos = AtOffset(image, 0, sizeof(IMAGE_DOS_HEADER));
    const IMAGE_DOS_HEADER *header = (const IMAGE_DOS_HEADER *)dos;
    const BYTE *nt = dos != NULL && header->e_magic == IMAGE_DOS_SIGNATURE
                         ? AtOffset(image, (DWORD)header->e_lfanew, sizeof(IMAGE_NT_HEADERS32))
                         : NULL;
    Image *checked = image;
    checked->nt = (const IMAGE_NT_HEADERS32 *)nt;
    if (nt == NULL || checked->nt->Signature != IMAGE_NT_SIGNATURE) {
        wsprintfA(text, "%s n'est pas une biblioth\xe8que Windows", path);
        Report("library.image", STATUS_PROBLEM, text, "r\xe9installez le client Notes", NULL, 0);
        return IMPORT_COUNT;
    }
    WORD machine = checked->nt->FileHeader.Machine;
    WORD magic = checked->nt->OptionalHeader.Magic;
    char machineText[8];
    wsprintfA(machineText, "0x%04x", machine);
    Field fields[] = {{"machine", machineText, 0}};
    if (machine != IMAGE_FILE_MACHINE_I386 || magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
        wsprintfA(text, "%s n'est pas une biblioth\xe8que 32 bits (machine %s) : le programme, "
                        "32 bits, ne peut pas la charger", path, machineText);
        Report("library.image", STATUS_PROBLEM, text,
               "installez le client Notes 32 bits, celui que Velmora demande", fields, 1);
        return IMPORT_COUNT;
    }
    wsprintfA(text, "%s : biblioth\xe8que 32 bits (i386)", path);
    Report("library.image", STATUS_OK, text, NULL, fields, 1);

    const IMAGE_DATA_DIRECTORY *directory =
        &checked->nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const IMAGE_EXPORT_DIRECTORY *exports = NULL;
    if (checked->nt->OptionalHeader.NumberOfRvaAndSizes > IMAGE_DIRECTORY_ENTRY_EXPORT &&
        directory->VirtualAddress != 0)
        exports = (const IMAGE_EXPORT_DIRECTORY *)AtRva(image, directory->VirtualAddress,
                                                        sizeof(IMAGE_EXPORT_DIRECTORY));
    const DWORD *functions = NULL;
    if (exports != NULL && exports->NumberOfFunctions < 0x10000)
        functions = (const DWORD *)AtRva(image, exports->AddressOfFunctions,
                                         exports->NumberOfFunctions * (DWORD)sizeof(DWORD));
    char missing[400], numbers[100];
    missing[0] = numbers[0] = '\0';
    int lacking = 0;
    for (int i = 0; i < IMPORT_COUNT; ++i) {
        DWORD index = Imports[i].ordinal - (exports != NULL ? exports->Base : 0);
        if (functions != NULL && Imports[i].ordinal >= exports->Base &&
            index < exports->NumberOfFunctions && functions[index] != 0)
            continue;
        wsprintfA(missing + lstrlenA(missing), "%s%u (%s)", lacking > 0 ? ", " : "",
                  Imports[i].ordinal, Imports[i].name);
        wsprintfA(numbers + lstrlenA(numbers), "%s%u", lacking > 0 ? "," : "",
                  Imports[i].ordinal);
        ++lacking;
    }
    Field ordinalFields[] = {{"missing", numbers, 0}, {"expected", NULL, IMPORT_COUNT}};
    if (lacking == 0) {
        wsprintfA(text, "Elle exporte les %d ordinaux que le programme importe", IMPORT_COUNT);
        Report("library.ordinals", STATUS_OK, text, NULL, ordinalFields, 2);
    } else {
        wsprintfA(text, "Il lui manque %d des %d ordinaux que le programme importe : %s ; "
                        "Windows refusera de d\xe9marrer le programme", lacking, IMPORT_COUNT,
                  missing);
        Report("library.ordinals", STATUS_PROBLEM, text,
               "installez une version du client Notes que Velmora prend en charge",
               ordinalFields, 2);
    }
    return lacking;
}

static void CheckFile(const char *path)
{
    char text[400];
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, 0, NULL);
    HANDLE mapping = file != INVALID_HANDLE_VALUE
                         ? CreateFileMappingA(file, NULL, PAGE_READONLY, 0, 0, NULL)
                         : NULL;
    const BYTE *view = mapping != NULL ? (const BYTE *)MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0)
                                       : NULL;
    if (view == NULL) {
        wsprintfA(text, "%s ne peut pas \xeatre lue (erreur %lu)", path, GetLastError());
        Report("library.image", STATUS_PROBLEM, text,
               "v\xe9rifiez les droits de lecture sur le fichier", NULL, 0);
    } else {
        Image image = {view, GetFileSize(file, NULL), NULL};
        CheckImage(&image, path);
        UnmapViewOfFile(view);
    }
    if (mapping != NULL)
        CloseHandle(mapping);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
}

void CheckLibrary(const char *programPath, char libraryPath[MAX_PATH])
{
    char text[400];
    Place place = FindLibrary(programPath, libraryPath);
    Field fields[] = {{"place", PlaceIds[place], 0}, {"path", libraryPath, 0}};
    if (place == PLACE_NONE) {
        Report("library.found", STATUS_PROBLEM,
               "nNOTES.dll introuvable : Windows refusera de d\xe9marrer le programme",
               "installez velmora-notes.exe dans le dossier du client Notes, ou ajoutez ce "
               "dossier au PATH", fields, 2);
        return;
    }
    wsprintfA(text, "nNOTES.dll trouv\xe9" "e %s : %s", PlaceNames[place], libraryPath);
    if (place == PLACE_CURRENT || place == PLACE_PATH)
        Report("library.found", STATUS_WARNING, text,
               place == PLACE_CURRENT
                   ? "installez velmora-notes.exe dans le dossier du client Notes : lanc\xe9 "
                     "d'ailleurs, il ne trouvera pas la biblioth\xe8que, et un dossier courant "
                     "peut en fournir une pi\xe9g\xe9" "e"
                   : "installez velmora-notes.exe dans le dossier du client Notes, pour ne pas "
                     "d\xe9pendre du PATH",
               fields, 2);
    else
        Report("library.found", STATUS_OK, text, NULL, fields, 2);
    CheckFile(libraryPath);
}

// --- The entries the doctor calls, resolved in the library loaded by CheckOpen. ---

static const NotesStatus NOT_CALLED = 0xFFFF;     // the status of an entry the library lacks

static HMODULE g_library;

// The entry of the loaded library for the operation of that name, found by its ordinal.
static void *Entry(const char *name)
{
    for (int i = 0; i < IMPORT_COUNT && g_library != NULL; ++i) {
        if (lstrcmpA(Imports[i].name, name) == 0)
            return (void *)GetProcAddress(g_library, MAKEINTRESOURCEA(Imports[i].ordinal));
    }
    return NULL;
}

extern "C" {
NotesStatus NOTESAPI InitNotesRuntime(int argc, char **argv)
{
    typedef NotesStatus(NOTESAPI * Call)(int, char **);
    Call call = (Call)Entry("InitNotesRuntime");
    return call != NULL ? call(argc, argv) : NOT_CALLED;
}

void NOTESAPI EndNotesRuntime(void)
{
    typedef void(NOTESAPI * Call)(void);
    Call call = (Call)Entry("EndNotesRuntime");
    if (call != NULL)
        call();
}

void NOTESAPI SetClientVariable(const char *name, const char *value)
{
    typedef void(NOTESAPI * Call)(const char *, const char *);
    Call call = (Call)Entry("SetClientVariable");
    if (call != NULL)
        call(name, value);
}

NotesStatus NOTESAPI OpenDatabase(const char *path, NotesHandle *db)
{
    typedef NotesStatus(NOTESAPI * Call)(const char *, NotesHandle *);
    Call call = (Call)Entry("OpenDatabase");
    return call != NULL ? call(path, db) : NOT_CALLED;
}

NotesStatus NOTESAPI CloseDatabase(NotesHandle db)
{
    typedef NotesStatus(NOTESAPI * Call)(NotesHandle);
    Call call = (Call)Entry("CloseDatabase");
    return call != NULL ? call(db) : NOT_CALLED;
}
}

void CheckOpen(const char *libraryPath, const InstallSettings *settings, int argc, char **argv)
{
    char text[600];
    if (libraryPath[0] == '\0' || settings == NULL) {
        Report("open", STATUS_INFO,
               libraryPath[0] == '\0' ? "Ouverture de la base non essay\xe9" "e : pas de biblioth\xe8que"
                                      : "Ouverture de la base non essay\xe9" "e : r\xe9glages refus\xe9s",
               NULL, NULL, 0);
        return;
    }
    Report("open.password", STATUS_INFO,
           "Ouverture de la base : un vrai client Notes peut demander ici le mot de passe de "
           "l'utilisateur", NULL, NULL, 0);
    g_library = LoadLibraryExA(libraryPath, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (g_library == NULL) {
        wsprintfA(text, "%s ne se charge pas (erreur %lu)", libraryPath, GetLastError());
        Report("open.runtime", STATUS_PROBLEM, text,
               "r\xe9installez le client Notes : une DLL dont il d\xe9pend manque peut-\xeatre",
               NULL, 0);
        return;
    }
    NotesStatus status = InitNotesRuntime(argc, argv);
    Field fields[] = {{"notes_status", NULL, status}};
    if (status != 0) {
        wsprintfA(text, "Le runtime Notes ne d\xe9marre pas (statut %u) : le programme "
                        "affichera \xab Impossible d'initialiser Lotus Notes \xbb", status);
        Report("open.runtime", STATUS_PROBLEM, text,
               "d\xe9marrez le client Notes une fois \xe0 la main et v\xe9rifiez notes.ini et "
               "l'identit\xe9 de l'utilisateur", fields, 1);
        FreeLibrary(g_library);
        g_library = NULL;
        return;
    }
    Report("open.runtime", STATUS_OK, "Runtime Notes d\xe9marr\xe9", NULL, fields, 1);

    NotesHandle db = 0;
    status = OpenDatabase(settings->databasePath, &db);
    fields[0].number = status;
    if (status != 0) {
        wsprintfA(text, "La base %s ne s'ouvre pas (statut %u) : le programme affichera "
                        "\xab Impossible de trouver la base Velmora.nsf \xbb",
                  settings->databasePath, status);
        Report("open.database", STATUS_PROBLEM, text,
               "v\xe9rifiez le chemin LN_Base et les droits de l'utilisateur sur la base",
               fields, 1);
    } else {
        NotesStatus closed = CloseDatabase(db);
        wsprintfA(text, "Base %s ouverte puis ferm\xe9" "e (statut %u)", settings->databasePath,
                  closed);
        Report("open.database", closed == 0 ? STATUS_OK : STATUS_WARNING, text,
               "la fermeture a \xe9" "chou\xe9 : signalez-le avec ce rapport", fields, 1);
    }
    EndNotesRuntime();
    Report("open.end", STATUS_OK, "Runtime Notes arr\xea" "t\xe9", NULL, NULL, 0);
    FreeLibrary(g_library);
    g_library = NULL;
}
