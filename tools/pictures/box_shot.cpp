// box-shot.exe: holds one of the program's message boxes up while its picture is taken.
//
//   box-shot.exe <signal folder> <command file> [<client command file>]
//
// With a client command file it first starts that command line (a Notes client for the
// program to find) and waits until the client's NOTES window is up.  Then it starts the
// command line held in <command file> (its bytes exactly, as the shell and Wine would
// re-quote arguments), waits until that process shows a message box and the box is
// drawn, and writes <signal folder>\box.txt:
//     <left> <top> <right> <bottom>       the box on the screen, caption bar included
//     <caption>
//     <text>                              as the box holds them, Windows-1252
// It then waits for <signal folder>\shot.txt, which the picture taker writes once the
// picture is taken, presses OK on that box and on any later one until the process ends,
// and ends the client it started.  Exit code 0 when a box was shown and the program
// then ended by itself, 1 otherwise, also written to <signal folder>\done.txt; what went
// wrong goes to <signal folder>\log.txt.
#include <windows.h>

#include <stdio.h>
#include <string>
#include <vector>

static std::string g_signal;

static void Log(const char *what)
{
    FILE *f = fopen((g_signal + "\\log.txt").c_str(), "ab");
    if (f != NULL) {
        fprintf(f, "%s\r\n", what);
        fclose(f);
    }
}

static bool ReadFileBytes(const std::string &path, std::string *bytes)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (f == NULL)
        return false;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes->append(buffer, n);
    fclose(f);
    return true;
}

// Writes the file whole under another name first, so that a reader never sees part of it.
static bool WriteFileAtOnce(const std::string &path, const std::string &bytes)
{
    std::string temporary = path + ".tmp";
    FILE *f = fopen(temporary.c_str(), "wb");
    if (f == NULL)
        return false;
    bool good = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    good = fclose(f) == 0 && good;
    return good && MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

static bool Start(const std::string &commandLine, PROCESS_INFORMATION *process)
{
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    return CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                          process) != 0;
}

struct BoxSearch {
    DWORD processId;
    HWND box;
};

static BOOL CALLBACK FindBox(HWND window, LPARAM param)
{
    BoxSearch *search = (BoxSearch *)param;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[16];
    if (owner == search->processId && IsWindowVisible(window) &&
        GetClassNameA(window, className, sizeof className) > 0 &&
        lstrcmpA(className, "#32770") == 0) {
        search->box = window;
        return FALSE;
    }
    return TRUE;
}

static HWND BoxOf(DWORD processId)
{
    BoxSearch search = {processId, NULL};
    EnumWindows(FindBox, (LPARAM)&search);
    return search.box;
}

static BOOL CALLBACK NoteUpdate(HWND window, LPARAM pending)
{
    if (GetUpdateRect(window, NULL, FALSE))
        *(bool *)pending = true;
    return TRUE;
}

// Drawn: neither the box nor any control in it waits for painting, and the box's thread
// has come back to its message loop since (a message sent to it has been answered).
static bool Drawn(void *window)
{
    HWND box = (HWND)window;
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(box, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &result))
        return false;
    bool pending = GetUpdateRect(box, NULL, FALSE) != 0;
    EnumChildWindows(box, NoteUpdate, (LPARAM)&pending);
    return !pending;
}

static std::string Describe(HWND box)
{
    RECT r;
    GetWindowRect(box, &r);
    char caption[512], text[4096], corners[64];
    caption[0] = text[0] = '\0';
    GetWindowTextA(box, caption, sizeof caption);
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    wsprintfA(corners, "%ld %ld %ld %ld", r.left, r.top, r.right, r.bottom);
    return std::string(corners) + "\n" + caption + "\n" + text + "\n";
}

static bool WaitFor(bool (*ready)(void *), void *what, DWORD limitMs)
{
    DWORD start = GetTickCount();
    while (!ready(what)) {
        if (GetTickCount() - start > limitMs)
            return false;
        Sleep(20);
    }
    return true;
}

static bool ClientUp(void *)
{
    HWND notes = FindWindowA("NOTES", NULL);
    return notes != NULL && IsWindowVisible(notes);
}

static bool ShotTaken(void *)
{
    return GetFileAttributesA((g_signal + "\\shot.txt").c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Ends the client this started, and writes <signal folder>\done.txt with the exit code:
// a process started through the virtual desktop does not hand its code back.
static int Finish(PROCESS_INFORMATION *client, int code)
{
    if (client->hProcess != NULL) {
        TerminateProcess(client->hProcess, 0);
        WaitForSingleObject(client->hProcess, 5000);
    }
    WriteFileAtOnce(g_signal + "\\done.txt", code == 0 ? "0\n" : "1\n");
    return code;
}

int main(int argc, char **argv)
{
    if (argc != 3 && argc != 4) {
        fprintf(stderr, "usage: box-shot.exe <signal folder> <command file> "
                        "[<client command file>]\n");
        return 2;
    }
    g_signal = argv[1];
    std::string command, clientCommand;
    if (!ReadFileBytes(argv[2], &command) || (argc == 4 && !ReadFileBytes(argv[3], &clientCommand))) {
        Log("cannot read a command file");
        PROCESS_INFORMATION none;
        ZeroMemory(&none, sizeof none);
        return Finish(&none, 1);
    }

    PROCESS_INFORMATION client;
    ZeroMemory(&client, sizeof client);
    if (argc == 4 && (!Start(clientCommand, &client) || !WaitFor(ClientUp, NULL, 20000))) {
        Log("the Notes client did not come up");
        return Finish(&client, 1);
    }

    PROCESS_INFORMATION program;
    if (!Start(command, &program)) {
        Log("the program did not start");
        return Finish(&client, 1);
    }
    HWND box = NULL;
    DWORD start = GetTickCount();
    while ((box = BoxOf(program.dwProcessId)) == NULL) {
        if (WaitForSingleObject(program.hProcess, 20) == WAIT_OBJECT_0 ||
            GetTickCount() - start > 60000) {
            Log("the program showed no message box");
            return Finish(&client, 1);
        }
    }
    SetForegroundWindow(box);
    SendMessageTimeoutA(box, WM_NCACTIVATE, TRUE, 0, SMTO_ABORTIFHUNG, 2000, NULL);
    if (!WaitFor(Drawn, box, 10000)) {
        Log("the box was not drawn");
        return Finish(&client, 1);
    }
    if (!WriteFileAtOnce(g_signal + "\\box.txt", Describe(box)) ||
        !WaitFor(ShotTaken, NULL, 120000)) {
        Log("no picture was taken");
        return Finish(&client, 1);
    }

    // OK on this box and on any that follows, until the program ends.
    start = GetTickCount();
    for (;;) {
        HWND next = BoxOf(program.dwProcessId);
        if (next != NULL)
            PostMessageA(next, WM_COMMAND, IDOK, 0);
        if (WaitForSingleObject(program.hProcess, 50) == WAIT_OBJECT_0)
            break;
        if (GetTickCount() - start > 60000) {
            Log("the program did not end");
            TerminateProcess(program.hProcess, 1);
            return Finish(&client, 1);
        }
    }
    DWORD exitCode = 1;
    GetExitCodeProcess(program.hProcess, &exitCode);
    return Finish(&client, exitCode == 0 ? 0 : 1);
}
