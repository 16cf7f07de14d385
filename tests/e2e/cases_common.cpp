// What the end-to-end cases share: the outcome check, a plain job, calls.log and the
// hand-over.
#include "tests/e2e/cases.h"

void ExpectOutcomeAt(const char *file, int line, const RunResult &r,
                     const std::vector<std::string> &texts)
{
    if (!OkAt(file, line, r.started, "the program starts: error %lu", r.startError))
        return;
    OkAt(file, line, !r.hung, "the program ends by itself (ended after %lu ms)", r.elapsedMs);
    OkAt(file, line, r.exitCode == 0, "exit code: got %lu (0x%lX), expected 0", r.exitCode,
         r.exitCode);
    std::vector<std::string> got;
    for (size_t i = 0; i < r.boxes.size(); ++i) {
        got.push_back(r.boxes[i].text);
        OkAt(file, line, r.boxes[i].caption == BoxCaption,
             "caption of box %u: got \"%s\", expected \"%s\"", (unsigned)i + 1,
             r.boxes[i].caption.c_str(), BoxCaption);
    }
    SameLinesAt(file, line, got, texts, "message boxes shown");
}

Job PlainJob(const CaseEnv &e)
{
    Job f;
    f.directSend = 0;
    f.subject = "Devis [DOC]";
    f.body = "Bonjour,\r\nVoici le devis.";
    f.attachment = e.jobDir + "\\Devis 17.pdf";
    f.documentName = "Devis 17";
    f.sendTo = "";
    WriteBytes(f.attachment, "%PDF-1.4 devis 17\n");
    return f;
}

std::string WritePlainJob(const CaseEnv &e)
{
    std::string path = e.jobDir + "\\memo job.tmp";
    ok(WriteJobFile(path, PlainJob(e)), "job file written: %s", path.c_str());
    return path;
}

std::string Launched(const std::string &path)
{
    return path.find_first_of(" \t") == std::string::npos ? path : "\"" + path + "\"";
}

std::string ExpectedClientStart(const CaseEnv &e)
{
    return "start: " + Launched(e.clientShort) + " " + Launched(e.databaseShort);
}

const std::vector<std::string> InitAndEnd = {"InitNotesRuntime -> 0", "EndNotesRuntime -> 0"};

std::string SendCommand(const CaseEnv &e, const std::string &job)
{
    return QuotedProgram(e) + " " + job;
}

int CountCalls(const CaseEnv &e, const std::string &summary)
{
    std::vector<std::string> calls = CallSummary(e);
    int n = 0;
    for (size_t i = 0; i < calls.size(); ++i)
        n += calls[i] == summary;
    return n;
}

std::vector<std::string> LastCalls(const CaseEnv &e, size_t n)
{
    std::vector<std::string> calls = Calls(e);
    return std::vector<std::string>(calls.size() > n ? calls.end() - (long)n : calls.begin(),
                                    calls.end());
}

void ForgetRun(const CaseEnv &e)
{
    DeleteFileA((e.nnotesDir + "\\calls.log").c_str());
    DeleteFileA(e.clientLog.c_str());
}

void EndStartedClients(const CaseEnv &e)
{
    EndProcessesUnder(e.client.substr(0, e.client.rfind('\\')));
}

void ExpectHandedOver(const CaseEnv &e)
{
    ok(FileExists(NoteRecordPath(e, 1)), "the memo is saved");
    same_lines(LastCalls(e, 2), {CloseVariableCall(e.programShort), "EndNotesRuntime -> 0"},
               "calls.log ends arming the close variable");
    same_lines(NotesIni(e), {"$Velmora.closeNotes=" + e.programShort}, "notes.ini");
    expect_client_start(e, ExpectedClientStart(e));
}

void ExpectClientStartAt(const char *file, int line, const CaseEnv &e, const std::string &start)
{
    std::vector<std::string> events = ClientEvents(e.clientLog);
    OkAt(file, line, !events.empty() && events[0] == start,
         "the client's command line: got \"%s\", expected \"%s\"",
         events.empty() ? "(not started)" : events[0].c_str(), start.c_str());
}

RunResult ExpectPlainJobSent(const CaseEnv &e)
{
    std::string job = WritePlainJob(e);
    RunResult r = Run(SendCommand(e, job));
    expect_outcome(r);
    ok(!FileExists(job), "the job file is deleted");
    ExpectHandedOver(e);
    return r;
}

KeptFile KeepFile(const std::string &path)
{
    KeptFile kept;
    kept.path = path;
    ok(ReadBytes(path, &kept.bytes), "%s can be read before the run", path.c_str());
    return kept;
}

void ExpectKeptAt(const char *file, int line, const KeptFile &kept, const char *when)
{
    std::string now;
    bool read = ReadBytes(kept.path, &now);
    OkAt(file, line, read && now == kept.bytes, "%s: %s is %s", when, kept.path.c_str(),
         !read ? "gone" : now == kept.bytes ? "as it was" : "changed");
}

std::vector<std::string> ClosesReceived(CaseEnv *e)
{
    SyncRunningClient(e);
    std::vector<std::string> events = ClientEvents(e->runningLog), closes;
    for (const std::string &event : events) {
        if (event.compare(0, 19, "received WM_CLOSE: ") == 0)
            closes.push_back(event);
    }
    return closes;
}

bool ExpectCloseMode(CaseEnv *e, const std::string &windows, const char *closed)
{
    if (!StartRunningClient(e, windows))
        return false;
    RunResult r = Run(QuotedProgram(*e));
    expect_outcome(r);
    std::vector<std::string> calls = {
        "InitNotesRuntime argc=1 argv[0]=\"" + Escaped(e->program) + "\" -> 0",
        "EndNotesRuntime -> 0"}, closes, ini;
    if (closed != NULL) {
        calls.insert(calls.begin() + 1, CloseVariableCall(""));
        closes.push_back(std::string("received WM_CLOSE: ") + closed);
        ini.push_back("$Velmora.closeNotes=");
    }
    same_lines(Calls(*e), calls, "calls.log: the close variable cleared only for a window "
                                 "to close, before WM_CLOSE");
    same_lines(ClosesReceived(e), closes, "WM_CLOSE goes to the database window only");
    same_lines(NotesIni(*e), ini, "notes.ini");
    ok(!FileExists(e->clientLog), "no Notes client is started");
    return true;
}
