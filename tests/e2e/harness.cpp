// Running a program and answering its message boxes from outside, as a user would.
#include "tests/e2e/harness.h"

#include "standins/nnotes/escape.h"

#include <psapi.h>

struct BoxSearch {
    DWORD processId;
    std::vector<HWND> found;
};

static BOOL CALLBACK CollectBox(HWND window, LPARAM param)
{
    BoxSearch *search = (BoxSearch *)param;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window))
        return TRUE;
    char className[64];
    if (GetClassNameA(window, className, sizeof className) > 0 &&
        lstrcmpA(className, "#32770") == 0)
        search->found.push_back(window);
    return TRUE;
}

struct Answered {
    HWND box;
    DWORD pressedAt;
};

// Records and presses every box not pressed before; closes a box that ignored OK.
static void AnswerBoxes(DWORD processId, std::vector<Answered> *answered, RunResult *result)
{
    for (size_t i = answered->size(); i-- > 0;) {
        if (!IsWindow((*answered)[i].box))
            answered->erase(answered->begin() + (long)i);
    }

    BoxSearch search;
    search.processId = processId;
    EnumWindows(CollectBox, (LPARAM)&search);
    for (size_t i = 0; i < search.found.size(); ++i) {
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
        result->boxes.push_back(b);
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

RunResult RunAndAnswer(const std::string &commandLine, DWORD timeLimitMs,
                       const char *application)
{
    RunResult result;
    result.started = false;
    result.startError = 0;
    result.hung = false;
    result.exitCode = 0xFFFFFFFF;
    result.elapsedMs = 0;
    result.peakWorkingSet = 0;

    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    DWORD start = GetTickCount();
    if (!CreateProcessA(application, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                        &process)) {
        result.startError = GetLastError();
        return result;
    }
    result.started = true;

    std::vector<Answered> answered;
    for (;;) {
        DWORD wait = WaitForSingleObject(process.hProcess, 10);
        AnswerBoxes(process.dwProcessId, &answered, &result);
        SampleMemory(process.hProcess, &result);
        if (wait != WAIT_TIMEOUT)
            break;
        if (GetTickCount() - start > timeLimitMs) {
            result.hung = true;
            TerminateProcess(process.hProcess, 0xDEAD);
            WaitForSingleObject(process.hProcess, 5000);
            break;
        }
    }
    result.elapsedMs = GetTickCount() - start;
    SampleMemory(process.hProcess, &result);
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}

std::string Escaped(const std::string &bytes)
{
    return EscapeBytes(bytes.data(), bytes.size());
}
