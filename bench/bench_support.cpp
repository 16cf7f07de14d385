// Timed or weighed processes for velmora-bench.exe.
#include "bench/bench_support.h"

#include "testkit/wine/harness.h"

#include <psapi.h>

#include <algorithm>

// ---- processes -------------------------------------------------------------------

static double Now()
{
    static LARGE_INTEGER frequency;
    if (frequency.QuadPart == 0)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return (double)t.QuadPart * 1000.0 / (double)frequency.QuadPart;
}


TimedRun RunTimed(const std::string &commandLine, DWORD limitMs)
{
    TimedRun run = {false, false, 0xFFFFFFFF, 0.0};
    PROCESS_INFORMATION process;
    double start = Now();
    if (!StartProgram(commandLine, &process))
        return run;
    run.started = true;
    run.ended = WaitForSingleObject(process.hProcess, limitMs) == WAIT_OBJECT_0;
    run.ms = Now() - start;
    if (!run.ended) {
        TerminateProcess(process.hProcess, 0xDEAD);
        WaitForSingleObject(process.hProcess, 5000);
    }
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}

double WinExecTimed(const std::string &commandLine)
{
    double start = Now();
    UINT result = WinExec(commandLine.c_str(), SW_SHOWNORMAL);
    double ms = Now() - start;
    return result > 31 ? ms : -1.0;
}

// Restores the byte under the breakpoint and puts the thread back on it.
static void StepBack(HANDLE process, DWORD threadId, BYTE *at, BYTE saved)
{
    SIZE_T n = 0;
    WriteProcessMemory(process, at, &saved, 1, &n);
    FlushInstructionCache(process, at, 1);
    HANDLE thread = OpenThread(THREAD_GET_CONTEXT | THREAD_SET_CONTEXT, FALSE, threadId);
    if (thread == NULL)
        return;
    CONTEXT context;
    context.ContextFlags = CONTEXT_CONTROL;
    if (GetThreadContext(thread, &context)) {
        context.Eip = (DWORD)(DWORD_PTR)at;
        SetThreadContext(thread, &context);
    }
    CloseHandle(thread);
}

WeighedRun RunWeighed(const std::string &commandLine, DWORD limitMs)
{
    WeighedRun run = {false, 0xFFFFFFFF, 0};
    // The system DLLs lie at the same address in every process of the prefix.
    BYTE *exitProcess = (BYTE *)GetProcAddress(GetModuleHandleA("kernel32.dll"), "ExitProcess");
    PROCESS_INFORMATION process;
    if (exitProcess == NULL || !StartProgram(commandLine, &process, DEBUG_ONLY_THIS_PROCESS))
        return run;

    DWORD start = GetTickCount();
    bool loaderBreak = true;
    BYTE saved = 0;
    for (;;) {
        DEBUG_EVENT event;
        if (!WaitForDebugEvent(&event, 1000)) {
            if (GetTickCount() - start < limitMs)
                continue;
            TerminateProcess(process.hProcess, 0xDEAD);
            run.stoppedAtExit = false;
            run.peakWorkingSet = 0;
            break;
        }
        DWORD answer = DBG_CONTINUE;
        if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT &&
            event.u.CreateProcessInfo.hFile != NULL)
            CloseHandle(event.u.CreateProcessInfo.hFile);
        if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT && event.u.LoadDll.hFile != NULL)
            CloseHandle(event.u.LoadDll.hFile);
        if (event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT) {
            const EXCEPTION_RECORD &e = event.u.Exception.ExceptionRecord;
            if (e.ExceptionCode == EXCEPTION_BREAKPOINT && loaderBreak) {
                // Every import is bound by now: arm the breakpoint on ExitProcess.
                loaderBreak = false;
                SIZE_T n = 0;
                BYTE int3 = 0xCC;
                if (ReadProcessMemory(process.hProcess, exitProcess, &saved, 1, &n))
                    WriteProcessMemory(process.hProcess, exitProcess, &int3, 1, &n);
                FlushInstructionCache(process.hProcess, exitProcess, 1);
            } else if (e.ExceptionCode == EXCEPTION_BREAKPOINT &&
                       (BYTE *)e.ExceptionAddress == exitProcess) {
                PROCESS_MEMORY_COUNTERS counters;
                ZeroMemory(&counters, sizeof counters);
                counters.cb = sizeof counters;
                if (GetProcessMemoryInfo(process.hProcess, &counters, sizeof counters)) {
                    run.peakWorkingSet = counters.PeakWorkingSetSize;
                    run.stoppedAtExit = true;
                }
                StepBack(process.hProcess, event.dwThreadId, exitProcess, saved);
            } else {
                answer = DBG_EXCEPTION_NOT_HANDLED;
            }
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, answer);
        if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT)
            break;
    }
    WaitForSingleObject(process.hProcess, 5000);
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}

bool WaitForProcessesUnder(const std::string &folder, DWORD limitMs)
{
    DWORD start = GetTickCount();
    for (HANDLE found; (found = OpenProcessUnder(folder, 0)) != NULL;) {
        DWORD spent = GetTickCount() - start;
        bool gone = spent < limitMs &&
                    WaitForSingleObject(found, limitMs - spent) == WAIT_OBJECT_0;
        CloseHandle(found);
        if (!gone)
            return false;
    }
    return true;
}

// ---- figures -----------------------------------------------------------------------

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}
