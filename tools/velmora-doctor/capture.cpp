// velmora-doctor --capture FOLDER DEST [--count N]: keeps, for support, the job files
// the application writes into FOLDER, which the program deletes as soon as it has
// read them (messages 9 and 6 leave nothing to look at otherwise).
//
// The folder is watched with ReadDirectoryChangesW; each file that appears in it is
// given a hard link in DEST ("0001 name", numbered in the order seen, so that a name
// the application uses again is kept each time).  A hard link shares the file's data:
// whatever the application writes after the link is in the kept file too, and when
// the program deletes the job the link keeps the data.  No handle is held: the
// program's exclusive open never meets the capture, and nothing needs to guess when
// the application has finished writing.  A link needs DEST on the same NTFS volume as
// FOLDER; elsewhere the capture falls back to plain copies, taken when the file
// appears and again each time it is written, which is best effort: a copy opens the
// job for a moment, like a scanner, and the program may meet it during its one-second
// wait, or delete the job before the last write was copied.
//
// Limits: the system buffers the folder's changes in a buffer of BUFFER_SIZE bytes;
// when it fills (a burst of hundreds of files), events are lost: the capture says so
// and looks at the folder again, where a job already deleted can no longer be found.
// It never deletes or changes a file of FOLDER.
#include "tools/velmora-doctor/doctor.h"

#include <stdlib.h>
#include <string.h>

enum { BUFFER_SIZE = 64 * 1024, PRESENT_SLOTS = 128, COUNT_MAX = 1000000 };

struct Capture {
    char folder[MAX_PATH];
    char dest[MAX_PATH];
    unsigned long count;        // stop after this many files; 0: until Ctrl+C
    bool copying;               // links failed once: plain copies from then on
    unsigned long number;       // of the last kept file
    unsigned long kept, lost, overflows;
    // The names present in the folder that were kept, with the file that keeps each:
    // a later write to a copied file is copied again, and a name is kept once until it
    // is removed.
    char present[PRESENT_SLOTS][MAX_PATH];
    char keptAs[PRESENT_SLOTS][MAX_PATH];
    int nextSlot;
};

static HANDLE g_stop;

static BOOL WINAPI OnControl(DWORD)
{
    SetEvent(g_stop);
    return TRUE;
}

static void Say(const Text *line)
{
    WriteStandardText(STD_OUTPUT_HANDLE, line);
}

static int Present(const Capture *c, const char *name)
{
    for (int i = 0; i < PRESENT_SLOTS; ++i) {
        if (c->present[i][0] != '\0' && lstrcmpiA(c->present[i], name) == 0)
            return i;
    }
    return -1;
}

static void Forget(Capture *c, const char *name)
{
    int slot = Present(c, name);
    if (slot >= 0)
        c->present[slot][0] = '\0';
}

// "<dest>\<number> <name>" for the next number that names no file yet.
static bool NextKeptPath(Capture *c, const char *name, char path[MAX_PATH])
{
    for (int tries = 0; tries < 1000; ++tries) {
        int n = wsprintfA(path, "%s\\%04lu ", c->dest, ++c->number);
        if ((size_t)n + strlen(name) >= MAX_PATH)
            return false;
        lstrcpyA(path + n, name);
        if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
            return true;
    }
    return false;
}

static void SayLost(const char *name, DWORD error)
{
    Text line = {};
    TextAdd(&line, "PERDU     ");
    TextAddAnsi(&line, name);
    TextFormat(&line, " : pas gard\xe9 (erreur %lu)\r\n", error);
    Say(&line);
    TextFree(&line);
}

