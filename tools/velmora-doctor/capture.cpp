// velmora-doctor --capture FOLDER DEST [--count N] [--match PATTERN]: keeps, for
// support, the job files the application writes into FOLDER, which the program deletes
// as soon as it has read them (messages 9 and 6 leave nothing to look at otherwise).
//
// The folder is watched with ReadDirectoryChangesW (its own files, not its subfolders);
// each file that appears in it, or only those whose name matches PATTERN, is given a
// hard link in DEST ("0001 name", numbered in the order seen, so that a name the
// application uses again is kept each time).  A hard link shares the file's data:
// whatever the application writes after the link is in the kept file too, and when the
// program deletes the job the link keeps the data.  The link is made through a handle
// that reads no data, so the program's exclusive open never meets it, and nothing needs
// to guess when the application has finished writing.  A link needs DEST on the same
// NTFS volume as FOLDER; for a file that cannot be linked the capture makes a plain
// copy, taken when the file appears and again each time it is written, which is best
// effort: a copy opens the job for a moment, like a scanner, and the program may meet
// it during its one-second wait, or delete the job before the last write was copied.
//
// It watches what a standard user's application writes, as that user: it refuses to run
// elevated or as SYSTEM, where a user who swaps a file or the folder for a link could
// have it copy what only an administrator may read.  Even so it trusts no path: DEST is
// made new (an existing one is refused), neither path may go through a reparse point,
// each file is opened from the folder's own handle, never through a link, and kept
// from that handle, never reopened by name.  A file is kept up to FILE_CAP bytes and the
// capture keeps TOTAL_CAP bytes in all: jobs are a few kilobytes.
//
// Limits: the system buffers the folder's changes in a buffer of BUFFER_SIZE bytes;
// when it fills (a burst of hundreds of files), events are lost: the capture says so,
// looks at the folder again, where a job already deleted can no longer be found, and
// goes on watching.  It never deletes or changes a file of FOLDER.
#include "tools/velmora-doctor/doctor.h"
#include "tools/common/args.h"

#include <winternl.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

enum {
    BUFFER_SIZE = 64 * 1024, PRESENT_SLOTS = 128, COUNT_MAX = 1000000,
    FILE_CAP = 1024 * 1024,             // 1 Mo: a job is a few kilobytes
    COPY_CHUNK = 64 * 1024,
};
static const unsigned long long TOTAL_CAP = 100ull * 1024 * 1024;     // 100 Mo

// The file functions of ntdll that open a name inside a folder's handle and link an open
// file: found at run time, for the doctor imports nothing but kernel32, user32 and
// advapi32.  NtCreateFile:
// https://learn.microsoft.com/windows/win32/api/winternl/nf-winternl-ntcreatefile
// FILE_LINK_INFORMATION:
// https://learn.microsoft.com/windows-hardware/drivers/ddi/ntifs/ns-ntifs-_file_link_information
typedef NTSTATUS(NTAPI *NtCreateFileFunction)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES,
                                              PIO_STATUS_BLOCK, PLARGE_INTEGER, ULONG, ULONG,
                                              ULONG, ULONG, PVOID, ULONG);
typedef NTSTATUS(NTAPI *NtSetInformationFileFunction)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                                      FILE_INFORMATION_CLASS);
typedef ULONG(NTAPI *RtlNtStatusToDosErrorFunction)(NTSTATUS);
// Kernel32's since Windows Vista: found at run time too, so that the doctor starts
// wherever the program does.
typedef BOOL(WINAPI *GetFileInformationByHandleExFunction)(HANDLE, FILE_INFO_BY_HANDLE_CLASS,
                                                           LPVOID, DWORD);
static NtCreateFileFunction g_ntCreateFile;
static GetFileInformationByHandleExFunction g_listFolder;
static NtSetInformationFileFunction g_ntSetInformationFile;
static RtlNtStatusToDosErrorFunction g_toDosError;

// FILE_LINK_INFORMATION (ntifs.h) with room for a name.
struct LinkInformation {
    BOOLEAN replaceIfExists;
    HANDLE rootDirectory;
    ULONG fileNameLength;
    WCHAR fileName[MAX_PATH];
};

enum Fate { FATE_LINKED, FATE_COPIED, FATE_HELD, FATE_NOT_KEPT };

