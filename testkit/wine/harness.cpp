// Running a program and answering its message boxes from outside, as a user would.
#include "testkit/wine/harness.h"

#include "tools/common/byte_escape.h"

#include <algorithm>

#include <aclapi.h>
#include <psapi.h>
#include <sddl.h>

// The visible dialog boxes (class "#32770") of every process, with their owners.
struct BoxSearch {
    std::vector<HWND> found;
    std::vector<DWORD> owners;
};

static BOOL CALLBACK CollectBox(HWND window, LPARAM param)
{
    BoxSearch *search = (BoxSearch *)param;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[64];
    if (IsWindowVisible(window) && GetClassNameA(window, className, sizeof className) > 0 &&
        lstrcmpA(className, "#32770") == 0) {
        search->found.push_back(window);
        search->owners.push_back(owner);
    }
    return TRUE;
}

HWND BoxOf(DWORD processId)
{
    BoxSearch search;
    EnumWindows(CollectBox, (LPARAM)&search);
    for (size_t i = 0; i < search.found.size(); ++i) {
        if (search.owners[i] == processId)
            return search.found[i];
    }
    return NULL;
}

struct Answered {
    HWND box;
    DWORD pressedAt;
};

// One program started by RunAllAndAnswer and what has been seen of it so far.
struct Watched {
    PROCESS_INFORMATION process;
    DWORD start;
    bool ended;
    std::vector<Answered> answered;
    RunResult result;
};

// Records and presses every box of the program not pressed before; closes a box that
// ignored OK.  A pressed box is forgotten only once it is missing from `search`: one
// that went away after `search` was taken is still in it, and must not be read again
// as a new box with neither caption nor text.
static void AnswerBoxes(const BoxSearch &search, Watched *w)
{
    std::vector<Answered> *answered = &w->answered;
    for (size_t i = answered->size(); i-- > 0;) {
        if (std::find(search.found.begin(), search.found.end(), (*answered)[i].box) ==
            search.found.end())
            answered->erase(answered->begin() + (long)i);
    }

    for (size_t i = 0; i < search.found.size(); ++i) {
        if (search.owners[i] != w->process.dwProcessId)
            continue;
        HWND box = search.found[i];
        bool seen = false;
        for (size_t j = 0; j < answered->size(); ++j) {
            if ((*answered)[j].box != box)
                continue;
            seen = true;
            if (GetTickCount() - (*answered)[j].pressedAt > 2000) {
                PostMessageA(box, WM_CLOSE, 0, 0);
                (*answered)[j].pressedAt = GetTickCount();
            }
        }
        if (seen)
            continue;
        char caption[512], text[4096];
        caption[0] = text[0] = '\0';
        GetWindowTextA(box, caption, sizeof caption);
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        BoxSeen b = {caption, text};
        w->result.boxes.push_back(b);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        Answered a = {box, GetTickCount()};
        answered->push_back(a);
    }
}

static void SampleMemory(HANDLE process, RunResult *result)
{
    PROCESS_MEMORY_COUNTERS counters;
    ZeroMemory(&counters, sizeof counters);
    if (GetProcessMemoryInfo(process, &counters, sizeof counters) &&
        counters.PeakWorkingSetSize > result->peakWorkingSet)
        result->peakWorkingSet = counters.PeakWorkingSetSize;
}

// CreateProcessA, or CreateProcessAsUserA under `token` when it is not NULL.
static bool Start(HANDLE token, const std::string &commandLine, PROCESS_INFORMATION *process,
                  DWORD flags, HANDLE output, const char *application)
{
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (output != NULL) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = output;
    }
    return (token == NULL ? CreateProcessA(application, &line[0], NULL, NULL, output != NULL,
                                           flags, NULL, NULL, &startup, process)
                          : CreateProcessAsUserA(token, application, &line[0], NULL, NULL,
                                                 output != NULL, flags, NULL, NULL, &startup,
                                                 process)) != 0;
}

bool StartProgram(const std::string &commandLine, PROCESS_INFORMATION *process, DWORD flags,
                  HANDLE output, const char *application)
{
    return Start(NULL, commandLine, process, flags, output, application);
}

