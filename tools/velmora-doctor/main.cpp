// velmora-doctor.exe: checks an installation of velmora-notes.exe the way the program
// itself would see it, one line per check.
//
//   velmora-doctor.exe [--json] [--program CHEMIN] [--open] [--job FICHIER]
//
// Exit code: 0 when the installation is sound, 1 when a problem was found, 2 on bad
// usage.  See docs/deploying.md.
#include "tools/velmora-doctor/doctor.h"

#include <string.h>

static const char ProgramName[] = "velmora-notes.exe";

static const char Usage[] =
    "Usage : velmora-doctor.exe [--json] [--program CHEMIN] [--open] [--job FICHIER]\r\n"
    "  --json            rapport JSON (ASCII) pour les scripts\r\n"
    "  --program CHEMIN  le velmora-notes.exe \xe0 examiner (par d\xe9" "faut celui du dossier "
    "du docteur)\r\n"
    "  --open            d\xe9marre le runtime Notes, ouvre et ferme la base, arr\xeate le "
    "runtime\r\n"
    "  --job FICHIER     ce que le programme ferait de ce fichier de travail (sans le "
    "supprimer)\r\n"
    "Code de sortie : 0 installation saine, 1 probl\xe8me trouv\xe9, 2 mauvais usage.\r\n";

struct Options {
    bool json;
    bool open;
    const char *program;
    const char *job;
};

static bool ParseOptions(int argc, char **argv, Options *o)
{
    o->json = o->open = false;
    o->program = o->job = NULL;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--json") == 0 && !o->json)
            o->json = true;
        else if (strcmp(argv[i], "--open") == 0 && !o->open)
            o->open = true;
        else if (strcmp(argv[i], "--program") == 0 && i + 1 < argc && o->program == NULL)
            o->program = argv[++i];
        else if (strcmp(argv[i], "--job") == 0 && i + 1 < argc && o->job == NULL)
            o->job = argv[++i];
        else
            return false;
    }
    return true;
}

bool CheckProgram(const char *programPath)
{
    char text[400];
    DWORD attributes = GetFileAttributesA(programPath);
    Field fields[] = {{"path", programPath, 0}};
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        wsprintfA(text, "Programme introuvable : %s", programPath);
        Report("program", STATUS_PROBLEM, text,
               "placez velmora-doctor.exe \xe0 c\xf4t\xe9 de velmora-notes.exe, ou nommez le "
               "programme avec --program",
               fields, 1);
        return false;
    }
    wsprintfA(text, "Programme : %s", programPath);
    Report("program", STATUS_OK, text, NULL, fields, 1);
    return true;
}

int main(int argc, char **argv)
{
    Options options;
    if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "/?") == 0)) {
        WriteStandard(STD_OUTPUT_HANDLE, Usage);
        return 0;
    }
    if (!ParseOptions(argc, argv, &options)) {
        WriteStandard(STD_ERROR_HANDLE, Usage);
        return 2;
    }

    // The program beside the doctor, unless named; a relative name is made full, for
    // its folder is where the library is looked for first.
    char program[MAX_PATH];
    DWORD length;
    if (options.program != NULL) {
        length = GetFullPathNameA(options.program, sizeof program, program, NULL);
    } else {
        length = GetModuleFileNameA(NULL, program, sizeof program);
        char *slash = length < sizeof program ? strrchr(program, '\\') : NULL;
        if (slash != NULL && (size_t)(slash - program) + sizeof ProgramName < sizeof program)
            lstrcpyA(slash + 1, ProgramName);
        else
            length = 0;
    }
    if (length == 0 || length >= sizeof program) {
        WriteStandard(STD_ERROR_HANDLE, Usage);
        return 2;
    }

    BeginReport(options.json);
    CheckProgram(program);
    static InstallSettings settings;
    bool settled = CheckSettings(&settings);
    char library[MAX_PATH];
    CheckLibrary(program, library);
    if (options.open)
        CheckOpen(library, settled ? &settings : NULL, argc, argv);
    CheckClient();
    if (options.job != NULL)
        CheckJob(options.job);
    return EndReport();
}
