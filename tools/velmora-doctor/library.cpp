// The Notes library, nNOTES.dll: where the program's import finds it, whether it is a
// 32-bit image exporting every ordinal the program imports (read from the file, the
// library never runs), the file versions, and, on request, one open and close of the
// database through it.
//
// The doctor does not import the library: it must run where the library is broken or
// absent.  The few entries it calls (and the one window/database_window.cpp refers
// to) are defined here and go to the library loaded by --open, by ordinal.  --open
// runs the library's code with the user's rights, often an administrator's: it loads
// only a sound 32-bit DLL found in the program's folder or a system folder, and what
// that library loads by name only from its own folder and System32, never from the
// current folder or the doctor's; and it stops waiting for it after a time.
#include "tools/velmora-doctor/doctor.h"

#include "notes/notes_client.h"
#include "resources/resource.h"

#include "velmora_version.h"

#include <string.h>

struct Export {
    WORD ordinal;
    const char *name;
};

// The ordinals the program imports: the table its import library is made of, which
// the exe's shape check holds its imports to.
static const Export Imports[] = {
#define NOTES_ENTRY(ordinal, name, ret, params, bytes) {ordinal, #name},
#include "notes/nnotes_ordinals.h"
#undef NOTES_ENTRY
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

// A file's bytes, read whole with ReadFile: a read error (a share gone away) is then an
// error to report, where a mapped view would raise an exception.  Checked against its
// size at every step.
struct Image {
    BYTE *base;
    DWORD size;
    const IMAGE_NT_HEADERS32 *nt;   // none: no PE image
};

static const BYTE *AtOffset(const Image *image, DWORD offset, DWORD length)
{
    if (offset > image->size || length > image->size - offset)
        return NULL;
    return image->base + offset;
}

static void FreeImage(Image *image)
{
    if (image->base != NULL)
        HeapFree(GetProcessHeap(), 0, image->base);
    image->base = NULL;
}

// False, with the error in *error, when the file cannot be read whole.
static bool ReadImage(const char *path, Image *image, DWORD *error)
{
    image->base = NULL;
    image->size = 0;
    image->nt = NULL;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return false;
    }
    DWORD high = 0, size = GetFileSize(file, &high), got = 0;
    if (high == 0 && size != INVALID_FILE_SIZE)
        image->base = (BYTE *)HeapAlloc(GetProcessHeap(), 0, size + 1);
    bool read = false;
    if (image->base == NULL)
        *error = ERROR_NOT_ENOUGH_MEMORY;
    else if (!ReadFile(file, image->base, size, &got, NULL))
        *error = GetLastError();
    else if (got != size)
        *error = ERROR_HANDLE_EOF;
    else
        read = true;
    CloseHandle(file);
    if (!read) {
        FreeImage(image);
        return false;
    }
    image->size = size;
    const IMAGE_DOS_HEADER *dos = (const IMAGE_DOS_HEADER *)AtOffset(image, 0, sizeof *dos);
    const IMAGE_NT_HEADERS32 *nt =
        dos != NULL && dos->e_magic == IMAGE_DOS_SIGNATURE
            ? (const IMAGE_NT_HEADERS32 *)AtOffset(image, (DWORD)dos->e_lfanew, sizeof *nt)
            : NULL;
    image->nt = nt != NULL && nt->Signature == IMAGE_NT_SIGNATURE ? nt : NULL;
    return true;
}

static bool Is32Bit(const Image *image)
{
    return image->nt != NULL && image->nt->FileHeader.Machine == IMAGE_FILE_MACHINE_I386 &&
           image->nt->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC;
}

