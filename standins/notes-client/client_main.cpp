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
//
//   notes-client.exe [options] [<database path>]
//     --window TITLE          a child window with that title (repeatable)
//     --grandchild TITLE      a window with that title inside a "Workspace" child
//     --disabled-ms N|never   keep the main window disabled that long, then enable it
//     --close-delay-ms N|never  how long a child takes to go after WM_CLOSE (0)
//
// Given a database path, as the program starts it ("<client> <database>"), it also
// opens a child titled "Velmora - <file name of the database>" and by default lives
// NOTES_CLIENT_LIFETIME_MS (1500 ms, or never); without one it lives 60 s.
#include "standins/log_append.h"
#include "tools/common/args.h"

#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

enum {
    WM_SYNC = WM_APP + 1,
    TIMER_ENABLE = 1,
    TIMER_LIFETIME = 2,
    TIMER_CLOSE = 3,
};

enum { NEVER = 0xFFFFFFFF };

struct ClientOptions {
    std::vector<std::string> windows;
    std::vector<std::string> grandchildren;
    std::string database;
    DWORD disabledMs;       // 0: never disabled
    DWORD closeDelayMs;     // NEVER: a closed child stays
    DWORD lifetimeMs;       // NEVER: runs until closed or ended
    std::string error;      // what was wrong with the command line, if anything
};

static DWORD startTick;
static ClientOptions options;

// A duration in milliseconds or "never"; false when it is neither.
static bool ParseDuration(const char *text, DWORD *ms)
{
    if (strcmp(text, "never") == 0) {
        *ms = NEVER;
        return true;
    }
    uint64_t value = 0;
    if (!ArgNumber(text, NEVER - 1, &value))
        return false;
    *ms = (DWORD)value;
    return true;
}

// The default lifetime of a client started on a database.
static DWORD LifetimeFromEnvironment()
{
    char text[32];
    DWORD n = GetEnvironmentVariableA("NOTES_CLIENT_LIFETIME_MS", text, sizeof text);
    DWORD ms = 0;
    return n == 0 || n >= sizeof text || !ParseDuration(text, &ms) ? 1500 : ms;
}

enum { OPT_WINDOW, OPT_GRANDCHILD, OPT_DISABLED, OPT_CLOSE_DELAY };
static const ArgOption Options[] = {
    {"--window", OPT_WINDOW, ARG_VALUE, false},
    {"--grandchild", OPT_GRANDCHILD, ARG_VALUE, false},
    {"--disabled-ms", OPT_DISABLED, ARG_VALUE, false},
    {"--close-delay-ms", OPT_CLOSE_DELAY, ARG_VALUE, false},
};

static ClientOptions ParseClientOptions(int argc, char **argv)
{
    ClientOptions o = ClientOptions();
    ArgReader reader = ArgsOf(Options, sizeof Options / sizeof Options[0], argc, argv, 1, false);
    for (Arg a = NextArg(&reader); a.event != ARG_END && o.error.empty(); a = NextArg(&reader)) {
        if (a.event == ARG_OPERAND) {
            if (!o.database.empty())
                o.error = std::string("a second database: ") + a.text;
            o.database = a.text;
        } else if (a.event == ARG_NO_VALUE) {
            o.error = std::string("no value after ") + a.text;
        } else if (a.event == ARG_UNKNOWN) {
            o.error = std::string("bad option: ") + a.text;
        } else if (a.id == OPT_WINDOW) {
            o.windows.push_back(a.value);
        } else if (a.id == OPT_GRANDCHILD) {
            o.grandchildren.push_back(a.value);
        } else {
            DWORD *ms = a.id == OPT_DISABLED ? &o.disabledMs : &o.closeDelayMs;
            if (!ParseDuration(a.value, ms))
                o.error = std::string("bad option: ") + a.text + " " + a.value;
        }
    }
    o.lifetimeMs = o.database.empty() ? 60000 : LifetimeFromEnvironment();
    return o;
}

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
