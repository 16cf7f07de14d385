// velmora-doctor.exe: checks an installation of velmora-notes.exe the way the program
// itself would see it, one line per check.
//
//   velmora-doctor.exe [--json] [--program CHEMIN] [--open] [--timeout SECONDES]
//                      [--job FICHIER]
//   velmora-doctor.exe --version
//   velmora-doctor.exe --capture DOSSIER DESTINATION [--count N]
//
// Exit code: 0 when the installation is sound, 1 when a problem was found, 2 on bad
// usage, 3 when it is sound but busy right now (the Notes client, or --open waiting).
// See docs/deploying.md.
#include "tools/velmora-doctor/doctor.h"

#include "velmora_version.h"

#include <stdlib.h>
#include <string.h>

static const char ProgramName[] = "velmora-notes.exe";

static const char Usage[] =
    "Usage : velmora-doctor.exe [--json] [--program CHEMIN] [--open] [--timeout SECONDES]\r\n"
    "                           [--job FICHIER]\r\n"
    "        velmora-doctor.exe --version\r\n"
    "        velmora-doctor.exe --capture DOSSIER DESTINATION [--count N]\r\n"
    "  --json              rapport JSON (ASCII) pour les scripts\r\n"
    "  --program CHEMIN    le velmora-notes.exe \xe0 examiner (par d\xe9" "faut celui du "
    "dossier du docteur)\r\n"
    "  --open              d\xe9marre le runtime Notes, ouvre et ferme la base, arr\xeate le "
    "runtime\r\n"
    "  --timeout SECONDES  l'attente la plus longue de --open (par d\xe9" "faut 60, de 1 "
    "\xe0 3600)\r\n"
    "  --job FICHIER       ce que le programme ferait de ce fichier de travail (sans le "
    "supprimer)\r\n"
    "  --version           la version du docteur\r\n"
    "  --capture           garde dans DESTINATION chaque fichier de travail qui appara\xeet "
    "dans DOSSIER, jusqu'\xe0 Ctrl+C ou N fichiers (docs\\messages.md, messages 9 et 6)\r\n"
    "Code de sortie : 0 installation saine, 1 probl\xe8me trouv\xe9, 2 mauvais usage, "
    "3 installation saine mais occup\xe9" "e pour l'instant (client Notes occup\xe9, ou "
    "--open qui attend).\r\n";

struct Options {
    bool json;
    bool open;
    const char *program;
    const char *job;
    unsigned long timeout;      // seconds, 0 when not given
};

// A number of seconds from 1 to 3600, digits only.
static unsigned long Seconds(const char *text)
{
    char *end = NULL;
    unsigned long n = strspn(text, "0123456789") == strlen(text) ? strtoul(text, &end, 10) : 0;
    return end != text && n <= 3600 ? n : 0;
}

static bool ParseOptions(int argc, char **argv, Options *o)
{
    o->json = o->open = false;
    o->program = o->job = NULL;
    o->timeout = 0;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--json") == 0 && !o->json)
            o->json = true;
        else if (strcmp(argv[i], "--open") == 0 && !o->open)
            o->open = true;
        else if (strcmp(argv[i], "--program") == 0 && i + 1 < argc && o->program == NULL)
            o->program = argv[++i];
        else if (strcmp(argv[i], "--job") == 0 && i + 1 < argc && o->job == NULL)
            o->job = argv[++i];
        else if (strcmp(argv[i], "--timeout") == 0 && i + 1 < argc && o->timeout == 0) {
            if ((o->timeout = Seconds(argv[++i])) == 0)
                return false;
        } else {
            return false;
        }
    }
    return true;
}

bool CheckProgram(const char *programPath)
{
    Text text = {};
    DWORD attributes = GetFileAttributesA(programPath);
    Field fields[] = {{"path", programPath, 0}};
    bool found = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    TextAdd(&text, found ? "Programme : " : "Programme introuvable : ");
    TextAddAnsi(&text, programPath);
    ReportText("program", found ? STATUS_OK : STATUS_PROBLEM, &text,
               "placez velmora-doctor.exe \xe0 c\xf4t\xe9 de velmora-notes.exe, ou nommez le "
               "programme avec --program",
               fields, 1);
    TextFree(&text);
    return found;
}

int main(int argc, char **argv)
{
    Options options;
    if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "/?") == 0)) {
        WriteStandard(STD_OUTPUT_HANDLE, Usage);
        return EXIT_SOUND;
    }
    if (argc == 2 && strcmp(argv[1], "--version") == 0) {
        WriteStandard(STD_OUTPUT_HANDLE, "velmora-doctor " VELMORA_VERSION_TEXT "\r\n");
        return EXIT_SOUND;
    }
    if (argc >= 2 && strcmp(argv[1], "--capture") == 0)
        return RunCapture(argc - 2, argv + 2);
    if (!ParseOptions(argc, argv, &options)) {
        WriteStandard(STD_ERROR_HANDLE, Usage);
        return EXIT_USAGE;
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
        return EXIT_USAGE;
    }

    BeginReport(options.json);
    CheckProgram(program);
    static InstallSettings settings;
    bool settled = CheckSettings(&settings);
    static Library library;
    CheckLibrary(program, &library);
    CheckVersions(program, &library);
    bool abandoned = options.open &&
                     CheckOpen(&library, settled ? &settings : NULL, argc, argv,
                               (options.timeout != 0 ? options.timeout : 60) * 1000);
    CheckClient();
    if (options.job != NULL)
        CheckJob(options.job);
    int code = EndReport();
    // A thread left waiting inside the library: end at once, without the library's
    // detach code, which would wait for it.
    if (abandoned)
        TerminateProcess(GetCurrentProcess(), (UINT)code);
    return code;
}
