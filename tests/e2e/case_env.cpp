// Setting up and tearing down an end-to-end case.
#include "tests/e2e/case_env.h"

#include "testkit/wine/check.h"
#include "testkit/wine/files.h"

#include <algorithm>

enum { WM_SYNC = WM_APP + 1 };

void SetEnv(const char *name, const char *value)
{
    SetEnvironmentVariableA(name, value);
}

static bool CopyInto(const std::string &from, const std::string &to)
{
    return ok(CopyFileA(from.c_str(), to.c_str(), FALSE) != 0, "copy %s to %s: error %lu",
              from.c_str(), to.c_str(), GetLastError());
}

bool BeginCase(CaseEnv *e)
{
    e->running = NULL;
    e->runningWindow = NULL;
    e->root = WorkRoot() + "\\" + g_caseName;
    EndProcessesUnder(e->root);
    if (!ok(DeleteTree(e->root), "the case folder %s can be cleared", e->root.c_str()))
        return false;

    std::string bin = OwnFolder();
    if (!ok(FileExists(bin + "\\velmora-notes.exe"), "velmora-notes.exe is built in %s",
            bin.c_str()))
        return false;

    e->programDir = e->root + "\\Velmora pour Notes";
    std::string clientDir = e->root + "\\Lotus Notes Client";
    std::string dataDir = e->root + "\\Notes Data Folder";
    e->jobDir = e->root + "\\Velmora Jobs";
    e->nnotesDir = e->root + "\\nnotes";
    e->program = e->programDir + "\\velmora-notes.exe";
    e->client = clientDir + "\\notes-client.exe";
    e->database = dataDir + "\\Velmora.nsf";
    e->clientLog = e->root + "\\client.log";
    e->runningLog = e->root + "\\running client.log";

    bool made = MakeFolder(e->programDir) && MakeFolder(clientDir) && MakeFolder(dataDir) &&
                MakeFolder(e->jobDir) && MakeFolder(e->nnotesDir);
    // The stand-in library writes its logs there, also in a doctor started as the user.
    if (!ok(made && AllowUser(e->nnotesDir, USER_MODIFIES), "folders made under %s",
            e->root.c_str()))
        return false;
    if (!CopyInto(bin + "\\velmora-notes.exe", e->program) ||
        !CopyInto(bin + "\\nNOTES.dll", e->programDir + "\\nNOTES.dll") ||
        !CopyInto(bin + "\\notes-client.exe", e->client))
        return false;
    if (!ok(WriteBytes(e->database, "stand-in database\r\n"), "database written"))
        return false;
    e->programShort = ShortPath(e->program);
    e->clientShort = ShortPath(e->client);
    e->databaseShort = ShortPath(e->database);

    RemoveSettingsKey();
    if (!ok(SetSettingsValue("LN_Appli", e->client.c_str()) &&
                SetSettingsValue("LN_Base", e->database.c_str()),
            "registry settings written"))
        return false;

    SetEnv("NNOTES_DIR", e->nnotesDir.c_str());
    SetEnv("NNOTES_FAIL", NULL);
    SetEnv("NOTES_CLIENT_LOG", e->clientLog.c_str());
    SetEnv("NOTES_CLIENT_LIFETIME_MS", "500");
    SetEnv("NOTES_CLIENT_CHECK_GONE", NULL);

    ok(FindWindowA("NOTES", NULL) == NULL, "no Notes client window is open before the case");
    return true;
}

void EndCase(CaseEnv *e)
{
    if (e->running != NULL) {
        TerminateProcess(e->running, 0xDEAD);
        WaitForSingleObject(e->running, 5000);
        CloseHandle(e->running);
        e->running = NULL;
    }
    if (!e->root.empty()) {
        EndProcessesUnder(e->root);
        char keep[8];
        if (GetEnvironmentVariableA("VELMORA_E2E_KEEP", keep, sizeof keep) == 0)
            ok(DeleteTree(e->root), "the case folder %s is deleted", e->root.c_str());
    }
    RemoveSettingsKey();
    SetEnv("NNOTES_FAIL", NULL);
    SetEnv("NOTES_CLIENT_CHECK_GONE", NULL);
}

