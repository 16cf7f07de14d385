// Reads the built program's resources back through the platform: the French string
// table, compared as Unicode so that any machine can check it, its language, and the
// version resource's translation.  Prints "N passed, N failed".
#include "testkit/wine/check.h"

#include <windows.h>

#include <string.h>
#include <wchar.h>

static const char *const Expected[] = {
    nullptr,
    "Velmora pour Lotus Notes",
    "Impossible d'envoyer le m\xe9mo maintenant. Ouvrez manuellement la base Velmora quand "
    "le client Notes ne sera plus occup\xe9.",
    "Impossible de cr\xe9"
    "er un nouveau m\xe9mo dans la base Velmora.nsf",
    "Impossible de cr\xe9"
    "er le champ \"body\" pour le nouveau message",
    "Impossible d'ajouter le champ \"body\" au message",
    "Impossible d'attacher un fichier au nouveau message",
    "Velmora pour Notes n'est pas correctement install\xe9. R\xe9installez Velmora apr\xe8s "
    "avoir install\xe9 ou fait une mise \xe0 jour du client Notes.",
    "Impossible d'ouvrir un fichier temporaire",
    "Impossible de lire le fichier ou format incorrect.",
    "Impossible de trouver la base Velmora.nsf. R\xe9installez Velmora ou copiez manuellement "
    "la base du r\xe9pertoire d'installation de Velmora vers le r\xe9pertoire data de Notes.",
    "Impossible d'initialiser Lotus Notes",
};

// The table's strings as UTF-16, which LoadStringW gives whatever the machine's ANSI
// code page; the expected texts above are Windows-1252.
static void CheckStrings(HMODULE program)
{
    for (UINT id = 1; id <= 11; ++id) {
        wchar_t text[512], expected[512];
        int n = LoadStringW(program, id, text, sizeof text / sizeof text[0]);
        int m = MultiByteToWideChar(1252, 0, Expected[id], -1, expected,
                                    sizeof expected / sizeof expected[0]);
        ok(n == m - 1 && wcscmp(text, expected) == 0, "string %u: got \"%ls\" (%d), expected "
           "\"%s\" (Windows-1252)", id, text, n, Expected[id]);
    }
    char text[16];
    ok(LoadStringA(program, 12, text, sizeof text) == 0, "no string 12");
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
