// Reading versions: the file version of the program and of the Notes library, from the
// version resource of each image (read with ReadFile, never loaded), beside the doctor's
// own, for an inventory of what is installed.
#include "tools/velmora-doctor/library_image.h"

#include "velmora_version.h"

// The first RT_VERSION entry,
// its first name and language, and the VS_FIXEDFILEINFO after the header of
// VS_VERSIONINFO (three WORDs and L"VS_VERSION_INFO", padded: 40 bytes).
bool ImageVersion(const Image *image, char version[VERSION_SIZE])
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

static bool FileVersion(const char *path, char version[VERSION_SIZE])
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