// The file bytes of `length` bytes at a relative virtual address, or none.
static const BYTE *AtRva(const Image *image, DWORD rva, DWORD length)
{
    const IMAGE_FILE_HEADER *file = &image->nt->FileHeader;
    const BYTE *table = AtOffset(image,
        (DWORD)((const BYTE *)&image->nt->OptionalHeader - image->base) +
            file->SizeOfOptionalHeader,
        (DWORD)file->NumberOfSections * (DWORD)sizeof(IMAGE_SECTION_HEADER));
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

// The file version of a 32-bit image's version resource: the first RT_VERSION entry,
// its first name and language, and the VS_FIXEDFILEINFO after the header of
// VS_VERSIONINFO (three WORDs and L"VS_VERSION_INFO", padded: 40 bytes).
static bool ImageVersion(const Image *image, char version[VERSION_SIZE])
{
    version[0] = '\0';
    if (!Is32Bit(image) ||
        image->nt->OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_RESOURCE)
        return false;
    DWORD root = image->nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE].VirtualAddress;
    DWORD offset = 0;
    for (int level = 0; level < 3; ++level) {
        const IMAGE_RESOURCE_DIRECTORY *directory =
            (const IMAGE_RESOURCE_DIRECTORY *)AtRva(image, root + offset, sizeof *directory);
        if (root == 0 || directory == NULL)
            return false;
        DWORD count = (DWORD)directory->NumberOfNamedEntries + directory->NumberOfIdEntries;
        const IMAGE_RESOURCE_DIRECTORY_ENTRY *entries =
            (const IMAGE_RESOURCE_DIRECTORY_ENTRY *)AtRva(
                image, root + offset + (DWORD)sizeof *directory,
                count * (DWORD)sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY));
        DWORD i = 0;
        while (level == 0 && entries != NULL && i < count &&
               entries[i].Name != (DWORD)(ULONG_PTR)RT_VERSION)
            ++i;
        if (entries == NULL || i == count || entries[i].DataIsDirectory != (level < 2))
            return false;
        offset = entries[i].OffsetToDirectory;
    }
    const IMAGE_RESOURCE_DATA_ENTRY *data =
        (const IMAGE_RESOURCE_DATA_ENTRY *)AtRva(image, root + offset, sizeof *data);
    const VS_FIXEDFILEINFO *fixed =
        data != NULL && data->Size >= 40 + sizeof(VS_FIXEDFILEINFO)
            ? (const VS_FIXEDFILEINFO *)AtRva(image, data->OffsetToData + 40, sizeof *fixed)
            : NULL;
    if (fixed == NULL || fixed->dwSignature != VS_FFI_SIGNATURE)
        return false;
    wsprintfA(version, "%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS),
              LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
              LOWORD(fixed->dwFileVersionLS));
    return true;
}

bool FileVersion(const char *path, char version[VERSION_SIZE])
{
    Image image;
    DWORD error;
    version[0] = '\0';
    if (!ReadImage(path, &image, &error))
        return false;
    bool found = ImageVersion(&image, version);
    FreeImage(&image);
    return found;
}

static ImageHeader HeaderOf(const Image *image)
{
    ImageHeader header = {image->nt != NULL, 0, 0, 0};
    if (header.pe) {
        header.machine = image->nt->FileHeader.Machine;
        header.characteristics = image->nt->FileHeader.Characteristics;
        header.magic = image->nt->OptionalHeader.Magic;
    }
    return header;
}

// What is wrong with an image that cannot be the program's library, and what to do.
static const char *DescribeWrongImage(ImageVerdict verdict, const ImageHeader *header, Text *text)
{
    switch (verdict) {
    case IMAGE_NOT_PE:
        TextAdd(text, " n'est pas une biblioth\xe8que Windows");
        return "r\xe9installez le client Notes";
    case IMAGE_NOT_I386:
        TextFormat(text, " n'est pas une biblioth\xe8que 32 bits (machine 0x%04x) : le "
                         "programme, 32 bits, ne peut pas la charger", header->machine);
        return "installez le client Notes 32 bits, celui que Velmora demande";
    case IMAGE_NOT_PE32:
        TextFormat(text, " se dit i386 mais son en-t\xeate optionnel n'est pas PE32 (magic "
                         "0x%04x) : le programme, 32 bits, ne peut pas la charger", header->magic);
        return "r\xe9installez le client Notes 32 bits : ce fichier est ab\xeem\xe9 ou n'est "
               "pas le sien";
    case IMAGE_NOT_DLL:
        TextAdd(text, " est un programme, pas une biblioth\xe8que (IMAGE_FILE_DLL absent)");
        return "r\xe9installez le client Notes : ce fichier n'est pas le sien";
    case IMAGE_SOUND:
        break;
    }
    return "";
}