struct Capture {
    char folder[MAX_PATH];
    char dest[MAX_PATH];
    const char *match;          // the names kept; none: every file
    unsigned long count;        // stop after this many files; 0: until Ctrl+C
    HANDLE folderHandle;        // opened once, never through a reparse point
    HANDLE destHandle;
    NameConversion conversion;
    UINT ansi;
    bool copyNoted;             // the line on copies said once
    unsigned long number;       // of the last kept file
    unsigned long kept, lost, refused, overflows;
    unsigned long long keptBytes;
    // The names present in the folder that were seen, with what became of each: a name
    // is kept, refused or lost once until it is removed, a later write to a copied file
    // is copied again, and a file the application holds is copied at its next write.
    char present[PRESENT_SLOTS][MAX_PATH];
    Fate fate[PRESENT_SLOTS];
    WCHAR keptAs[PRESENT_SLOTS][MAX_PATH];     // its name in DEST, when kept
    int nextSlot;
};

static HANDLE g_stop;

static BOOL WINAPI OnControl(DWORD)
{
    SetEvent(g_stop);
    return TRUE;
}

// A line's first word, padded, and the local time: "GARDÉ     2026-12-08 14:03:27 ".
static void Begin(std::string *line, const char *word)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    TextFormat(line, "%-10s%04u-%02u-%02u %02u:%02u:%02u ", word, now.wYear, now.wMonth,
               now.wDay, now.wHour, now.wMinute, now.wSecond);
}

static int Present(const Capture *c, const char *name)
{
    for (int i = 0; i < PRESENT_SLOTS; ++i) {
        if (c->present[i][0] != '\0' && lstrcmpiA(c->present[i], name) == 0)
            return i;
    }
    return -1;
}

static int Remember(Capture *c, const char *name, Fate fate)
{
    int slot = Present(c, name);
    if (slot < 0) {
        slot = c->nextSlot;
        c->nextSlot = (c->nextSlot + 1) % PRESENT_SLOTS;
        lstrcpyA(c->present[slot], name);
    }
    c->fate[slot] = fate;
    return slot;
}

// Opens `name` inside the folder `root` (an empty name: the folder itself), never
// following a reparse point; the error, or ERROR_SUCCESS.
static DWORD OpenIn(HANDLE root, const WCHAR *name, ACCESS_MASK access, ULONG disposition,
                    ULONG options, HANDLE *opened)
{
    UNICODE_STRING text;
    text.Buffer = (PWSTR)name;
    text.Length = text.MaximumLength = (USHORT)(wcslen(name) * sizeof(WCHAR));
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, root, NULL);
    IO_STATUS_BLOCK io;
    NTSTATUS status = g_ntCreateFile(opened, access | SYNCHRONIZE, &attributes, &io, NULL,
                                     FILE_ATTRIBUTE_NORMAL,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     disposition,
                                     options | FILE_OPEN_REPARSE_POINT |
                                         FILE_SYNCHRONOUS_IO_NONALERT,
                                     NULL, 0);
    if (status != 0)
        *opened = INVALID_HANDLE_VALUE;
    return g_toDosError(status);
}

// The lines of a file not kept: lost (an error) or refused (a link, a cap).
static void SayNotKept(const char *word, const char *name, const char *why, DWORD number)
{
    std::string line;
    Begin(&line, word);
    TextAddAnsi(&line, name);
    TextFormat(&line, why, number);
    TextAdd(&line, "\r\n");
    WriteStandardText(STD_OUTPUT_HANDLE, &line);
}

static void Lost(Capture *c, const char *name, DWORD error)
{
    ++c->lost;
    SayNotKept("PERDU", name, " : pas gard\xe9 (erreur %lu)", error);
    Remember(c, name, FATE_NOT_KEPT);
}

// A name removed from the folder, or renamed: a file the application held until then
// was never kept.
static void Forget(Capture *c, const char *name)
{
    int slot = Present(c, name);
    if (slot >= 0 && c->fate[slot] == FATE_HELD)
        Lost(c, name, ERROR_SHARING_VIOLATION);
    if (slot >= 0)
        c->present[slot][0] = '\0';
}

