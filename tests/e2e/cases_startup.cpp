// Start-up and close mode: the Notes runtime, the command tail, and closing the
// product database's window in a running Notes client.
#include "tests/e2e/cases.h"

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