// Reports on the image; returns its verdict.
static ImageVerdict CheckImage(const Image *image, const char *path)
{
    Text text = {};
    TextAddAnsi(&text, path);
    ImageHeader header = HeaderOf(image);
    ImageVerdict verdict = JudgeImage(&header);
    char machineText[8];
    wsprintfA(machineText, "0x%04x", header.machine);
    Field fields[] = {{"machine", machineText, 0}};
    if (verdict != IMAGE_SOUND || image->nt == NULL) {
        const char *action = DescribeWrongImage(verdict, &header, &text);
        ReportText("library.image", STATUS_PROBLEM, &text, action, fields, header.pe ? 1 : 0);
        TextFree(&text);
        return verdict;
    }
    TextAdd(&text, " : biblioth\xe8que 32 bits (i386)");
    ReportText("library.image", STATUS_OK, &text, NULL, fields, 1);
    TextFree(&text);

    char line[600];
    const IMAGE_DATA_DIRECTORY *directory =
        &image->nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const IMAGE_EXPORT_DIRECTORY *exports = NULL;
    if (image->nt->OptionalHeader.NumberOfRvaAndSizes > IMAGE_DIRECTORY_ENTRY_EXPORT &&
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
        wsprintfA(line, "Elle exporte les %d ordinaux que le programme importe", IMPORT_COUNT);
        Report("library.ordinals", STATUS_OK, line, NULL, ordinalFields, 2);
    } else {
        wsprintfA(line, "Il lui manque %d des %d ordinaux que le programme importe : %s ; "
                        "Windows refusera de d\xe9marrer le programme", lacking, IMPORT_COUNT,
                  missing);
        Report("library.ordinals", STATUS_PROBLEM, line,
               "installez une version du client Notes que Velmora prend en charge",
               ordinalFields, 2);
    }
    return IMAGE_SOUND;
}

// Where the library is missing: beside a program already in the client's folder, the
// cause is that no Notes client is there.
static const char *MissingAction(const char *programPath, const InstallSettings *settings)
{
    char program[MAX_PATH];
    lstrcpynA(program, programPath, MAX_PATH);
    ShortenPath(program);
    if (settings != NULL && SameFolder(program, settings->clientPath))
        return "aucun client Notes n'est install\xe9 dans le dossier que nomme LN_Appli : "
               "installez ou r\xe9parez le client Notes, ou corrigez LN_Appli";
    return "installez velmora-notes.exe dans le dossier du client Notes";
}

void CheckLibrary(const char *programPath, const InstallSettings *settings, Library *library)
{
    library->path[0] = '\0';
    library->loadable = false;
    library->image = IMAGE_NOT_PE;
    library->version[0] = '\0';
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
    if (place == PLACE_NONE) {
        Report("library.found", STATUS_PROBLEM,
               "nNOTES.dll introuvable : Windows refusera de d\xe9marrer le programme",
               MissingAction(programPath, settings), fields, 2);
        return;
    }
    Text text = {};
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
               fields, 2);
    TextClear(&text);

    Image image;
    DWORD error;
    if (!ReadImage(library->path, &image, &error)) {
        TextAddAnsi(&text, library->path);
        TextFormat(&text, " ne peut pas \xeatre lue (erreur %lu)", error);
        ReportText("library.image", STATUS_PROBLEM, &text,
                   "v\xe9rifiez les droits de lecture sur le fichier", NULL, 0);
    } else {
        library->image = CheckImage(&image, library->path);
        ImageVersion(&image, library->version);
        FreeImage(&image);
    }
    TextFree(&text);
}