// Copies the data of `source` into `kept`, at most FILE_CAP bytes, and ends `kept`
// there; the error, or ERROR_SUCCESS.  Never onto the source itself: a kept file that is
// a link to it would lose the application's job.
static DWORD CopyData(HANDLE source, HANDLE kept, unsigned long long *copied)
{
    static BYTE chunk[COPY_CHUNK];
    BY_HANDLE_FILE_INFORMATION from, to;
    if (!GetFileInformationByHandle(source, &from) || !GetFileInformationByHandle(kept, &to))
        return GetLastError();
    if (from.dwVolumeSerialNumber == to.dwVolumeSerialNumber &&
        from.nFileIndexHigh == to.nFileIndexHigh && from.nFileIndexLow == to.nFileIndexLow)
        return ERROR_INVALID_PARAMETER;
    *copied = 0;
    DWORD got = 0;
    while (*copied < FILE_CAP && ReadFile(source, chunk, COPY_CHUNK, &got, NULL) && got > 0) {
        DWORD wrote = 0;
        if (!WriteFile(kept, chunk, got, &wrote, NULL) || wrote != got)
            return GetLastError();
        *copied += got;
    }
    return SetEndOfFile(kept) ? ERROR_SUCCESS : GetLastError();
}

// A file's name in DEST, "<number> <name>", and as the lines show it.
struct KeptName {
    WCHAR name[MAX_PATH];
    char shown[MAX_PATH];       // DEST\<number> <name>, ANSI, for the lines
};
// The name in DEST for the next number; false when it does not fit.
static bool NumberedName(Capture *c, const WCHAR *wide, const char *ansi, KeptName *k)
{
    int n = wsprintfW(k->name, L"%04lu ", ++c->number);
    int m = wsprintfA(k->shown, "%s\\%04lu ", c->dest, c->number);
    if ((size_t)n + wcslen(wide) >= MAX_PATH || (size_t)m + strlen(ansi) >= MAX_PATH)
        return false;
    lstrcpyW(k->name + n, wide);
    lstrcpyA(k->shown + m, ansi);
    return true;
}

static DWORD LinkAs(Capture *c, HANDLE source, const KeptName *k)
{
    static LinkInformation link;
    link.replaceIfExists = FALSE;
    link.rootDirectory = c->destHandle;
    link.fileNameLength = (ULONG)wcslen(k->name) * (ULONG)sizeof(WCHAR);
    lstrcpyW(link.fileName, k->name);
    IO_STATUS_BLOCK io;
    return g_toDosError(
        g_ntSetInformationFile(source, &io, &link, sizeof link, FileLinkInformation));
}

// Copies `source` into DEST's file `name`, made new (FILE_CREATE) or the copy made
// before (FILE_OPEN); the error, or ERROR_SUCCESS.
static DWORD CopyInto(Capture *c, HANDLE source, const WCHAR *name, ULONG disposition,
                      unsigned long long *copied)
{
    HANDLE kept;
    DWORD error = OpenIn(c->destHandle, name, GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                         disposition, FILE_NON_DIRECTORY_FILE, &kept);
    if (error != ERROR_SUCCESS)
        return error;
    error = CopyData(source, kept, copied);
    CloseHandle(kept);
    return error;
}

// A copied file written again: copied over its first copy.
static void CopyAgain(Capture *c, int slot, const WCHAR *wide, const char *name)
{
    HANDLE source;
    if (OpenIn(c->folderHandle, wide, GENERIC_READ, FILE_OPEN, FILE_NON_DIRECTORY_FILE,
               &source) != ERROR_SUCCESS)
        return;         // already gone, or held: the copy keeps what was there
    unsigned long long copied = 0;
    DWORD error = CopyInto(c, source, c->keptAs[slot], FILE_OPEN, &copied);
    CloseHandle(source);
    if (error != ERROR_SUCCESS)
        SayNotKept("ATTENTION", name, " : la copie n'a pas suivi une \xe9" "criture (erreur %lu)",
                   error);
}

