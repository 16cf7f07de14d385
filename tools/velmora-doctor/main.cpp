// velmora-doctor.exe: checks an installation of velmora-notes.exe the way the program
// itself would see it, one line per check; its options and exit codes are in Usage
// below.  A crash ends the report with a problem.  See docs/doctor.md.
#include "tools/velmora-doctor/doctor.h"

#include "velmora_version.h"

#include <string.h>

// The checks, in the order main runs them, each defined in the file of its family
// (docs/architecture.md, "The doctor's map"): a check of a family that exists is called
// from that family's check; one of a family of its own is declared and called here.
// Fills `settings` as the program would; false when it refuses them (settings.cpp).
bool CheckSettings(InstallSettings *settings);
// Finds nNOTES.dll as the program's import would and checks the file; with no program
// (none found), looks for none.  `settings` (none: refused) tell where the client is
// (library_find.cpp, library_image.cpp).
void CheckLibrary(const char *programPath, const InstallSettings *settings, Library *library);
// The file versions of the program, the doctor and the library (library_image.cpp).
void CheckVersions(const char *programPath, const Library *library);
void CheckClient(void);                     // client_job.cpp
void CheckJob(const char *jobPath);         // client_job.cpp
// With the settings accepted (none: refused), loads the library, starts the Notes
// runtime, opens and closes the database, ends the runtime and unloads the library, all
// in a thread it gives up on after `limitMs`.  True when it gave up: that thread is
// then still inside the library or the loader, and the doctor must write its report
// and end with TerminateProcess (library_open.cpp).
bool CheckOpen(const Library *library, const InstallSettings *settings, int argc,
               char **argv, DWORD limitMs);
// Before anything is loaded: libraries loaded by name come from System32 and the
// folders added for --open only, never from the current folder or the doctor's own.
// Found at run time, for the doctor must start where the program does; where Windows
// lacks it, --open is refused (library_open.cpp).
void RestrictLibrarySearch(void);

// The modes that check nothing of the installation.  --check-settings CLIENT BASE: one
// line for each path, judged as the program judges the value the installer would write
// of it; an empty one is not given; EXIT_SOUND when the program would accept each path
// given, else EXIT_PROBLEM (settings.cpp).
int CheckGivenSettings(const char *client, const char *database);
// --capture, given the arguments after it; returns the exit code (capture.cpp).
int RunCapture(int argc, char **argv);

static const char ProgramName[] = "velmora-notes.exe";

static const char Usage[] =
    "Usage : velmora-doctor.exe [--json] [--program CHEMIN] [--open] [--timeout SECONDES]\r\n"
    "                           [--job FICHIER]\r\n"
    "        velmora-doctor.exe --version\r\n"
    "        velmora-doctor.exe --capture DOSSIER DESTINATION [--count N] [--match MOD\xc8LE]\r\n"
    "        velmora-doctor.exe --check-settings CLIENT BASE\r\n"
    "  (sans option)       les r\xe9glages, nNOTES.dll, le client Notes : messages 7 et 2, "
    "et la bo\xeete de Windows pour nNOTES.dll introuvable (docs\\messages.md)\r\n"
    "  --json              rapport JSON (ASCII) pour les scripts\r\n"
    "  --program CHEMIN    le velmora-notes.exe \xe0 examiner (par d\xe9" "faut celui du "
    "dossier du docteur)\r\n"
    "  --open              d\xe9marre le runtime Notes, ouvre et ferme la base, arr\xeate le "
    "runtime : messages 11 et 10 ; en tant que l'utilisateur qui envoie les mails, "
    "jamais \xe9l\xe9v\xe9\r\n"
    "  --timeout SECONDES  l'attente la plus longue de --open (par d\xe9" "faut 60, de 1 "
    "\xe0 3600)\r\n"
    "  --job FICHIER       ce que le programme ferait de ce fichier de travail (sans le "
    "supprimer) : messages 8, 9 et 6\r\n"
    "  --version           la version du docteur\r\n"
    "  --capture           garde dans DESTINATION, nouveau, chaque fichier de travail qui "
    "appara\xeet dans DOSSIER (pas ses sous-dossiers), ou ceux nomm\xe9s MOD\xc8LE, jusqu'\xe0 "
    "Ctrl+C ou N fichiers ; sous le compte de l'utilisateur, jamais en administrateur "
    "(docs\\messages.md, messages 9 et 6)\r\n"
    "  --check-settings    juge CLIENT et BASE comme le programme jugerait LN_Appli et "
    "LN_Base (\"\" : non donn\xe9), pour l'installeur : code 0 accept\xe9s, 1 refus\xe9 "
    "(message 7)\r\n"
    "Code de sortie : 0 installation saine, 1 probl\xe8me trouv\xe9, 2 mauvais usage, "
    "3 installation saine mais occup\xe9" "e pour l'instant (client Notes occup\xe9, ou "
    "--open qui attend).\r\n";

