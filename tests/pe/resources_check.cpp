// Reads the built program's resources back through the platform, under Wine: the
// French string table as LoadStringA gives it (Windows-1252 bytes), its language,
// and the version resource's translation.  Prints "N passed, N failed".
#include "testkit/wine/check.h"
#include "tests/expected_texts.h"

#include <windows.h>

#include <string.h>

static void CheckStrings(HMODULE program)
{
    for (UINT id = 1; id <= LastExpectedText; ++id) {
        char text[512];
        int n = LoadStringA(program, id, text, sizeof text);
        ok(n == (int)strlen(ExpectedTexts[id]) && strcmp(text, ExpectedTexts[id]) == 0,
           "string %u: got \"%s\" (%d), expected \"%s\"", id, text, n, ExpectedTexts[id]);
    }
    char text[16];
    ok(LoadStringA(program, LastExpectedText + 1, text, sizeof text) == 0, "no string after the last");
    ok(LoadStringA(program, 0, text, sizeof text) == 0, "no string 0");

    // One string block (ids 0 to 15), in French and in no other language.
    ok(FindResourceExA(program, (LPCSTR)RT_STRING, MAKEINTRESOURCEA(1),
                       MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH)) != NULL,
       "a French string block");
    ok(FindResourceExA(program, (LPCSTR)RT_STRING, MAKEINTRESOURCEA(1),
                       MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)) == NULL,
       "no English string block");
    ok(FindResourceA(program, MAKEINTRESOURCEA(1), (LPCSTR)RT_ICON) == NULL &&
           FindResourceA(program, MAKEINTRESOURCEA(1), (LPCSTR)RT_MANIFEST) == NULL &&
           FindResourceA(program, MAKEINTRESOURCEA(1), (LPCSTR)RT_GROUP_ICON) == NULL,
       "no icon and no manifest");
}

static void CheckVersion(const char *path)
{
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    ok(size > 0, "a version resource");
    if (size == 0)
        return;
    static char data[8192];
    ok(size <= sizeof data && GetFileVersionInfoA(path, 0, sizeof data, data),
       "the version resource reads (%lu bytes)", size);
    WORD *translation = NULL;
    UINT length = 0;
    ok(VerQueryValueA(data, "\\VarFileInfo\\Translation", (void **)&translation, &length) &&
           length == 4 && translation[0] == 0x040C && translation[1] == 0x04E4,
       "translation %04x%04x, expected 040c04e4", translation ? translation[0] : 0,
       translation ? translation[1] : 0);
    char *product = NULL;
    ok(VerQueryValueA(data, "\\StringFileInfo\\040c04e4\\ProductName", (void **)&product,
                      &length) && strcmp(product, "Velmora pour Lotus Notes") == 0,
       "the ProductName of the 040c04e4 block");
}

int main(int argc, char **argv)
{
    const char *path = argc > 1 ? argv[1] : "velmora-notes.exe";
    HMODULE program = LoadLibraryExA(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
    g_caseName = "strings";
    ok(program != NULL, "%s loads as a data file", path);
    if (program != NULL)
        CheckStrings(program);
    g_caseName = "version";
    CheckVersion(path);
    return CheckSummary();
}
