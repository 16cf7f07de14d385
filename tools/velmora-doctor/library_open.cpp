// Opening the database through the Notes library, on request (--open): the library
// loaded, the Notes runtime started, the database opened and closed, the runtime ended
// and the library unloaded, as the program would.
//
// The doctor does not import the library: it must run where the library is broken or
// absent.  The entries --open calls are found in the library it loaded, by ordinal, and
// the one window/database_window.cpp refers to is defined here to go there too.  --open
// runs the library's code with the doctor's rights: it is refused elevated or as
// SYSTEM (a library planted beside a planted program would run as administrator); it
// loads only a sound 32-bit DLL found in the program's folder or a system folder, and
// what that library loads by name only from its own folder and System32, never from
// the current folder or the doctor's; and it stops waiting for it after a time.
#include "tools/velmora-doctor/doctor.h"

#include "notes/notes_client.h"
#include "resources/resource.h"

#include <string.h>

// --- The entries, resolved in the library loaded by CheckOpen. ---

static const NotesStatus NOT_CALLED = 0xFFFF;     // the status of an entry the library lacks

static HMODULE g_library;

// The entry of the loaded library for the operation of that name, found by its ordinal.
static void *Entry(const char *name)
{
    for (int i = 0; i < NotesImportCount && g_library != NULL; ++i) {
        if (lstrcmpA(NotesImports[i].name, name) == 0)
            return (void *)GetProcAddress(g_library, MAKEINTRESOURCEA(NotesImports[i].ordinal));
    }
    return NULL;
}

// The loaded library's entry `name`, typed by the prototype notes/notes_client.h makes
// of the ordinal table.
#define ENTRY_OF(name) ((decltype(&(name)))Entry(#name))

extern "C" void NOTESAPI SetClientVariable(const char *name, const char *value)
{
    decltype(&SetClientVariable) call = ENTRY_OF(SetClientVariable);
    if (call != NULL)
        call(name, value);
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
        (SetDefaultDllDirectoriesCall)(void *)GetProcAddress(kernel, "SetDefaultDllDirectories");
    AddDllDirectoryCall add = (AddDllDirectoryCall)(void *)GetProcAddress(kernel, "AddDllDirectory");
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
        ReportCrashes();        // its entry code may have put a filter of its own
        InterlockedExchange(&run->stage, STAGE_RUNTIME);
        decltype(&InitNotesRuntime) initRuntime = ENTRY_OF(InitNotesRuntime);
        decltype(&OpenDatabase) openDatabase = ENTRY_OF(OpenDatabase);
        decltype(&CloseDatabase) closeDatabase = ENTRY_OF(CloseDatabase);
        decltype(&EndNotesRuntime) endRuntime = ENTRY_OF(EndNotesRuntime);
        run->runtime = initRuntime != NULL ? initRuntime(run->argc, run->argv) : NOT_CALLED;
        ReportCrashes();
        if (run->runtime == 0) {
            InterlockedExchange(&run->stage, STAGE_DATABASE);
            NotesHandle db = 0;
            run->opened = openDatabase != NULL ? openDatabase(run->database, &db) : NOT_CALLED;
            if (run->opened == 0)
                run->closed = closeDatabase != NULL ? closeDatabase(db) : NOT_CALLED;
            if (endRuntime != NULL)
                endRuntime();
        }
        InterlockedExchange(&run->stage, STAGE_UNLOAD);
        FreeLibrary(g_library);
    }
    InterlockedExchange(&run->stage, STAGE_DONE);
    return 0;
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
        std::string text;
        TextFormat(&text, "Ouverture de la base non essay\xe9" "e : le dossier de la "
                          "biblioth\xe8que ne peut pas servir \xe0 la recherche (erreur %lu)",
                   GetLastError());
        ReportText("open", STATUS_PROBLEM, &text, "signalez-le avec ce rapport", NULL, 0);
    }
    return entered;
}

// The line for the stage --open was given up in; a thread that ended meanwhile is
// taken as stuck in the unload.
static void ReportGivenUp(LONG stage, DWORD limitMs)
{
    static const char Retry[] = "relancez le docteur quand l'utilisateur peut r\xe9pondre au "
                                "client Notes, ou avec --timeout plus long";
    static const struct {
        const char *id;
        Status status;
        const char *format, *action;
    } Stages[] = {
        {"open.load", STATUS_PROBLEM,
         "nNOTES.dll ne finit pas de se charger en %lu s (son code d'initialisation attend) : "
         "le programme, qui l'importe, resterait bloqu\xe9 au d\xe9marrage ; le docteur "
         "abandonne",
         "r\xe9installez le client Notes, ou relancez le docteur avec --timeout plus long"},
        {"open.runtime", STATUS_BUSY,
         "Le runtime Notes ne r\xe9pond pas en %lu s : il attend sans doute le mot de passe de "
         "l'utilisateur ; le docteur abandonne", Retry},
        {"open.database", STATUS_BUSY,
         "Runtime Notes d\xe9marr\xe9, mais la base ne s'ouvre pas en %lu s ; le docteur "
         "abandonne", Retry},
        {"open.end", STATUS_WARNING,
         "Runtime Notes arr\xeat\xe9, mais nNOTES.dll ne se d\xe9" "charge pas en %lu s ; le "
         "docteur abandonne", "signalez-le avec ce rapport"},
    };
    const auto &given = Stages[stage < STAGE_UNLOAD ? stage : (LONG)STAGE_UNLOAD];
    std::string text;
    TextFormat(&text, given.format, limitMs / 1000);
    ReportText(given.id, given.status, &text, given.action, NULL, 0);
}

