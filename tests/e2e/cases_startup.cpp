// Start-up and close mode: the Notes runtime, the command tail, and closing the
// product database's window in a running Notes client.
#include "tests/e2e/cases.h"
#include "tests/rule_tables.h"

static const std::vector<std::string> CloseModeCalls = {
    "InitNotesRuntime -> 0", "SetClientVariable -> 0", "EndNotesRuntime -> 0"};

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
    ForgetRun(*e);
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

void CaseCommandTails(CaseEnv *e)
{
    // The command tail table (tests/rule_tables.h), each line run with the program
    // given apart (Wine could not find it from most of these lines): an empty tail is
    // close mode, a tail naming a job sends it, any other opens nothing.
    MakeFolder("C:\\My Jobs");
    for (const CommandTailRow &row : CommandTailRows) {
        const char *jobs[] = {"C:\\job.tmp", "C:\\My Jobs\\job.tmp"};
        for (const char *job : jobs)
            WriteJobFile(job, PlainJob(*e));
        ForgetRun(*e);
        RunResult r = Run(row.line, e->program.c_str());
        std::string line = Escaped(row.line);
        if (*row.tail == '\0') {
            expect_outcome(r);
            same_lines(CallSummary(*e), InitAndEnd, ("close mode for " + line).c_str());
        } else if (row.job != nullptr) {
            expect_outcome(r);
            ok(!FileExists(row.job) && CountCalls(*e, "SaveNote -> 0") == 1,
               "\"%s\": %s is sent", line.c_str(), row.job);
            EndStartedClients(*e);
        } else {
            expect_outcome(r, TextOpenJob);
            ok(CallSummary(*e) == InitAndEnd, "\"%s\": nothing sent", line.c_str());
        }
        for (const char *job : jobs)
            ok(FileExists(job) || job == std::string(row.job ? row.job : ""),
               "\"%s\": %s is left alone", line.c_str(), job);
        for (const char *job : jobs)
            DeleteFileA(job);
    }
    RemoveDirectoryA("C:\\My Jobs");
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
