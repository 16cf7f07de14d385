// The stand-in Notes client: from outside it looks like the running Notes client to
// the program.  A top-level window of class "NOTES" holds child windows with the
// titles a test asks for; a child that gets WM_CLOSE goes after a set delay, or
// never.  Everything that happens is appended to the file named by NOTES_CLIENT_LOG,
// one line per event: "<ms since start> <event>", the events being
//   start: <command line exactly>      job file present: yes|no
//   ready      enabled      sync      received WM_CLOSE: <title>
//   destroyed: <title>      bad command line: <why>      exit
// "job file present" is logged at start when NOTES_CLIENT_CHECK_GONE names a path;
// "sync" answers a WM_APP + 1 posted to the main window, so a test knows that every
// message posted before it has been handled.
#include "standins/log_append.h"
#include "standins/notes-client/client_options.h"

#include <stdlib.h>

enum {
    WM_SYNC = WM_APP + 1,
    TIMER_ENABLE = 1,
    TIMER_LIFETIME = 2,
    TIMER_CLOSE = 3,
};

static DWORD startTick;
static ClientOptions options;

static void Log(const std::string &event)
{
    char path[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("NOTES_CLIENT_LOG", path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return;
    char ms[16];
    wsprintfA(ms, "%lu ", GetTickCount() - startTick);
    std::string line = ms + event + "\r\n";
    AppendToLog(path, line.data(), (DWORD)line.size());     // clients started together
}

static std::string WindowTitle(HWND window)
{
    char title[512];
    title[0] = '\0';
    GetWindowTextA(window, title, sizeof title);
    return title;
}

static void DestroyChild(HWND child)
{
    Log("destroyed: " + WindowTitle(child));
    DestroyWindow(child);
}

static LRESULT CALLBACK ChildProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
        Log("received WM_CLOSE: " + WindowTitle(window));
        if (options.closeDelayMs == 0)
            DestroyChild(window);
        else if (options.closeDelayMs != NEVER)
            SetTimer(window, TIMER_CLOSE, options.closeDelayMs, NULL);
        return 0;
    case WM_TIMER:
        if (wParam == TIMER_CLOSE) {
            KillTimer(window, TIMER_CLOSE);
            DestroyChild(window);
        }
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        KillTimer(window, wParam);
        if (wParam == TIMER_ENABLE) {
            EnableWindow(window, TRUE);
            Log("enabled");
        } else if (wParam == TIMER_LIFETIME) {
            DestroyWindow(window);
        }
        return 0;
    case WM_SYNC:
        Log("sync");
        return 0;
    case WM_CLOSE:
        Log("received WM_CLOSE: " + WindowTitle(window));
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static HWND Child(HWND parent, const std::string &title, int index)
{
    return CreateWindowExA(0, "NotesDocument", title.c_str(), WS_CHILD | WS_VISIBLE,
                           10, 10 + 30 * index, 400, 25, parent, NULL,
                           GetModuleHandleA(NULL), NULL);
}

static bool RegisterClasses(HINSTANCE instance)
{
    WNDCLASSA c;
    ZeroMemory(&c, sizeof c);
    c.lpfnWndProc = MainProc;
    c.hInstance = instance;
    c.hCursor = LoadCursorA(NULL, IDC_ARROW);
    c.hbrBackground = (HBRUSH)(COLOR_APPWORKSPACE + 1);
    c.lpszClassName = "NOTES";
    if (!RegisterClassA(&c))
        return false;
    c.lpfnWndProc = ChildProc;
    c.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    c.lpszClassName = "NotesDocument";
    return RegisterClassA(&c) != 0;
}

// The file name of a database path: after its last backslash or colon.
static std::string FileName(const std::string &path)
{
    size_t cut = path.find_last_of("\\:/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    startTick = GetTickCount();
    Log(std::string("start: ") + GetCommandLineA());

    char gone[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("NOTES_CLIENT_CHECK_GONE", gone, sizeof gone);
    if (n > 0 && n < sizeof gone)
        Log(std::string("job file present: ") +
            (GetFileAttributesA(gone) != INVALID_FILE_ATTRIBUTES ? "yes" : "no"));

    options = ParseClientOptions(__argc, __argv);
    if (!options.error.empty()) {
        Log("bad command line: " + options.error);
        Log("exit");
        return 2;
    }
    if (!RegisterClasses(instance))
        return 1;

    HWND main = CreateWindowExA(0, "NOTES", "Notes Client (stand-in)", WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, 640, 480, NULL, NULL, instance,
                                NULL);
    if (main == NULL)
        return 1;
    int index = 0;
    for (size_t i = 0; i < options.windows.size(); ++i)
        Child(main, options.windows[i], index++);
    if (!options.grandchildren.empty()) {
        HWND workspace = Child(main, "Workspace", index++);
        for (size_t i = 0; i < options.grandchildren.size(); ++i)
            Child(workspace, options.grandchildren[i], (int)i);
    }
    if (!options.database.empty())
        Child(main, "Velmora - " + FileName(options.database), index++);

    if (options.disabledMs != 0) {
        EnableWindow(main, FALSE);
        if (options.disabledMs != NEVER)
            SetTimer(main, TIMER_ENABLE, options.disabledMs, NULL);
    }
    if (options.lifetimeMs != NEVER)
        SetTimer(main, TIMER_LIFETIME, options.lifetimeMs, NULL);
    ShowWindow(main, show);
    Log("ready");

    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    Log("exit");
    return 0;
}