RunResult Run(const std::string &commandLine, const char *application)
{
    return RunAndAnswer(commandLine, 30000, application);
}

std::string QuotedProgram(const CaseEnv &e)
{
    return Quoted(e.program);
}

bool StartRunningClient(CaseEnv *e, const std::string &options)
{
    std::string line = "\"" + e->client + "\" " + options;
    PROCESS_INFORMATION process;
    SetEnv("NOTES_CLIENT_LOG", e->runningLog.c_str());
    bool started = StartProgram(line, &process);
    SetEnv("NOTES_CLIENT_LOG", e->clientLog.c_str());
    if (!ok(started, "start the Notes client: %s", line.c_str()))
        return false;
    CloseHandle(process.hThread);
    e->running = process.hProcess;
    if (!ok(WaitForClientEvent(e->runningLog, "ready", 10000),
            "the running client is ready within 10 s"))
        return false;
    WaitForInputIdle(process.hProcess, 5000);
    // BeginCase saw no other client's window.
    e->runningWindow = FindWindowA("NOTES", NULL);
    DWORD owner = 0;
    GetWindowThreadProcessId(e->runningWindow, &owner);
    return ok(owner == process.dwProcessId, "the running client has a NOTES window");
}

bool SyncRunningClient(CaseEnv *e)
{
    std::vector<std::string> events = ClientEvents(e->runningLog);
    long before = std::count(events.begin(), events.end(), "sync");
    PostMessageA(e->runningWindow, WM_SYNC, 0, 0);
    for (DWORD waited = 0; waited < 5000; waited += 10) {
        events = ClientEvents(e->runningLog);
        if (std::count(events.begin(), events.end(), "sync") > before)
            return true;
        Sleep(10);
    }
    return ok(false, "the running client answers a posted message within 5 s");
}

std::vector<std::string> ClientEvents(const std::string &log)
{
    std::vector<std::string> lines = FileLines(log);
    for (size_t i = 0; i < lines.size(); ++i) {
        size_t blank = lines[i].find(' ');
        lines[i] = blank == std::string::npos ? lines[i] : lines[i].substr(blank + 1);
    }
    return lines;
}

bool WaitForClientEvent(const std::string &log, const std::string &event, DWORD timeoutMs)
{
    for (DWORD waited = 0;; waited += 20) {
        std::vector<std::string> events = ClientEvents(log);
        if (std::find(events.begin(), events.end(), event) != events.end())
            return true;
        if (waited >= timeoutMs)
            return false;
        Sleep(20);
    }
}

std::vector<std::string> Calls(const CaseEnv &e)
{
    return FileLines(e.nnotesDir + "\\calls.log");
}

std::vector<std::string> CallSummary(const CaseEnv &e)
{
    std::vector<std::string> lines = Calls(e);
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string name = lines[i].substr(0, lines[i].find(' '));
        size_t lastQuote = lines[i].rfind('"');
        size_t arrow = lines[i].find(" -> ", lastQuote == std::string::npos ? 0 : lastQuote);
        std::string status = arrow == std::string::npos ? "?" : lines[i].substr(arrow + 4);
        lines[i] = name + " -> " + status.substr(0, status.find(' '));
    }
    return lines;
}

std::vector<std::string> NotesIni(const CaseEnv &e)
{
    return FileLines(e.nnotesDir + "\\notes.ini");
}

std::string CloseVariableCall(const std::string &value)
{
    return "SetClientVariable name=\"$Velmora.closeNotes\" value=\"" + Escaped(value) +
           "\" -> 0";
}

std::string NoteRecordPath(const CaseEnv &e, int n)
{
    return e.nnotesDir + "\\notes\\note-" + std::to_string(n) + ".txt";
}