// Keeps the file `name` of the folder, which has just appeared or been written.
static void Keep(Capture *c, const char *name, bool written)
{
    char source[MAX_PATH], kept[MAX_PATH];
    int slot = Present(c, name);
    if (slot >= 0 && !(written && c->copying))
        return;
    size_t folderLength = (size_t)wsprintfA(source, "%.259s", c->folder);
    if (folderLength + 1 + strlen(name) >= MAX_PATH) {
        ++c->lost;
        SayLost(name, ERROR_FILENAME_EXCED_RANGE);
        return;
    }
    wsprintfA(source + folderLength, "\\%s", name);
    DWORD attributes = GetFileAttributesA(source);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return;
    if (slot >= 0) {            // a copy written again: copied over its first copy
        CopyFileA(source, c->keptAs[slot], FALSE);
        return;
    }
    if (!NextKeptPath(c, name, kept)) {
        ++c->lost;
        SayLost(name, ERROR_FILENAME_EXCED_RANGE);
        return;
    }
    bool done = false;
    DWORD error = ERROR_SUCCESS;
    if (!c->copying) {
        done = CreateHardLinkA(kept, source, NULL) != 0;
        error = done ? ERROR_SUCCESS : GetLastError();
        if (!done && error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND &&
            error != ERROR_ACCESS_DENIED) {
            c->copying = true;
            Text line = {};
            TextFormat(&line, "INFO      Pas de lien possible vers la destination (erreur %lu) "
                              ": des copies au mieux d\xe9sormais\r\n", error);
            Say(&line);
            TextFree(&line);
        }
    }
    if (!done && c->copying) {
        done = CopyFileA(source, kept, TRUE) != 0;
        error = done ? ERROR_SUCCESS : GetLastError();
    }
    if (!done) {
        ++c->lost;
        SayLost(name, error);
        return;
    }
    ++c->kept;
    slot = c->nextSlot;
    c->nextSlot = (c->nextSlot + 1) % PRESENT_SLOTS;
    lstrcpyA(c->present[slot], name);
    lstrcpyA(c->keptAs[slot], kept);
    Text line = {};
    TextAdd(&line, "GARD\xc9     ");
    TextAddAnsi(&line, name);
    TextAdd(&line, " -> ");
    TextAddAnsi(&line, kept);
    TextAdd(&line, c->copying ? " (copie)\r\n" : " (lien)\r\n");
    Say(&line);
    TextFree(&line);
}

