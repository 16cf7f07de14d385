// Start-up and close mode: the Notes runtime, the command tail, and closing the
// product database's window in a running Notes client.
#include "tests/e2e/cases.h"

#include <string.h>

static const std::vector<std::string> CloseModeCalls = {
    "InitNotesRuntime -> 0", "SetClientVariable -> 0", "EndNotesRuntime -> 0"};

static void ForgetCalls(const CaseEnv &e)
{
    DeleteFileA((e.nnotesDir + "\\calls.log").c_str());
}

static int CountEvent(const std::vector<std::string> &events, const std::string &event)
{
    int n = 0;
    for (size_t i = 0; i < events.size(); ++i)
        n += events[i] == event;
    return n;
}

// The WM_CLOSE events the running client has had, after it has handled everything.
static std::vector<std::string> ClosesReceived(CaseEnv *e)
{
    SyncRunningClient(e);
    std::vector<std::string> events = ClientEvents(e->runningLog), closes;
    for (size_t i = 0; i < events.size(); ++i) {
        if (events[i].compare(0, 19, "received WM_CLOSE: ") == 0)
            closes.push_back(events[i]);
    }
    return closes;
}

void CaseRuntimeFails(CaseEnv *e)
{
    SetEnv("NNOTES_FAIL", "InitNotesRuntime");

    RunResult r = Run(QuotedProgram(*e));
    expect_outcome(r, TextNotesInit);
    same_lines(Calls(*e),
               {"InitNotesRuntime argc=1 argv[0]=\"" + Escaped(e->program) + "\" -> 259"},
               "calls.log: the runtime is not ended when it did not start");

    // With a job: the job file is not even opened.
    ForgetCalls(*e);
    std::string job = WritePlainJob(*e), before, after;
    ReadBytes(job, &before);
    r = Run(QuotedProgram(*e) + " " + job);
    expect_outcome(r, TextNotesInit);
    same_lines(CallSummary(*e), {"InitNotesRuntime -> 259"}, "calls.log with a job");
    ok(ReadBytes(job, &after) && after == before, "the job file is left as it was");
}

void CaseCloseModeNothingRunning(CaseEnv *e)
{
    RunResult r = Run(QuotedProgram(*e));
    expect_outcome(r);
    same_lines(Calls(*e),
               {"InitNotesRuntime argc=1 argv[0]=\"" + Escaped(e->program) + "\" -> 0",
                "EndNotesRuntime -> 0"},
               "calls.log");
    ok(!FileExists(e->nnotesDir + "\\notes.ini"), "no client variable is set");
    ok(!FileExists(e->clientLog), "no Notes client is started");
}

void CaseBlankTails(CaseEnv *e)
{
    // A database window that stays open shows each close-mode run as one WM_CLOSE.
    if (!StartRunningClient(e, "--window \"Velmora - Stock\" --close-delay-ms never"))
        return;
    const std::string lines[] = {
        QuotedProgram(*e) + "   ",
        QuotedProgram(*e) + " \t \t",
        e->programShort + "\t\t",
        e->programShort + " \t ",
    };
    for (size_t i = 0; i < sizeof lines / sizeof lines[0]; ++i) {
        ForgetCalls(*e);
        RunResult r = Run(lines[i]);
        expect_outcome(r);
        ok(CallSummary(*e) == CloseModeCalls, "close mode for \"%s\": got %u calls, expected 3",
           Escaped(lines[i]).c_str(), (unsigned)CallSummary(*e).size());
        int closes = CountEvent(ClosesReceived(e), "received WM_CLOSE: Velmora - Stock");
        ok(closes == (int)i + 1, "WM_CLOSE after \"%s\": got %d in all, expected %d",
           Escaped(lines[i]).c_str(), closes, (int)i + 1);
    }
    ok(!FileExists(e->clientLog), "no Notes client is started");
}

void CaseUnclosedQuote(CaseEnv *e)
{
    // The quoted name runs to the end of the line: nothing is left for a tail, even
    // where a job would follow.  Wine cannot find the program from such a line, so
    // the program is named apart.
    if (!StartRunningClient(e, "--window \"Velmora - Stock\" --close-delay-ms never"))
        return;
    std::string job = WritePlainJob(*e);
    RunResult r = Run("\"" + e->program + " " + job, e->program.c_str());
    expect_outcome(r);
    same_lines(CallSummary(*e), CloseModeCalls, "calls.log: close mode");
    same_lines(ClosesReceived(e), {"received WM_CLOSE: Velmora - Stock"}, "WM_CLOSE received");
    ok(FileExists(job), "the job file is left alone");
}