// The filtered token linked to this process's elevated one, or NULL.
static HANDLE LinkedToken(void)
{
    HANDLE own = NULL;
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    TOKEN_LINKED_TOKEN linked = {NULL};
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own))
        return NULL;
    if (!GetTokenInformation(own, TokenElevationType, &type, sizeof type, &size) ||
        type != TokenElevationTypeFull ||
        !GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &size))
        linked.LinkedToken = NULL;
    CloseHandle(own);
    return linked.LinkedToken;
}

bool Elevated(void)
{
    HANDLE own = NULL;
    TOKEN_ELEVATION elevation = {0};
    DWORD size = 0;
    bool read = OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own) &&
                GetTokenInformation(own, TokenElevation, &elevation, sizeof elevation, &size);
    if (own != NULL)
        CloseHandle(own);
    return !read || elevation.TokenIsElevated != 0;
}

const char *NoLinkedToken(void)
{
    if (!Elevated())
        return NULL;
    HANDLE linked = LinkedToken();
    if (linked == NULL)
        return "elevated with no filtered token linked to this one: UAC off, or the built-in "
               "Administrator";
    CloseHandle(linked);
    return NULL;
}

bool StartProgramAsUser(const std::string &commandLine, PROCESS_INFORMATION *process,
                        DWORD flags, HANDLE output, std::string *why)
{
    if (!Elevated())
        return StartProgram(commandLine, process, flags, output) ||
               (*why = "error " + std::to_string(GetLastError()), false);
    HANDLE linked = LinkedToken(), primary = NULL;
    if (linked == NULL ||
        !DuplicateTokenEx(linked, TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY, NULL,
                          SecurityImpersonation, TokenPrimary, &primary)) {
        const char *none = NoLinkedToken();
        *why = none ? none : "DuplicateTokenEx: error " + std::to_string(GetLastError());
        if (linked != NULL)
            CloseHandle(linked);
        return false;
    }
    CloseHandle(linked);
    bool started = Start(primary, commandLine, process, flags, output, NULL);
    if (!started)
        *why = "CreateProcessAsUserA: error " + std::to_string(GetLastError());
    CloseHandle(primary);
    return started;
}

// The filtered token linked to an elevated one has the same user SID, with
// Administrators deny-only: it opens only what allows the user or a group it keeps.
// https://learn.microsoft.com/en-us/windows/win32/api/winnt/ns-winnt-token_linked_token
// https://learn.microsoft.com/en-us/windows/security/application-security/application-control/user-account-control/how-it-works
// https://learn.microsoft.com/en-us/windows/win32/secauthz/sid-attributes-in-an-access-token
// https://learn.microsoft.com/en-us/windows/win32/api/sddl/nf-sddl-convertsidtostringsida
std::string UserSid(void)
{
    HANDLE own = NULL;
    DWORD room[(sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE) / sizeof(DWORD) + 1], size = 0;
    char *text = NULL;
    std::string sid;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own) &&
        GetTokenInformation(own, TokenUser, room, sizeof room, &size) &&
        ConvertSidToStringSidA(((TOKEN_USER *)room)->User.Sid, &text)) {
        sid = text;
        LocalFree(text);
    }
    if (own != NULL)
        CloseHandle(own);
    return sid;
}