// After lost events: every file of the folder not kept yet.
static void LookAgain(Capture *c)
{
    char pattern[MAX_PATH];
    WIN32_FIND_DATAA found;
    wsprintfA(pattern, "%.257s\\*", c->folder);
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            Keep(c, found.cFileName, false);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// The events of one completed read.
static void Handle(Capture *c, const BYTE *events, DWORD size)
{
    for (DWORD at = 0; at + sizeof(FILE_NOTIFY_INFORMATION) <= size;) {
        const FILE_NOTIFY_INFORMATION *e = (const FILE_NOTIFY_INFORMATION *)(events + at);
        char name[MAX_PATH];
        BOOL lossy = FALSE;
        int n = WideCharToMultiByte(CP_ACP, 0, e->FileName, (int)(e->FileNameLength / 2),
                                    name, MAX_PATH - 1, NULL, &lossy);
        name[n > 0 ? n : 0] = '\0';
        if (n <= 0 || lossy) {
            // The program opens jobs by their ANSI path: it cannot have been given this one.
        } else if (e->Action == FILE_ACTION_ADDED || e->Action == FILE_ACTION_RENAMED_NEW_NAME) {
            Forget(c, name);
            Keep(c, name, false);
        } else if (e->Action == FILE_ACTION_MODIFIED) {
            Keep(c, name, true);
        } else if (e->Action == FILE_ACTION_REMOVED || e->Action == FILE_ACTION_RENAMED_OLD_NAME) {
            Forget(c, name);
        }
        if (e->NextEntryOffset == 0)
            break;
        at += e->NextEntryOffset;
    }
}

static bool Watch(HANDLE folder, BYTE *buffer, OVERLAPPED *io)
{
    ResetEvent(io->hEvent);
    return ReadDirectoryChangesW(folder, buffer, BUFFER_SIZE, FALSE,
                                 FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE |
                                     FILE_NOTIFY_CHANGE_SIZE,
                                 NULL, io, NULL) != 0;
}

static bool Done(const Capture *c)
{
    return c->count != 0 && c->kept + c->lost >= c->count;
}

static int Usage(void)
{
    WriteStandard(STD_ERROR_HANDLE,
                  "Usage : velmora-doctor.exe --capture DOSSIER DESTINATION [--count N]\r\n");
    return EXIT_USAGE;
}

// A full path into `out`, without a final backslash; false when it does not fit.
static bool FullPath(const char *given, char out[MAX_PATH])
{
    DWORD n = GetFullPathNameA(given, MAX_PATH, out, NULL);
    if (n == 0 || n >= MAX_PATH)
        return false;
    if (n > 3 && out[n - 1] == '\\')
        out[n - 1] = '\0';
    return true;
}

int RunCapture(int argc, char **argv)
{
    static Capture c;
    static BYTE buffers[2][BUFFER_SIZE] __attribute__((aligned(4)));
    if (argc != 2 && !(argc == 4 && strcmp(argv[2], "--count") == 0))
        return Usage();
    if (argc == 4) {
        const char *digits = argv[3];
        c.count = strspn(digits, "0123456789") == strlen(digits) && strlen(digits) <= 7
                      ? strtoul(digits, NULL, 10) : 0;
        if (c.count == 0 || c.count > COUNT_MAX)
            return Usage();
    }
    if (!FullPath(argv[0], c.folder) || !FullPath(argv[1], c.dest) ||
        lstrcmpiA(c.folder, c.dest) == 0)
        return Usage();

    Text line = {};
    HANDLE folder = CreateFileA(c.folder, FILE_LIST_DIRECTORY,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED,
                                NULL);
    DWORD error = folder == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    if (error == ERROR_SUCCESS && !CreateDirectoryA(c.dest, NULL) &&
        GetLastError() != ERROR_ALREADY_EXISTS)
        error = GetLastError();
    DWORD destAttributes = GetFileAttributesA(c.dest);
    if (error == ERROR_SUCCESS && (destAttributes == INVALID_FILE_ATTRIBUTES ||
                                   (destAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0))
        error = ERROR_DIRECTORY;
    OVERLAPPED io = {};
    io.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    g_stop = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (error == ERROR_SUCCESS && !Watch(folder, buffers[0], &io))
        error = GetLastError();
    if (error != ERROR_SUCCESS) {
        TextAdd(&line, "PROBL\xc8ME  Capture impossible de ");
        TextAddAnsi(&line, c.folder);
        TextAdd(&line, " vers ");
        TextAddAnsi(&line, c.dest);
        TextFormat(&line, " (erreur %lu)\r\n", error);
        WriteStandardText(STD_ERROR_HANDLE, &line);
        TextFree(&line);
        return EXIT_PROBLEM;
    }
    SetConsoleCtrlHandler(OnControl, TRUE);
    TextAdd(&line, "Capture des fichiers de travail de ");
    TextAddAnsi(&line, c.folder);
    TextAdd(&line, " dans ");
    TextAddAnsi(&line, c.dest);
    TextAdd(&line, c.count != 0 ? "" : " ; Ctrl+C pour arr\xeater");
    TextAdd(&line, ".\r\nLes fichiers gard\xe9s contiennent les mails (destinataires, sujet, "
                   "texte, chemins des pi\xe8" "ces jointes) : supprimez-les apr\xe8s usage.\r\n");
    Say(&line);
    TextClear(&line);

    int current = 0;
    bool failed = false;
    HANDLE waits[2] = {io.hEvent, g_stop};
    while (!Done(&c) && WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0) {
        DWORD size = 0;
        bool read = GetOverlappedResult(folder, &io, &size, FALSE) != 0;
        DWORD readError = read ? ERROR_SUCCESS : GetLastError();
        // The next read goes into the other buffer before these events are handled.
        bool watching = (read || readError == ERROR_NOTIFY_ENUM_DIR) &&
                        Watch(folder, buffers[1 - current], &io);
        if (!watching) {
            TextFormat(&line, "PROBL\xc8ME  La surveillance s'arr\xeate (erreur %lu)\r\n",
                       read || readError == ERROR_NOTIFY_ENUM_DIR ? GetLastError() : readError);
            Say(&line);
            TextClear(&line);
            failed = true;
            break;
        }
        if (read && size > 0) {
            Handle(&c, buffers[current], size);
        } else {
            ++c.overflows;
            TextAdd(&line, "ATTENTION Trop de changements \xe0 la fois : des \xe9v\xe9"
                           "nements sont perdus ; le dossier est relu\r\n");
            Say(&line);
            TextClear(&line);
            LookAgain(&c);
        }
        current = 1 - current;
    }
    CancelIo(folder);
    CloseHandle(folder);
    TextFormat(&line, "Bilan : %lu fichier%s gard\xe9%s, %lu perdu%s, %lu d\xe9" "bordement%s.\r\n",
               c.kept, c.kept > 1 ? "s" : "", c.kept > 1 ? "s" : "", c.lost,
               c.lost > 1 ? "s" : "", c.overflows, c.overflows > 1 ? "s" : "");
    Say(&line);
    TextFree(&line);
    return failed || c.lost > 0 || c.overflows > 0 ? EXIT_PROBLEM : EXIT_SOUND;
}