// Keeps the file of the folder `wide` (`name` in the ANSI code page), which has just
// appeared or been written.
static void Keep(Capture *c, const WCHAR *wide, const char *name, bool written)
{
    int slot = Present(c, name);
    if (slot >= 0 && c->fate[slot] != FATE_HELD) {
        if (written && c->fate[slot] == FATE_COPIED)
            CopyAgain(c, slot, wide, name);
        return;
    }
    // Opened without its data first: the program's exclusive open does not meet this.
    HANDLE source;
    DWORD error = OpenIn(c->folderHandle, wide, FILE_READ_ATTRIBUTES, FILE_OPEN, 0, &source);
    BY_HANDLE_FILE_INFORMATION info;
    if (error == ERROR_SUCCESS && !GetFileInformationByHandle(source, &info))
        error = GetLastError();
    if (error != ERROR_SUCCESS) {
        if (source != INVALID_HANDLE_VALUE)
            CloseHandle(source);
        Lost(c, name, error);
        return;
    }
    unsigned long long size = ((unsigned long long)info.nFileSizeHigh << 32) | info.nFileSizeLow;
    const char *refusal = NULL;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        refusal = " : un lien (point d'analyse), jamais suivi";
    else if (size > FILE_CAP)
        refusal = " : plus de 1 Mo, le plafond par fichier";
    else if (c->keptBytes + size > TOTAL_CAP)
        refusal = " : 100 Mo d\xe9j\xe0 gard\xe9s, le plafond en tout";
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || refusal != NULL) {
        CloseHandle(source);
        if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            ++c->refused;
            SayNotKept("\xc9" "CART\xc9", name, refusal, 0);
            Remember(c, name, FATE_NOT_KEPT);
        }
        return;
    }
    KeptName k = {};
    Fate fate = FATE_LINKED;
    unsigned long number = c->number;
    error = ERROR_ALREADY_EXISTS;
    for (int tries = 0; tries < 1000 && error == ERROR_ALREADY_EXISTS; ++tries)
        error = NumberedName(c, wide, name, &k) ? LinkAs(c, source, &k)
                                                 : ERROR_FILENAME_EXCED_RANGE;
    CloseHandle(source);
    if (error != ERROR_SUCCESS && error != ERROR_FILENAME_EXCED_RANGE &&
        error != ERROR_FILE_NOT_FOUND) {
        // No link for this file (another volume, a file system without links): a copy
        // of it, and the next file tries a link again.
        if (!c->copyNoted) {
            c->copyNoted = true;
            SayNotKept("INFO", "", "Pas de lien possible vers la destination (erreur %lu) : "
                                   "des copies au mieux", error);
        }
        fate = FATE_COPIED;
        error = OpenIn(c->folderHandle, wide, GENERIC_READ, FILE_OPEN, 0, &source);
        if (error == ERROR_SUCCESS) {
            error = CopyInto(c, source, k.name, FILE_CREATE, &size);
            CloseHandle(source);
        }
    }
    if (error != ERROR_SUCCESS) {
        c->number = number;     // that number names nothing
        if (error == ERROR_SHARING_VIOLATION) {
            // Held by the application while it writes: copied at its next write, or lost
            // when it goes first.
            Remember(c, name, FATE_HELD);
            return;
        }
        Lost(c, name, error);
        return;
    }
    ++c->kept;
    c->keptBytes += size;
    slot = Remember(c, name, fate);
    lstrcpyW(c->keptAs[slot], k.name);
    std::string line;
    Begin(&line, "GARD\xc9");
    TextAddAnsi(&line, name);
    TextAdd(&line, " -> ");
    TextAddAnsi(&line, k.shown);
    TextAdd(&line, fate == FATE_COPIED ? " (copie)\r\n" : " (lien)\r\n");
    WriteStandardText(STD_OUTPUT_HANDLE, &line);
}

// A name the folder reports (`length` characters, not ended), ended into `wide` and in
// the ANSI code page into `name`; false for a name too long, one the program cannot
// have been given (it opens jobs by their ANSI path) or one --match leaves out.
static bool Wanted(const Capture *c, const WCHAR *reported, int length, WCHAR wide[MAX_PATH],
                   char name[MAX_PATH])
{
    if (length >= MAX_PATH)
        return false;
    memcpy(wide, reported, (size_t)length * sizeof(WCHAR));
    wide[length] = L'\0';
    BOOL lossy = FALSE;
    int n = WideCharToMultiByte(c->ansi, c->conversion.flags, wide, length, name, MAX_PATH - 1,
                                NULL, c->conversion.askUsedDefault ? &lossy : NULL);
    name[n > 0 ? n : 0] = '\0';
    return n > 0 && !lossy && (c->match == NULL || NameMatches(c->match, name));
}

