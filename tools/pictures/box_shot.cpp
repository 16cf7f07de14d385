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
// then ended by itself with exit code 0, 1 otherwise, also written to
// <signal folder>\done.txt; each step is a check of the test kit (ok()), and the one
// that failed is told in <signal folder>\log.txt.
#include "testkit/wine/check.h"
#include "testkit/wine/files.h"
#include "testkit/wine/harness.h"

#include <stdio.h>
#include <string>

static std::string g_signal;

// Writes the file whole under another name first, so that a reader never sees part of it.
static bool WriteFileAtOnce(const std::string &path, const std::string &bytes)
{
    std::string temporary = path + ".tmp";
    return WriteBytes(temporary, bytes) &&
           MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
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

// Starts the client (when given) and the program, holds the program's first box up
// until the picture is taken, then answers its boxes until it ends.  Stops at the
// first check that fails.
static void HoldBox(const std::string &command, const std::string *clientCommand,
                    PROCESS_INFORMATION *client)
{
    if (clientCommand != NULL &&
        !ok(StartProgram(*clientCommand, client) && WaitFor(ClientUp, NULL, 20000),
            "the Notes client comes up"))
        return;

    PROCESS_INFORMATION program;
    if (!ok(StartProgram(command, &program), "the program starts: error %lu", GetLastError()))
        return;
    HWND box = NULL;
    DWORD start = GetTickCount();
    while ((box = BoxOf(program.dwProcessId)) == NULL &&
           WaitForSingleObject(program.hProcess, 20) != WAIT_OBJECT_0 &&
           GetTickCount() - start <= 60000) {
    }
    if (!ok(box != NULL, "the program shows a message box"))
        return;
    SetForegroundWindow(box);
    SendMessageTimeoutA(box, WM_NCACTIVATE, TRUE, 0, SMTO_ABORTIFHUNG, 2000, NULL);
    if (!ok(WaitFor(Drawn, box, 10000), "the box is drawn"))
        return;
    if (!ok(WriteFileAtOnce(g_signal + "\\box.txt", Describe(box)) &&
                WaitFor([](void *) { return FileExists(g_signal + "\\shot.txt"); }, NULL, 120000),
            "the picture is taken"))
        return;

    // OK on this box and on any that follows, until the program ends.
    start = GetTickCount();
    bool ended = false;
    while (!ended && GetTickCount() - start <= 60000) {
        HWND next = BoxOf(program.dwProcessId);
        if (next != NULL)
            PostMessageA(next, WM_COMMAND, IDOK, 0);
        ended = WaitForSingleObject(program.hProcess, 50) == WAIT_OBJECT_0;
    }
    if (!ok(ended, "the program ends once its boxes are answered")) {
        TerminateProcess(program.hProcess, 1);
        return;
    }
    DWORD exitCode = 1;
    GetExitCodeProcess(program.hProcess, &exitCode);
    ok(exitCode == 0, "the program's exit code is 0: %lu", exitCode);
}

int main(int argc, char **argv)
{
    if (argc != 3 && argc != 4) {
        fprintf(stderr, "usage: box-shot.exe <signal folder> <command file> "
                        "[<client command file>]\n");
        return 2;
    }
    g_signal = argv[1];
    // The checks tell what went wrong in the log the picture taker shows (or, when it
    // cannot be written, on the standard output).
    freopen((g_signal + "\\log.txt").c_str(), "ab", stdout);
    g_caseName = "box-shot";

    std::string command, clientCommand;
    PROCESS_INFORMATION client;
    ZeroMemory(&client, sizeof client);
    if (ok(ReadBytes(argv[2], &command) && (argc == 3 || ReadBytes(argv[3], &clientCommand)),
           "the command files are read"))
        HoldBox(command, argc == 4 ? &clientCommand : NULL, &client);

    // A process started through the virtual desktop does not hand its exit code back:
    // done.txt tells it.
    if (client.hProcess != NULL) {
        TerminateProcess(client.hProcess, 0);
        WaitForSingleObject(client.hProcess, 5000);
    }
    int code = CheckSummary();
    WriteFileAtOnce(g_signal + "\\done.txt", code == 0 ? "0\n" : "1\n");
    return code;
}