void CheckVersions(const char *programPath, const Library *library)
{
    char program[VERSION_SIZE];
    FileVersion(programPath, program);
    const char *doctor = VELMORA_VERSION_TEXT;
    Text text = {};
    TextFormat(&text, "Versions : velmora-notes.exe %s, velmora-doctor.exe %s, nNOTES.dll %s",
               program[0] != '\0' ? program : "inconnue", doctor,
               library->version[0] != '\0' ? library->version : "inconnue");
    Field fields[] = {{"program", program, 0}, {"doctor", doctor, 0},
                      {"library", library->version, 0}};
    ReportText("versions", STATUS_INFO, &text, NULL, fields, 3);
    TextFree(&text);
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

// --- The search for libraries loaded by name, and the open. ---

typedef BOOL(WINAPI *SetDefaultDllDirectoriesCall)(DWORD);
typedef void *(WINAPI *AddDllDirectoryCall)(const WCHAR *);
static AddDllDirectoryCall g_addDllDirectory;   // none: the search could not be restricted

// LOAD_LIBRARY_SEARCH_DEFAULT_DIRS would add the doctor's own folder, where a copy of
// the doctor in a downloads folder would find a library planted beside it.  Only the
// process's default directories hold against a library that calls SetDllDirectory.
void RestrictLibrarySearch(void)
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    SetDefaultDllDirectoriesCall setDefault =
        kernel != NULL ? (SetDefaultDllDirectoriesCall)(void *)GetProcAddress(
                             kernel, "SetDefaultDllDirectories")
                       : NULL;
    AddDllDirectoryCall add = kernel != NULL ? (AddDllDirectoryCall)(void *)GetProcAddress(
                                                   kernel, "AddDllDirectory")
                                             : NULL;
    if (setDefault != NULL && add != NULL &&
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS))
        g_addDllDirectory = add;
}

// One open, run by a thread of its own so that the doctor can stop waiting for it: the
// library's entry code may wait or hang, a real library may wait for the user's
// password, and its detach code may hang too.
enum { STAGE_LOAD, STAGE_RUNTIME, STAGE_DATABASE, STAGE_UNLOAD, STAGE_DONE };
struct OpenRun {
    const char *library;
    const char *database;
    int argc;
    char **argv;
    volatile LONG stage;
    DWORD loadError;
    NotesStatus runtime, opened, closed;
};
static OpenRun g_run;       // static: a thread given up on still writes to it
static volatile LONG g_opening;

bool OpenRunning(void)
{
    return InterlockedCompareExchange(&g_opening, 0, 0) != 0;
}

static DWORD WINAPI RunOpen(void *parameter)
{
    OpenRun *run = (OpenRun *)parameter;
    g_library = LoadLibraryExA(run->library, NULL,
                               LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS);
    run->loadError = g_library == NULL ? GetLastError() : 0;
    if (g_library != NULL) {
        InterlockedExchange(&run->stage, STAGE_RUNTIME);
        run->runtime = InitNotesRuntime(run->argc, run->argv);
        if (run->runtime == 0) {
            InterlockedExchange(&run->stage, STAGE_DATABASE);
            NotesHandle db = 0;
            run->opened = OpenDatabase(run->database, &db);
            if (run->opened == 0)
                run->closed = CloseDatabase(db);
            EndNotesRuntime();
        }
        InterlockedExchange(&run->stage, STAGE_UNLOAD);
        FreeLibrary(g_library);
    }
    InterlockedExchange(&run->stage, STAGE_DONE);
    return 0;
}

// Why --open is not tried, or none.
static const char *NotTried(const Library *library, const InstallSettings *settings)
{
    if (library->path[0] == '\0')
        return "pas de biblioth\xe8que";
    if (settings == NULL)
        return "r\xe9glages refus\xe9s";
    if (library->image != IMAGE_SOUND)
        return "la biblioth\xe8que n'est pas une DLL 32 bits saine (voir plus haut) : le "
               "docteur ne la charge pas";
    if (g_addDllDirectory == NULL)
        return "ce Windows ne sait pas restreindre la recherche des DLL "
               "(SetDefaultDllDirectories manque : Windows 7 et 2008 R2 sans la mise \xe0 "
               "jour KB2533623, Vista, XP) ; le docteur ne charge pas la biblioth\xe8que";
    return NULL;
}

