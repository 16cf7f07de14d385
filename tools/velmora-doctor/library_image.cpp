// Reading the Notes library's image: the file read whole (the library never runs for
// these checks), whether it is a 32-bit DLL the program can load, whether it exports
// every ordinal the program imports, and the file version of its version resource.  A
// library that fails here is one Windows would refuse to start the program with, or
// would start it on and then fail.
#include "tools/velmora-doctor/doctor.h"

#include "velmora_version.h"

const NotesImport NotesImports[] = {
#define NOTES_ENTRY(ordinal, name, ret, params, bytes) {ordinal, #name},
#include "notes/nnotes_ordinals.h"
#undef NOTES_ENTRY
};
const int NotesImportCount = sizeof NotesImports / sizeof NotesImports[0];

// A file's bytes, read whole with ReadFile: a read error (a share gone away) is then an
// error to report, where a mapped view would raise an exception.
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
// VS_VERSIONINFO (three WORDs and L"VS_VERSION_INFO", padded: 40 bytes).  False
// (version empty) when it has none, or the image check's own rule does not hold: i386
// with a PE32 optional header, DLL or not.
static bool ImageVersion(const Image *image, char version[VERSION_SIZE])
{
    version[0] = '\0';
    ImageHeader header = HeaderOf(image);
    ImageVerdict verdict = JudgeImage(&header);
    if (image->nt == NULL || (verdict != IMAGE_NOT_DLL && verdict != IMAGE_SOUND) ||
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

// What is wrong with an image that cannot be the program's library, and what to do.
static const char *DescribeWrongImage(ImageVerdict verdict, const ImageHeader *header, std::string *text)
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

// Reports whether a sound 32-bit image exports every ordinal the program imports: the
// export address table, when there is one, holds a function at each.
static void CheckOrdinals(const Image *image)
{
    const IMAGE_DATA_DIRECTORY *directory =
        &image->nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const IMAGE_EXPORT_DIRECTORY *exports = NULL;
    if (image->nt->OptionalHeader.NumberOfRvaAndSizes > IMAGE_DIRECTORY_ENTRY_EXPORT &&
        directory->VirtualAddress != 0)
        exports = (const IMAGE_EXPORT_DIRECTORY *)AtRva(image, directory->VirtualAddress,
                                                        sizeof(IMAGE_EXPORT_DIRECTORY));
    if (exports != NULL && exports->NumberOfFunctions >= 0x10000)
        exports = NULL;
    DWORD base = exports != NULL ? exports->Base : 0;
    DWORD count = exports != NULL ? exports->NumberOfFunctions : 0;
    const DWORD *functions = exports != NULL ? (const DWORD *)AtRva(
                                 image, exports->AddressOfFunctions, count * (DWORD)sizeof(DWORD))
                                             : NULL;
    char line[600], missing[400], numbers[100];
    missing[0] = numbers[0] = '\0';
    int lacking = 0;
    for (int i = 0; i < NotesImportCount; ++i) {
        DWORD index = NotesImports[i].ordinal - base;
        if (functions != NULL && NotesImports[i].ordinal >= base && index < count &&
            functions[index] != 0)
            continue;
        wsprintfA(missing + lstrlenA(missing), "%s%u (%s)", lacking > 0 ? ", " : "",
                  NotesImports[i].ordinal, NotesImports[i].name);
        wsprintfA(numbers + lstrlenA(numbers), "%s%u", lacking > 0 ? "," : "",
                  NotesImports[i].ordinal);
        ++lacking;
    }
    Field fields[] = {{"missing", numbers, 0}, {"expected", NULL, (unsigned long)NotesImportCount}};
    if (lacking == 0) {
        wsprintfA(line, "Elle exporte les %d ordinaux que le programme importe", NotesImportCount);
        Report("library.ordinals", STATUS_OK, line, NULL, fields, 2);
        return;
    }
    wsprintfA(line, "Il lui manque %d des %d ordinaux que le programme importe : %s ; "
                    "Windows refusera de d\xe9marrer le programme", lacking, NotesImportCount,
              missing);
    Report("library.ordinals", STATUS_PROBLEM, line,
           "installez une version du client Notes que Velmora prend en charge", fields, 2);
}

void CheckLibraryImage(Library *library)
{
    Image image;
    DWORD error;
    std::string text;
    TextAddAnsi(&text, library->path);
    if (!ReadImage(library->path, &image, &error)) {
        TextFormat(&text, " ne peut pas \xeatre lue (erreur %lu)", error);
        ReportText("library.image", STATUS_PROBLEM, &text,
                   "v\xe9rifiez les droits de lecture sur le fichier", NULL, 0);
        return;
    }
    ImageHeader header = HeaderOf(&image);
    library->image = JudgeImage(&header);
    char machineText[8];
    wsprintfA(machineText, "0x%04x", header.machine);
    Field fields[] = {{"machine", machineText, 0}};
    if (library->image != IMAGE_SOUND || image.nt == NULL) {
        const char *action = DescribeWrongImage(library->image, &header, &text);
        ReportText("library.image", STATUS_PROBLEM, &text, action, fields, header.pe ? 1 : 0);
    } else {
        TextAdd(&text, " : biblioth\xe8que 32 bits (i386)");
        ReportText("library.image", STATUS_OK, &text, NULL, fields, 1);
        CheckOrdinals(&image);
    }
    ImageVersion(&image, library->version);
    FreeImage(&image);
}

// The file versions of the program, the doctor and the library, for an inventory of what
// is installed: the program's read from its image, never loaded, as the library's is.
void CheckVersions(const char *programPath, const Library *library)
{
    char program[VERSION_SIZE] = "";
    Image image;
    DWORD error;
    if (ReadImage(programPath, &image, &error)) {
        ImageVersion(&image, program);
        FreeImage(&image);
    }
    const char *doctor = VELMORA_VERSION_TEXT;
    std::string text;
    TextFormat(&text, "Versions : velmora-notes.exe %s, velmora-doctor.exe %s, nNOTES.dll %s",
               program[0] != '\0' ? program : "inconnue", doctor,
               library->version[0] != '\0' ? library->version : "inconnue");
    Field fields[] = {{"program", program, 0}, {"doctor", doctor, 0},
                      {"library", library->version, 0}};
    ReportText("versions", STATUS_INFO, &text, NULL, fields, 3);
}