// The ACEs are added to those the folder has, and passed on to what it holds.  What
// the user adds is owned by the user, and CREATOR OWNER becomes that owner in it; in
// what the elevated run made before, the owner (Administrators, or an owner who could
// already change its access list) gains nothing it lacked.
// https://learn.microsoft.com/en-us/windows/win32/api/aclapi/nf-aclapi-setentriesinacla
// https://learn.microsoft.com/en-us/windows/win32/api/aclapi/nf-aclapi-setnamedsecurityinfoa
// https://learn.microsoft.com/en-us/windows/win32/secauthz/ace-inheritance-rules
// https://learn.microsoft.com/en-us/windows/win32/fileio/file-access-rights-constants
bool AllowUser(const std::string &folder, UserRight right)
{
    const DWORD modify = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;
    const bool adds = right == USER_ADDS_FOLDERS;
    const std::string names[2] = {UserSid(), "CO"};
    EXPLICIT_ACCESS_A entries[2] = {
        {adds ? FILE_ADD_SUBDIRECTORY : modify, GRANT_ACCESS,
         adds ? (DWORD)NO_INHERITANCE : SUB_CONTAINERS_AND_OBJECTS_INHERIT, {}},
        {modify, GRANT_ACCESS, SUB_CONTAINERS_AND_OBJECTS_INHERIT | INHERIT_ONLY_ACE, {}}};
    PSID sids[2] = {NULL, NULL};
    ULONG count = adds ? 2 : 1;
    bool sidsRead = !names[0].empty();
    for (ULONG i = 0; i < count && sidsRead; ++i) {
        sidsRead = ConvertStringSidToSidA(names[i].c_str(), &sids[i]) != 0;
        BuildTrusteeWithSidA(&entries[i].Trustee, sids[i]);
    }
    PACL old = NULL, updated = NULL;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    bool done = sidsRead &&
                GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                      NULL, NULL, &old, NULL, &descriptor) == ERROR_SUCCESS &&
                SetEntriesInAclA(count, entries, old, &updated) == ERROR_SUCCESS &&
                SetNamedSecurityInfoA(&std::string(folder)[0], SE_FILE_OBJECT,
                                      DACL_SECURITY_INFORMATION, NULL, NULL, updated,
                                      NULL) == ERROR_SUCCESS;
    LocalFree(updated);
    LocalFree(descriptor);
    LocalFree(sids[0]);
    LocalFree(sids[1]);
    return done;
}

static void Start(const std::string &commandLine, const char *application, Watched *w)
{
    w->result = RunResult();
    w->result.exitCode = 0xFFFFFFFF;
    w->start = GetTickCount();
    w->result.started = StartProgram(commandLine, &w->process, 0, NULL, application);
    w->result.startError = w->result.started ? 0 : GetLastError();
    w->ended = !w->result.started;
}

// Answers the program's boxes; once it has ended, or been ended at its time limit,
// completes its result.
static void Watch(const BoxSearch &boxes, DWORD timeLimitMs, Watched *w)
{
    DWORD wait = WaitForSingleObject(w->process.hProcess, 0);
    AnswerBoxes(boxes, w);
    SampleMemory(w->process.hProcess, &w->result);
    if (wait == WAIT_TIMEOUT) {
        if (GetTickCount() - w->start <= timeLimitMs)
            return;
        w->result.hung = true;
        TerminateProcess(w->process.hProcess, 0xDEAD);
        WaitForSingleObject(w->process.hProcess, 5000);
    }
    w->ended = true;
    w->result.elapsedMs = GetTickCount() - w->start;
    SampleMemory(w->process.hProcess, &w->result);
    GetExitCodeProcess(w->process.hProcess, &w->result.exitCode);
    CloseHandle(w->process.hThread);
    CloseHandle(w->process.hProcess);
}

std::vector<RunResult> RunAllAndAnswer(const std::vector<std::string> &commandLines,
                                       DWORD timeLimitMs, const char *application)
{
    std::vector<Watched> watched(commandLines.size());
    for (size_t i = 0; i < commandLines.size(); ++i)
        Start(commandLines[i], application, &watched[i]);

    for (;;) {
        std::vector<HANDLE> running;
        for (size_t i = 0; i < watched.size(); ++i) {
            if (!watched[i].ended)
                running.push_back(watched[i].process.hProcess);
        }
        if (running.empty())
            break;
        WaitForMultipleObjects((DWORD)running.size(), &running[0], FALSE, 10);
        BoxSearch boxes;
        EnumWindows(CollectBox, (LPARAM)&boxes);
        for (size_t i = 0; i < watched.size(); ++i) {
            if (!watched[i].ended)
                Watch(boxes, timeLimitMs, &watched[i]);
        }
    }

    std::vector<RunResult> results;
    for (size_t i = 0; i < watched.size(); ++i)
        results.push_back(watched[i].result);
    return results;
}

RunResult RunAndAnswer(const std::string &commandLine, DWORD timeLimitMs,
                       const char *application)
{
    return RunAllAndAnswer(std::vector<std::string>(1, commandLine), timeLimitMs,
                           application)[0];
}

std::string Escaped(const std::string &bytes)
{
    return velmora_job::EscapeBytes(bytes, velmora_job::Escape::Log);
}