// Makes the library's folder the one its libraries come from and the current one (its
// ".\name" and data-file loads resolve against it); false, with the reason said, when
// it cannot.
static bool EnterLibraryFolder(const char *path)
{
    char folder[MAX_PATH];
    WCHAR wide[MAX_PATH];
    lstrcpynA(folder, path, MAX_PATH);
    char *slash = strrchr(folder, '\\');
    if (slash != NULL)
        slash[slash == folder + 2 ? 1 : 0] = '\0';      // keep the root's backslash
    bool entered = slash != NULL &&
                   MultiByteToWideChar(CP_ACP, 0, folder, -1, wide, MAX_PATH) > 0 &&
                   g_addDllDirectory(wide) != NULL && SetCurrentDirectoryA(folder);
    if (!entered) {
        Text text = {};
        TextFormat(&text, "Ouverture de la base non essay\xe9" "e : le dossier de la "
                          "biblioth\xe8que ne peut pas servir \xe0 la recherche (erreur %lu)",
                   GetLastError());
        ReportText("open", STATUS_PROBLEM, &text, "signalez-le avec ce rapport", NULL, 0);
        TextFree(&text);
    }
    return entered;
}

// The doctor stopped waiting at `stage`.
static void ReportGivenUp(LONG stage, DWORD limitMs)
{
    Text text = {};
    const char *id = "open.runtime";
    Status status = STATUS_BUSY;
    const char *action = "relancez le docteur quand l'utilisateur peut r\xe9pondre au client "
                         "Notes, ou avec --timeout plus long";
    if (stage == STAGE_LOAD) {
        id = "open.load";
        TextFormat(&text, "nNOTES.dll ne finit pas de se charger en %lu s (son code "
                          "d'initialisation attend) : le programme, qui l'importe, resterait "
                          "bloqu\xe9 au d\xe9marrage ; le docteur abandonne", limitMs / 1000);
        status = STATUS_PROBLEM;
        action = "r\xe9installez le client Notes, ou relancez le docteur avec --timeout plus long";
    } else if (stage == STAGE_RUNTIME) {
        TextFormat(&text, "Le runtime Notes ne r\xe9pond pas en %lu s : il attend sans doute le "
                          "mot de passe de l'utilisateur ; le docteur abandonne", limitMs / 1000);
    } else if (stage == STAGE_DATABASE) {
        id = "open.database";
        TextFormat(&text, "Runtime Notes d\xe9marr\xe9, mais la base ne s'ouvre pas en %lu s ; "
                          "le docteur abandonne", limitMs / 1000);
    } else {
        id = "open.end";
        status = STATUS_WARNING;
        TextFormat(&text, "Runtime Notes arr\xeat\xe9, mais nNOTES.dll ne se d\xe9" "charge pas "
                          "en %lu s ; le docteur abandonne", limitMs / 1000);
        action = "signalez-le avec ce rapport";
    }
    ReportText(id, status, &text, action, NULL, 0);
    TextFree(&text);
}

// The library that did not load.  Error 126 in the doctor may be its restricted search
// only: the program also looks in the current folder and PATH.
static void ReportNotLoaded(const OpenRun *run)
{
    Text text = {};
    TextAddAnsi(&text, run->library);
    TextFormat(&text, " ne se charge pas (erreur %lu)", run->loadError);
    if (run->loadError == ERROR_MOD_NOT_FOUND)
        TextAdd(&text, " : une DLL dont elle d\xe9pend n'est ni dans son dossier ni dans "
                       "System32 (recherche restreinte du docteur ; le programme cherche "
                       "aussi dans le dossier courant et le PATH)");
    ReportText("open.runtime", STATUS_PROBLEM, &text,
               run->loadError == ERROR_MOD_NOT_FOUND
                   ? "si le programme marche, la DLL vient du PATH : mettez-la dans le dossier "
                     "du client Notes ; sinon r\xe9installez le client Notes"
                   : "r\xe9installez le client Notes",
               NULL, 0);
    TextFree(&text);
}