// The library that did not load.  Error 126 in the doctor may be its restricted search
// only: the program also looks in the current folder and PATH.
static void ReportNotLoaded(const OpenRun *run)
{
    std::string text;
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
}

static void ReportOpened(const OpenRun *run)
{
    std::string text;
    Field fields[] = {{"notes_status", NULL, run->runtime}};
    if (run->runtime != 0) {
        TextFormat(&text, "Le runtime Notes ne d\xe9marre pas (statut %u) : le programme "
                          "affichera ", run->runtime);
        TextAddBox(&text, MSG_NOTES_INIT_FAILED);
        ReportText("open.runtime", STATUS_PROBLEM, &text,
                   "d\xe9marrez le client Notes une fois \xe0 la main et v\xe9rifiez notes.ini et "
                   "l'identit\xe9 de l'utilisateur", fields, 1);
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
}

// Why --open is not tried, and what to do.
static const char *NotTried(OpenRefusal refusal, const Library *library, std::string *text)
{
    TextAdd(text, "Ouverture de la base non essay\xe9" "e : ");
    switch (refusal) {
    case OPEN_NO_LIBRARY:
    case OPEN_SETTINGS_REFUSED:
        TextAdd(text, refusal == OPEN_NO_LIBRARY ? "pas de biblioth\xe8que" : "r\xe9glages refus\xe9s");
        return "corrigez d'abord ce qui est signal\xe9 plus haut";
    case OPEN_IMAGE_UNSOUND:
        TextAdd(text, "la biblioth\xe8que n'est pas une DLL 32 bits saine (voir plus haut) : le "
                      "docteur ne la charge pas");
        return "corrigez d'abord ce qui est signal\xe9 plus haut";
    case OPEN_ELEVATED:
        TextAdd(text, "le docteur tourne en administrateur (\xe9lev\xe9) ou en SYSTEM, et le "
                      "code de nNOTES.dll tournerait avec ces droits ; les autres contr\xf4les "
                      "sont faits");
        return "relancez le docteur avec --open en tant que l'utilisateur qui envoie les "
               "mails, sans \xe9l\xe9vation : c'est aussi ce que voit le programme";
    case OPEN_SEARCH_UNRESTRICTED:
        TextAdd(text, "ce Windows ne sait pas restreindre la recherche des DLL "
                      "(SetDefaultDllDirectories manque : Windows 7 et 2008 R2 sans la mise \xe0 "
                      "jour KB2533623, Vista, XP) ; le docteur ne charge pas la biblioth\xe8que");
        return "installez la mise \xe0 jour KB2533623, ou essayez le programme lui-m\xeame";
    case OPEN_NOT_LOADABLE:
        TextAdd(text, "le docteur ne charge pas ");
        TextAddAnsi(text, library->path);
        TextAdd(text, ", trouv\xe9" "e hors du dossier du programme et des dossiers syst\xe8me "
                      "(son code tournerait avec vos droits)");
        return "installez velmora-notes.exe dans le dossier du client Notes";
    case OPEN_TRIED:
        break;
    }
    return "";
}

// The process token read once: elevated, or SYSTEM.  Under UAC an administrator's
// token is elevated only in a process started "as administrator"; SYSTEM's is
// reported elevated by some Windows versions and not by others, so its SID is checked
// too (learn.microsoft.com: "TOKEN_INFORMATION_CLASS", TokenElevation; "Well-known
// SIDs", S-1-5-18 Local System).
bool TokenIsElevatedOrSystem(void)
{
    HANDLE token = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return true;
    TOKEN_ELEVATION elevation = {0};
    DWORD size = 0;
    bool known = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation,
                                     &size) != 0;
    // TOKEN_USER and a SID of at most SECURITY_MAX_SID_SIZE bytes, aligned for both.
    DWORD room[(sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE) / sizeof(DWORD) + 1];
    const TOKEN_USER *user = (const TOKEN_USER *)(void *)room;
    bool system = false;
    if (GetTokenInformation(token, TokenUser, room, sizeof room, &size)) {
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        PSID localSystem = NULL;
        if (AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0,
                                     &localSystem)) {
            system = EqualSid(user->User.Sid, localSystem) != 0;
            FreeSid(localSystem);
        }
    } else {
        known = false;
    }
    CloseHandle(token);
    return !known || elevation.TokenIsElevated != 0 || system;
}

bool CheckOpen(const Library *library, const InstallSettings *settings, int argc,
               char **argv, DWORD limitMs)
{
    OpenFacts facts = {library->path[0] != '\0', settings != NULL, library->image,
                       TokenIsElevatedOrSystem(), g_addDllDirectory != NULL, library->loadable};
    OpenDecision decision = DecideOpen(&facts);
    if (decision.refusal != OPEN_TRIED) {
        std::string text;
        const char *action = NotTried(decision.refusal, library, &text);
        ReportText("open", decision.status, &text, action, NULL, 0);
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
    if (thread == NULL) {
        std::string text;
        TextFormat(&text, "Ouverture de la base non essay\xe9" "e : pas de thread (erreur %lu)",
                   GetLastError());
        ReportText("open", STATUS_PROBLEM, &text, "fermez des programmes et r\xe9" "essayez",
                   NULL, 0);
        return false;
    }
    bool ended = WaitForSingleObject(thread, limitMs) == WAIT_OBJECT_0;
    LONG stage = InterlockedCompareExchange(&g_run.stage, STAGE_DONE, STAGE_DONE);
    CloseHandle(thread);
    if (!ended) {
        // From here on only text is written: the library keeps what it holds.
        ReportGivenUp(stage, limitMs);
        return true;
    }
    InterlockedExchange(&g_opening, 0);
    if (g_run.loadError != 0)
        ReportNotLoaded(&g_run);
    else
        ReportOpened(&g_run);
    return false;
}