void CaseCloseDatabaseWindow(CaseEnv *e)
{
    // Titles that look like the database window but are not: exactly the prefix, other
    // letter case, no blank, the prefix not at the start.
    if (!StartRunningClient(e, "--window \"Velmora -\" --window \"velmora - Stock\" "
                               "--window \"VELMORA - Stock\" --window \"Velmora-Stock\" "
                               "--window \"Stock - Velmora - x\" --window \"Velmora - Stock\" "
                               "--grandchild \"velmora - deep\" --close-delay-ms never"))
        return;
    RunResult r = Run(QuotedProgram(*e));
    expect_outcome(r);
    same_lines(Calls(*e),
               {"InitNotesRuntime argc=1 argv[0]=\"" + Escaped(e->program) + "\" -> 0",
                CloseVariableCall(""), "EndNotesRuntime -> 0"},
               "calls.log: the close variable is cleared before WM_CLOSE");
    same_lines(ClosesReceived(e), {"received WM_CLOSE: Velmora - Stock"},
               "WM_CLOSE goes to the database window only");
    same_lines(NotesIni(*e), {"$Velmora.closeNotes="}, "notes.ini");
    ok(!FileExists(e->clientLog), "no Notes client is started");
}

void CaseCloseGrandchildWindow(CaseEnv *e)
{
    if (!StartRunningClient(e, "--window \"Velmora -\" --grandchild \"Velmora - Deep\" "
                               "--close-delay-ms 0"))
        return;
    RunResult r = Run(QuotedProgram(*e));
    expect_outcome(r);
    same_lines(CallSummary(*e), CloseModeCalls, "calls.log");
    same_lines(ClosesReceived(e), {"received WM_CLOSE: Velmora - Deep"},
               "WM_CLOSE reaches a window below a child");
    ok(WaitForClientEvent(e->runningLog, "destroyed: Velmora - Deep", 2000),
       "the database window goes");
}

void CaseCloseNoDatabaseWindow(CaseEnv *e)
{
    if (!StartRunningClient(e, "--window \"Velmora -\" --window \"velmora - stock\" "
                               "--window \"Velmora-Stock\" --window \"Notes - Velmora - x\" "
                               "--grandchild \"VELMORA - DEEP\" --close-delay-ms 0"))
        return;
    RunResult r = Run(QuotedProgram(*e));
    expect_outcome(r);
    same_lines(CallSummary(*e), InitAndEnd, "calls.log: nothing but start and end");
    same_lines(ClosesReceived(e), {}, "no window is closed");
    ok(!FileExists(e->nnotesDir + "\\notes.ini"), "no client variable is set");
}

struct SystemBoxSearch {
    std::string captionStart;
    HWND found;
};

static BOOL CALLBACK FindSystemBox(HWND window, LPARAM param)
{
    SystemBoxSearch *search = (SystemBoxSearch *)param;
    char className[64], caption[512];
    if (IsWindowVisible(window) && GetClassNameA(window, className, sizeof className) > 0 &&
        lstrcmpA(className, "#32770") == 0 && GetWindowTextA(window, caption, sizeof caption) &&
        CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, caption,
                       (int)search->captionStart.size(), search->captionStart.data(),
                       (int)search->captionStart.size()) == CSTR_EQUAL) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

void CaseLoaderBoxMissingOrdinal(CaseEnv *e)
{
    // The library beside the program lacks ordinal 2072: Windows's loader refuses the
    // program before any of its code runs, and, in the default error mode, says so in
    // a box of the system's (shown for the process, not by it), captioned with the
    // program's file name, e.g. "velmora-notes.exe - Ordinal Not Found"; the process
    // then ends with STATUS_ORDINAL_NOT_FOUND, 0xC0000138.
    // https://learn.microsoft.com/en-us/windows/win32/api/processthreadsapi/nf-processthreadsapi-createprocessa
    // (CREATE_DEFAULT_ERROR_MODE), https://learn.microsoft.com/en-us/openspecs/
    // windows_protocols/ms-erref/596a1078-e883-4972-9bbc-49e60bebca55 (0xC0000138)
    std::string library = e->program.substr(0, e->program.rfind('\\')) + "\\nNOTES.dll";
    ok(CopyFileA((OwnFolder() + "\\lacking-2072\\nNOTES.dll").c_str(), library.c_str(),
                 FALSE) != 0, "the library without 2072 put beside the program");
    PROCESS_INFORMATION process;
    if (!ok(StartProgram(QuotedProgram(*e), &process, CREATE_DEFAULT_ERROR_MODE),
            "the program starts: error %lu", GetLastError()))
        return;
    SystemBoxSearch search = {"velmora-notes.exe", NULL};
    for (int waited = 0; waited < 20000 && search.found == NULL; waited += 50) {
        if (WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0)
            break;
        EnumWindows(FindSystemBox, (LPARAM)&search);
    }
    char text[1024] = "";
    if (search.found != NULL)
        GetDlgItemTextA(search.found, 0xFFFF, text, sizeof text);
    ok(search.found != NULL && strstr(text, "2072") != NULL,
       "the loader's box, captioned with the program's name, names ordinal 2072: \"%s\"",
       text);
    if (search.found != NULL)
        PostMessageA(search.found, WM_COMMAND, IDOK, 0);
    bool ended = WaitForSingleObject(process.hProcess, 10000) == WAIT_OBJECT_0;
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    ok(ended && exitCode == 0xC0000138, "ended with 0xC0000138 once the box is answered: "
       "%s, 0x%lX", ended ? "ended" : "still running", exitCode);
    if (!ended)
        TerminateProcess(process.hProcess, 0xDEAD);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ok(!FileExists(e->nnotesDir + "\\calls.log"), "no Notes call was made");
}
