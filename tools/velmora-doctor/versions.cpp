// Reading versions: the file version of the program and of the Notes library, from the
// version resource of each image (read with ReadFile, never loaded), beside the doctor's
// own, for an inventory of what is installed.
#include "tools/velmora-doctor/library_image.h"

#include "velmora_version.h"

// The file version of the image at `path`; false (version empty) when it has none.
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
    std::string text;
    TextFormat(&text, "Versions : velmora-notes.exe %s, velmora-doctor.exe %s, nNOTES.dll %s",
               program[0] != '\0' ? program : "inconnue", doctor,
               library->version[0] != '\0' ? library->version : "inconnue");
    Field fields[] = {{"program", program, 0}, {"doctor", doctor, 0},
                      {"library", library->version, 0}};
    ReportText("versions", STATUS_INFO, &text, NULL, fields, 3);
}