static void ReportOpened(const OpenRun *run)
{
    Text text = {};
    Field fields[] = {{"notes_status", NULL, run->runtime}};
    if (run->runtime != 0) {
        TextFormat(&text, "Le runtime Notes ne d\xe9marre pas (statut %u) : le programme "
                          "affichera ", run->runtime);
        TextAddBox(&text, MSG_NOTES_INIT_FAILED);
        ReportText("open.runtime", STATUS_PROBLEM, &text,
                   "d\xe9marrez le client Notes une fois \xe0 la main et v\xe9rifiez notes.ini et "
                   "l'identit\xe9 de l'utilisateur", fields, 1);
        TextFree(&text);
        return;
    }
    Report("open.runtime", STATUS_OK, "Runtime Notes d\xe9marr\xe9", NULL, fields, 1);
    fields[0].number = run->opened;
    TextAdd(&text, "Base ");
    TextAddAnsi(&text, run->database);
    if (run->opened != 0) {
        TextFormat(&text, " : elle existe mais ne s'ouvre pas (statut %u) : le programme "
                          "affichera ", run->opened);
        TextAddBox(&text, MSG_DATABASE_NOT_FOUND);
        ReportText("open.database", STATUS_PROBLEM, &text,
                   "v\xe9rifiez que c'est bien une base Notes, intacte, et que l'utilisateur "
                   "a le droit de l'ouvrir (fichier et liste d'acc\xe8s de la base)",
                   fields, 1);
    } else {
        TextFormat(&text, " ouverte puis ferm\xe9" "e (statut %u)", run->closed);
        ReportText("open.database", run->closed == 0 ? STATUS_OK : STATUS_WARNING, &text,
                   "la fermeture a \xe9" "chou\xe9 : signalez-le avec ce rapport", fields, 1);
    }
    Report("open.end", STATUS_OK, "Runtime Notes arr\xea" "t\xe9, biblioth\xe8que d\xe9" "charg\xe9" "e",
           NULL, NULL, 0);
    TextFree(&text);
}

bool CheckOpen(const Library *library, const InstallSettings *settings, int argc,
               char **argv, DWORD limitMs)
{
    Text text = {};
    const char *notTried = NotTried(library, settings);
    if (notTried != NULL) {
        TextAdd(&text, "Ouverture de la base non essay\xe9" "e : ");
        TextAdd(&text, notTried);
        ReportText("open", library->image != IMAGE_SOUND || g_addDllDirectory == NULL
                               ? STATUS_PROBLEM : STATUS_INFO,
                   &text, g_addDllDirectory == NULL
                              ? "installez la mise \xe0 jour KB2533623, ou essayez le programme lui-m\xeame"
                              : "corrigez d'abord ce qui est signal\xe9 plus haut",
                   NULL, 0);
        TextFree(&text);
        return false;
    }
    if (!library->loadable) {
        TextAdd(&text, "Ouverture de la base non essay\xe9" "e : le docteur ne charge pas ");
        TextAddAnsi(&text, library->path);
        TextAdd(&text, ", trouv\xe9" "e hors du dossier du programme et des dossiers syst\xe8me "
                       "(son code tournerait avec vos droits)");
        ReportText("open", STATUS_PROBLEM, &text,
                   "installez velmora-notes.exe dans le dossier du client Notes", NULL, 0);
        TextFree(&text);
        return false;
    }
    if (!EnterLibraryFolder(library->path))
        return false;
    Report("open.password", STATUS_INFO,
           "Ouverture de la base : un vrai client Notes peut demander ici le mot de passe de "
           "l'utilisateur", NULL, NULL, 0);

    g_run.library = library->path;
    g_run.database = settings->databasePath;
    g_run.argc = argc;
    g_run.argv = argv;
    g_run.stage = STAGE_LOAD;
    InterlockedExchange(&g_opening, 1);
    HANDLE thread = CreateThread(NULL, 0, RunOpen, &g_run, 0, NULL);
    bool ended = thread != NULL && WaitForSingleObject(thread, limitMs) == WAIT_OBJECT_0;
    LONG stage = InterlockedCompareExchange(&g_run.stage, STAGE_DONE, STAGE_DONE);
    if (!ended && thread == NULL) {
        TextFormat(&text, "Ouverture de la base non essay\xe9" "e : pas de thread (erreur %lu)",
                   GetLastError());
        ReportText("open", STATUS_PROBLEM, &text, "fermez des programmes et r\xe9" "essayez",
                   NULL, 0);
        TextFree(&text);
        return false;
    }
    if (!ended) {
        // From here on only text is written: the library keeps what it holds.
        ReportGivenUp(stage, limitMs);
        CloseHandle(thread);
        return true;
    }
    InterlockedExchange(&g_opening, 0);
    CloseHandle(thread);
    if (g_run.loadError != 0)
        ReportNotLoaded(&g_run);
    else
        ReportOpened(&g_run);
    return false;
}