static bool CheckProgram(const char *programPath)
{
    std::string text;
    Field fields[] = {{"path", programPath, 0}};
    bool found = IsFile(programPath);
    TextAdd(&text, found ? "Programme : " : "Programme introuvable : ");
    TextAddAnsi(&text, programPath);
    ReportText("program", found ? STATUS_OK : STATUS_PROBLEM, &text,
               "placez velmora-doctor.exe \xe0 c\xf4t\xe9 de velmora-notes.exe, ou nommez le "
               "programme avec --program",
               fields, 1);
    return found;
}

// The program beside the doctor, or the one named, as a full path: its folder is where
// the library is looked for first.  False when a path is too long or the one named is
// no file, said once on the standard error.
static bool ProgramPath(const char *named, char program[MAX_PATH])
{
    DWORD length;
    if (named != NULL) {
        length = GetFullPathNameA(named, MAX_PATH, program, NULL);
    } else {
        length = GetModuleFileNameA(NULL, program, MAX_PATH);
        char *slash = length < MAX_PATH ? strrchr(program, '\\') : NULL;
        if (slash != NULL && (size_t)(slash - program) + sizeof ProgramName < MAX_PATH)
            lstrcpyA(slash + 1, ProgramName);
        else
            length = 0;
    }
    bool fits = length > 0 && length < MAX_PATH;
    if (named != NULL && !(fits && IsFile(program))) {
        std::string text;
        TextAdd(&text, "velmora-doctor : --program ");
        TextAddAnsi(&text, named);
        TextAdd(&text, " ne d\xe9signe aucun fichier ; aucune biblioth\xe8que n'est cherch\xe9" "e\r\n");
        WriteStandardText(STD_ERROR_HANDLE, &text);
        return false;
    }
    return fits;
}

int main(int argc, char **argv)
{
    // Run as SYSTEM or from a remote shell, a critical-error box or a crash's box has
    // nobody to answer it: a crash ends the report instead (ReportCrashes).  Wine shows
    // no such box either way (learn.microsoft.com: "SetErrorMode function",
    // SEM_NOGPFAULTERRORBOX).
    SetErrorMode(SetErrorMode(SEM_FAILCRITICALERRORS) | SEM_FAILCRITICALERRORS |
                 SEM_NOGPFAULTERRORBOX);
    ReportCrashes();
    RestrictLibrarySearch();

    Options options;
    switch (ParseOptions(argc, argv, &options)) {
    case REQUEST_HELP:
        WriteStandard(STD_OUTPUT_HANDLE, Usage);
        return EXIT_SOUND;
    case REQUEST_VERSION:
        WriteStandard(STD_OUTPUT_HANDLE, "velmora-doctor " VELMORA_VERSION_TEXT "\r\n");
        return EXIT_SOUND;
    case REQUEST_CHECK_SETTINGS:
        return CheckGivenSettings(options.givenClient, options.givenDatabase);
    case REQUEST_CAPTURE:       // a mode of its own: it watches a folder, checks nothing
        return RunCapture(argc - 2, argv + 2);
    case REQUEST_BAD:
        WriteStandard(STD_ERROR_HANDLE, Usage);
        return EXIT_USAGE;
    case REQUEST_CHECK:
        break;
    }
    static char program[MAX_PATH], job[MAX_PATH];
    DWORD jobLength = options.job != NULL ? GetFullPathNameA(options.job, MAX_PATH, job, NULL) : 1;
    if (!ProgramPath(options.program, program))
        return EXIT_USAGE;
    if (jobLength == 0 || jobLength >= MAX_PATH) {
        WriteStandard(STD_ERROR_HANDLE, Usage);
        return EXIT_USAGE;
    }

    BeginReport(options.json);
    bool programFound = CheckProgram(program);
    static InstallSettings settings;
    bool settled = CheckSettings(&settings);
    static Library library;
    CheckLibrary(programFound ? program : NULL, settled ? &settings : NULL, &library);
    CheckVersions(program, &library);
    CheckClient();
    if (options.job != NULL)
        CheckJob(job);
    // Last: the library's code may hang, crash or leave a thread behind.
    bool abandoned = options.open && CheckOpen(&library, settled ? &settings : NULL, argc,
                                               argv, options.timeout * 1000);
    int code = EndReport();
    // A thread left inside the library, or holding the loader's lock: end at once,
    // without the libraries' detach code, which would wait for it.
    if (abandoned)
        TerminateProcess(GetCurrentProcess(), (UINT)code);
    return code;
}