// After lost events: every file of the folder not kept yet, read through the folder's
// own handle.
static void LookAgain(Capture *c)
{
    static BYTE entries[BUFFER_SIZE] __attribute__((aligned(8)));
    HANDLE listing;
    if (OpenIn(c->folderHandle, L"", FILE_LIST_DIRECTORY, FILE_OPEN, FILE_DIRECTORY_FILE,
               &listing) != ERROR_SUCCESS)
        return;
    FILE_INFO_BY_HANDLE_CLASS which = FileFullDirectoryRestartInfo;
    while (g_listFolder != NULL && g_listFolder(listing, which, entries, sizeof entries)) {
        which = FileFullDirectoryInfo;
        for (const BYTE *at = entries;;) {
            const FILE_FULL_DIR_INFO *e = (const FILE_FULL_DIR_INFO *)at;
            WCHAR wide[MAX_PATH];
            char name[MAX_PATH];
            int length = (int)(e->FileNameLength / sizeof(WCHAR));
            if ((e->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                Wanted(c, e->FileName, length, wide, name))
                Keep(c, wide, name, false);
            if (e->NextEntryOffset == 0)
                break;
            at += e->NextEntryOffset;
        }
    }
    CloseHandle(listing);
}

static void Handle(Capture *c, const BYTE *events, DWORD size)
{
    for (DWORD at = 0; at + sizeof(FILE_NOTIFY_INFORMATION) <= size;) {
        const FILE_NOTIFY_INFORMATION *e = (const FILE_NOTIFY_INFORMATION *)(events + at);
        WCHAR wide[MAX_PATH];
        char name[MAX_PATH];
        int length = (int)(e->FileNameLength / sizeof(WCHAR));
        if (!Wanted(c, e->FileName, length, wide, name)) {
            // Not a job of the application's.
        } else if (e->Action == FILE_ACTION_ADDED || e->Action == FILE_ACTION_RENAMED_NEW_NAME) {
            Forget(c, name);
            Keep(c, wide, name, false);
        } else if (e->Action == FILE_ACTION_MODIFIED) {
            Keep(c, wide, name, true);
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

// The folder, the destination, the count and the pattern from the arguments after
// --capture; false for a usage problem.
static bool TakeArguments(int argc, char **argv, Capture *c)
{
    enum { CAPTURE_COUNT, CAPTURE_MATCH };
    static const ArgOption Options[] = {{"--count", CAPTURE_COUNT, ARG_VALUE, true},
                                        {"--match", CAPTURE_MATCH, ARG_VALUE, true}};
    const char *paths[2];
    int pathCount = 0;
    uint64_t count = 0;
    ArgReader r = ArgsOf(Options, 2, argc, argv, 0, false);
    for (Arg a = NextArg(&r); a.event != ARG_END; a = NextArg(&r)) {
        // A path is whatever is no option of the capture's, "-x" included.
        bool path = a.event == ARG_OPERAND || a.event == ARG_UNKNOWN;
        if (path && pathCount < 2)
            paths[pathCount++] = a.text;
        else if (a.event != ARG_OPTION ||
                 (a.id == CAPTURE_COUNT && (!ArgNumber(a.value, COUNT_MAX, &count) || count == 0)) ||
                 (a.id == CAPTURE_MATCH && (c->match = a.value)[0] == '\0'))
            return false;
    }
    c->count = (unsigned long)count;
    return pathCount == 2 && FullPath(paths[0], c->folder) && FullPath(paths[1], c->dest) &&
           lstrcmpiA(c->folder, c->dest) != 0;
}

// Whether a folder of `path`, from the one below its root to `path` itself, is a
// reparse point (a junction, a symbolic link, a mount point); a part that does not
// exist is none.
static bool ThroughReparsePoint(const char *path)
{
    size_t root = 0;
    if (path[0] != '\0' && path[1] == ':' && path[2] == '\\') {
        root = 3;
    } else if (path[0] == '\\' && path[1] == '\\') {      // \\server\share\ is the root
        int slashes = 0;
        for (root = 2; path[root] != '\0' && slashes < 2; ++root)
            slashes += path[root] == '\\';
    }
    char part[MAX_PATH];
    for (size_t i = root; i < MAX_PATH; ++i) {
        if ((path[i] == '\\' || path[i] == '\0') && i > root) {
            lstrcpynA(part, path, (int)i + 1);
            DWORD attributes = GetFileAttributesA(part);
            if (attributes != INVALID_FILE_ATTRIBUTES &&
                (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
                return true;
        }
        if (path[i] == '\0')
            break;
    }
    return false;
}

// A folder opened by its path, never through a reparse point; false when it is none.
static HANDLE OpenFolder(const char *path, DWORD access, DWORD flags)
{
    HANDLE folder = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS |
                                    FILE_FLAG_OPEN_REPARSE_POINT | flags, NULL);
    BY_HANDLE_FILE_INFORMATION info;
    if (folder != INVALID_HANDLE_VALUE &&
        (!GetFileInformationByHandle(folder, &info) ||
         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
         (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)) {
        CloseHandle(folder);
        SetLastError(ERROR_DIRECTORY);
        return INVALID_HANDLE_VALUE;
    }
    return folder;
}

// Opens the folder for watching, makes the destination and starts the first read into
// `buffer`; the error that stopped it, or ERROR_SUCCESS, and in `why` the words for a
// refusal of the paths.
static DWORD StartWatching(Capture *c, OVERLAPPED *io, BYTE *buffer, const char **why)
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    g_ntCreateFile = (NtCreateFileFunction)(void *)GetProcAddress(ntdll, "NtCreateFile");
    g_ntSetInformationFile =
        (NtSetInformationFileFunction)(void *)GetProcAddress(ntdll, "NtSetInformationFile");
    g_toDosError = (RtlNtStatusToDosErrorFunction)(void *)GetProcAddress(ntdll, "RtlNtStatusToDosError");
    if (g_ntCreateFile == NULL || g_ntSetInformationFile == NULL || g_toDosError == NULL)
        return ERROR_PROC_NOT_FOUND;
    g_listFolder = (GetFileInformationByHandleExFunction)(void *)GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "GetFileInformationByHandleEx");
    if (ThroughReparsePoint(c->folder) || ThroughReparsePoint(c->dest)) {
        *why = "un des chemins passe par un point d'analyse (jonction, lien symbolique)";
        return ERROR_CANT_ACCESS_FILE;
    }
    if (GetFileAttributesA(c->dest) != INVALID_FILE_ATTRIBUTES) {
        *why = "la destination existe d\xe9j\xe0 : donnez un dossier \xe0 cr\xe9" "er";
        return ERROR_ALREADY_EXISTS;
    }
    // Kept from the start to the end: the folder cannot be renamed or removed meanwhile,
    // so no other folder takes its place.
    c->folderHandle = OpenFolder(c->folder, FILE_LIST_DIRECTORY, FILE_FLAG_OVERLAPPED);
    if (c->folderHandle == INVALID_HANDLE_VALUE)
        return GetLastError();
    if (!CreateDirectoryA(c->dest, NULL))
        return GetLastError();
    c->destHandle = OpenFolder(c->dest, FILE_LIST_DIRECTORY | FILE_ADD_FILE, 0);
    if (c->destHandle == INVALID_HANDLE_VALUE)
        return GetLastError();
    c->ansi = GetACP();
    c->conversion = ConversionFor(c->ansi);
    io->hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    g_stop = CreateEventA(NULL, TRUE, FALSE, NULL);
    return Watch(c->folderHandle, buffer, io) ? ERROR_SUCCESS : GetLastError();
}

// The capture's first line: from where to where, and what the kept files hold.
static void Announce(const Capture *c, DWORD error, const char *why)
{
    std::string line;
    if (error != ERROR_SUCCESS) {
        TextAdd(&line, "PROBL\xc8ME  Capture impossible de ");
        TextAddAnsi(&line, c->folder);
        TextAdd(&line, " vers ");
        TextAddAnsi(&line, c->dest);
        if (why != NULL) {
            TextAdd(&line, " : ");
            TextAdd(&line, why);
        }
        TextFormat(&line, " (erreur %lu)\r\n", error);
        WriteStandardText(STD_ERROR_HANDLE, &line);
        return;
    }
    TextAdd(&line, "Capture des fichiers de travail de ");
    TextAddAnsi(&line, c->folder);
    TextAdd(&line, " dans ");
    TextAddAnsi(&line, c->dest);
    if (c->match != NULL) {
        TextAdd(&line, ", ceux nomm\xe9s ");
        TextAddAnsi(&line, c->match);
    }
    TextAdd(&line, c->count != 0 ? "" : " ; Ctrl+C pour arr\xeater");
    TextAdd(&line, ".\r\nLes sous-dossiers ne sont pas surveill\xe9s. Les fichiers gard\xe9s "
                   "contiennent les mails (destinataires, sujet, texte, chemins des pi\xe8"
                   "ces jointes) : supprimez-les apr\xe8s usage.\r\n");
    WriteStandardText(STD_OUTPUT_HANDLE, &line);
}

// Handles the folder's changes until the count is reached or Ctrl+C; false when a read
// of the changes failed.
static bool CaptureChanges(Capture *c, OVERLAPPED *io, BYTE buffers[2][BUFFER_SIZE])
{
    HANDLE folder = c->folderHandle;
    int current = 0;
    HANDLE waits[2] = {io->hEvent, g_stop};
    while ((c->count == 0 || c->kept + c->lost + c->refused < c->count) &&
           WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0) {
        DWORD size = 0;
        bool read = GetOverlappedResult(folder, io, &size, FALSE) != 0;
        // More changes than the buffer holds: they are lost, not the watch.
        bool overflow = !read && GetLastError() == ERROR_NOTIFY_ENUM_DIR;
        DWORD error = read || overflow ? ERROR_SUCCESS : GetLastError();
        // The next read goes into the other buffer before these events are handled.
        if (error == ERROR_SUCCESS && !Watch(folder, buffers[1 - current], io))
            error = GetLastError();
        if (error != ERROR_SUCCESS) {
            std::string line;
            TextFormat(&line, "PROBL\xc8ME  La surveillance s'arr\xeate (erreur %lu)\r\n", error);
            WriteStandardText(STD_OUTPUT_HANDLE, &line);
            return false;
        }
        if (read && size > 0) {
            Handle(c, buffers[current], size);
        } else {
            ++c->overflows;
            WriteStandard(STD_OUTPUT_HANDLE, "ATTENTION Trop de changements \xe0 la fois : des "
                                             "\xe9v\xe9nements sont perdus ; le dossier est relu\r\n");
            LookAgain(c);
        }
        current = 1 - current;
    }
    return true;
}

int RunCapture(int argc, char **argv)
{
    static Capture c;
    static BYTE buffers[2][BUFFER_SIZE] __attribute__((aligned(4)));
    if (!TakeArguments(argc, argv, &c)) {
        WriteStandard(STD_ERROR_HANDLE, "Usage : velmora-doctor.exe --capture DOSSIER DESTINATION "
                                        "[--count N] [--match MOD\xc8LE]\r\n");
        return EXIT_USAGE;
    }
    if (TokenIsElevatedOrSystem()) {
        WriteStandard(STD_ERROR_HANDLE,
                      "PROBL\xc8ME  La capture ne s'ex\xe9" "cute ni en administrateur (invite "
                      "de commandes \xe9lev\xe9" "e) ni en SYSTEM : elle observe ce qu'\xe9" "crit "
                      "l'application d'un utilisateur ; lancez-la sous le compte de cet "
                      "utilisateur, dans une invite de commandes ordinaire.\r\n");
        return EXIT_USAGE;
    }
    c.folderHandle = c.destHandle = INVALID_HANDLE_VALUE;
    OVERLAPPED io = {};
    const char *why = NULL;
    DWORD error = StartWatching(&c, &io, buffers[0], &why);
    Announce(&c, error, why);
    if (error != ERROR_SUCCESS)
        return EXIT_PROBLEM;
    SetConsoleCtrlHandler(OnControl, TRUE);
    bool failed = !CaptureChanges(&c, &io, buffers);
    for (int i = 0; i < PRESENT_SLOTS; ++i) {
        if (c.present[i][0] != '\0' && c.fate[i] == FATE_HELD)
            Lost(&c, c.present[i], ERROR_SHARING_VIOLATION);
    }
    CancelIo(c.folderHandle);
    CloseHandle(c.folderHandle);
    CloseHandle(c.destHandle);
    std::string line;
    TextFormat(&line, "Bilan : %lu fichier%s gard\xe9%s, %lu perdu%s, %lu \xe9" "cart\xe9%s, "
               "%lu d\xe9" "bordement%s.\r\n",
               c.kept, c.kept > 1 ? "s" : "", c.kept > 1 ? "s" : "", c.lost,
               c.lost > 1 ? "s" : "", c.refused, c.refused > 1 ? "s" : "", c.overflows,
               c.overflows > 1 ? "s" : "");
    WriteStandardText(STD_OUTPUT_HANDLE, &line);
    return failed || c.lost > 0 || c.refused > 0 || c.overflows > 0 ? EXIT_PROBLEM : EXIT_SOUND;
}
