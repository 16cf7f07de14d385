// Send mode: installation settings, the job file, the memo written through the
// Notes library, and the hand-over to the Notes client.
#include "tests/e2e/case_runner.h"
#include "tests/rule_tables.h"

#include "testkit/wine/machine.h"

#include <algorithm>

static void CaseClientNotRunning(CaseEnv *e)
{
    // On a volume without 8.3 names the paths keep their blanks, and the hand-over is
    // expected with them quoted.
    if (MakesShortNames(e->root))
        ok(e->programShort != e->program && e->programShort.find(' ') == std::string::npos,
           "the program's folder has a short form without blanks: %s",
           e->programShort.c_str());
    ExpectPlainJobSent(*e);
    ok(CountCalls(*e, "SetClientVariable -> 0") == 1, "the close variable is set once");
    ok(WaitForClientEvent(e->clientLog, "ready", 3000), "the started client comes up");
}

static void CaseJobGoneAtClientStart(CaseEnv *e)
{
    std::string job = WritePlainJob(*e);
    SetEnv("NOTES_CLIENT_CHECK_GONE", job.c_str());
    RunResult r = Run(SendCommand(*e, job));
    expect_outcome(r);
    std::vector<std::string> events = ClientEvents(e->clientLog);
    same_lines(std::vector<std::string>(events.begin(),
                                        events.begin() + (events.size() < 2 ? events.size() : 2)),
               {ExpectedClientStart(*e), "job file present: no"},
               "the client starts after the job file is gone");
}

static void CaseClientBusyThenFree(CaseEnv *e)
{
    if (!StartRunningClient(e, "--disabled-ms 3000"))
        return;
    RunResult r = ExpectPlainJobSent(*e);
    ok(r.elapsedMs >= 2000, "the program waits for the client: took %lu ms", r.elapsedMs);
    ok(WaitForClientEvent(e->runningLog, "enabled", 0), "the client was enabled meanwhile");
}

// The memo handed over while the client shows the database window, which goes 50 ms
// after WM_CLOSE or never: the close variable is cleared, and armed only once the
// window is gone; the client is started all the same.
static void HandOverPastDatabaseWindow(CaseEnv *e, bool goes)
{
    if (!StartRunningClient(e, std::string("--window \"Velmora - Velmora.nsf\" --close-delay-ms ") +
                                   (goes ? "50" : "never")))
        return;
    std::string job = WritePlainJob(*e);
    RunResult r = Run(SendCommand(*e, job));
    expect_outcome(r);
    std::string armed = goes ? e->programShort : "";
    std::vector<std::string> last = {"CloseDatabase db=1 -> 0", CloseVariableCall(""),
                                     "EndNotesRuntime -> 0"};
    if (goes)
        last.insert(last.begin() + 2, CloseVariableCall(armed));
    same_lines(LastCalls(*e, last.size()), last, "calls.log: cleared, armed once it went");
    ok(WaitForClientEvent(e->runningLog, "destroyed: Velmora - Velmora.nsf", 0) == goes,
       "the database window was closed, or stayed");
    same_lines(NotesIni(*e), {"$Velmora.closeNotes=" + armed}, "notes.ini");
    expect_client_start(*e, ExpectedClientStart(*e));
}

static void CaseDatabaseWindowCloses(CaseEnv *e)
{
    HandOverPastDatabaseWindow(e, true);
}

static void CaseDatabaseWindowStays(CaseEnv *e)
{
    HandOverPastDatabaseWindow(e, false);
}

// The OEM bytes the program stores for SendTo and Subject, under the run's code pages.
static std::string Oem(std::string text)
{
    CharToOemBuffA(text.c_str(), &text[0], (DWORD)text.size());
    return text;
}

static void CaseStoredNote(CaseEnv *e)
{
    char user[256];
    DWORD size = sizeof user;
    GetUserNameA(user, &size);
    std::string u = user;

    Job f;
    f.directSend = 1;
    f.documentName = "Devis \xe9t\xe9 2024";
    f.sendTo = "[User]; chef.[doc]@zabrel.fr; [NOM]\xe9";
    // \xc0, \xca and \xd4 keep their accents in OEM 850 only (437 has plain letters).
    f.subject = "Devis n\xb0 [DOC] \xe0 valider par [name] [x[DOC]] (\xc0, \xca, \xd4)";
    f.body = "Bonjour [NAME],\r\n\r\nCi-joint : [DOC].\rD\xe9j\xe0 vu\nsuite";
    f.attachment = e->jobDir + "\\Devis \xe9t\xe9 2024.pdf";
    f.extras.push_back(e->jobDir + "\\annexe A.txt");
    MakeFolder(e->root + "\\Autre Dossier");
    f.extras.push_back(e->root + "\\Autre Dossier\\plan;1 #2.dwg");
    const std::string contents[] = {"%PDF-1.4 \x01\x02\xff devis", "annexe A\r\n",
                                    std::string("dwg\0data", 8)};
    WriteBytes(f.attachment, contents[0]);
    WriteBytes(f.extras[0], contents[1]);
    WriteBytes(f.extras[1], contents[2]);
    std::string job = e->jobDir + "\\memo job.tmp";
    WriteJobFile(job, f);

    RunResult r = Run(SendCommand(*e, job));
    expect_outcome(r);
    std::vector<std::string> expectedCalls = {
        "InitNotesRuntime -> 0", "OpenDatabase -> 0",  "CreateNote -> 0",
        "SetTextItem -> 0",      "SetTextItem -> 0",   "SetTextItem -> 0",
        "SetTextItem -> 0",      "CreateBodyBuffer -> 0", "AppendBodyLine -> 0",
        "AppendBodyLine -> 0",   "AppendBodyLine -> 0", "AppendBodyLine -> 0",
        "AddBodyToNote -> 0",    "AttachFile -> 0",     "AttachFile -> 0",
        "AttachFile -> 0",       "SaveNote -> 0",       "CloseNote -> 0",
        "CloseDatabase -> 0",    "SetClientVariable -> 0", "EndNotesRuntime -> 0"};
    same_lines(CallSummary(*e), expectedCalls, "calls in order");

    std::string document = "Devis \xe9t\xe9 2024";
    std::string expected =
        "database: " + e->databaseShort + "\r\n" +
        "Form: Document\r\n" +
        "SendTo: " + Oem(u + "; chef." + document + "@zabrel.fr; " + u + "\xe9") + "\r\n" +
        "Subject: " + Oem("Devis n\xb0 " + document + " \xe0 valider par " + u + " [x" +
                          document + "] (") + "\xb7, \xd2, \xe2)\r\n" +
        "Velmora_DirectSend: 1\r\n" +
        "Body:\r\n" +
        "  Bonjour " + u + ",\r\n" +
        "  \r\n" +
        "  Ci-joint : Devis \xe9t\xe9 2024.\r\n" +
        "  D\xe9j\xe0 vu\nsuite\r\n" +
        "$FILE: Devis \xe9t\xe9 2024.pdf <- " + f.attachment + "\r\n" +
        "  copy: note-1.files\\1-Devis__t__2024.pdf\r\n" +
        "$FILE: annexe A.txt <- " + f.extras[0] + "\r\n" +
        "  copy: note-1.files\\2-annexe_A.txt\r\n" +
        "$FILE: plan;1 #2.dwg <- " + f.extras[1] + "\r\n" +
        "  copy: note-1.files\\3-plan_1__2.dwg\r\n";
    std::string record;
    ok(ReadBytes(NoteRecordPath(*e, 1), &record), "the memo is saved");
    same_text(record, expected, "the stored memo");

    const char *copies[] = {"1-Devis__t__2024.pdf", "2-annexe_A.txt", "3-plan_1__2.dwg"};
    for (int i = 0; i < 3; ++i) {
        std::string copy, source;
        ReadBytes(e->nnotesDir + "\\notes\\note-1.files\\" + copies[i], &copy);
        same_text(copy, contents[i], "attached copy");
        ok(ReadBytes(i == 0 ? f.attachment : f.extras[(size_t)i - 1], &source) &&
               source == contents[i], "attachment %d is left where it was", i + 1);
    }
    ok(!FileExists(NoteRecordPath(*e, 2)), "one memo only");
    ok(!FileExists(job), "the job file is deleted");
}

static void CaseAccentedProgramFolder(CaseEnv *e)
{
    // An unquoted program path with a byte over 0x7F: the name ends at the blank.
    std::string folder = ShortPath(e->root) + "\\d\xe9p";
    std::string program = folder + "\\velmora-notes.exe";
    MakeFolder(folder);
    ok(CopyFileA(e->program.c_str(), program.c_str(), FALSE) &&
           CopyFileA((e->programDir + "\\nNOTES.dll").c_str(),
                     (folder + "\\nNOTES.dll").c_str(), FALSE),
       "program copied to %s", folder.c_str());
    std::string job = WritePlainJob(*e);
    RunResult r = Run(program + " " + job);
    expect_outcome(r);
    ok(!FileExists(job), "the job file is deleted");
    ok(FileExists(NoteRecordPath(*e, 1)), "the memo is saved");
    same_lines(NotesIni(*e), {"$Velmora.closeNotes=" + ShortPath(program)}, "notes.ini");
}

static void CaseBodyLines(CaseEnv *e)
{
    // The body-line table (tests/rule_tables.h): the lines the stand-in library stored,
    // each indented by two blanks in the memo's record.
    Job f = PlainJob(*e);
    f.documentName = "";
    std::string job = e->jobDir + "\\memo job.tmp";
    for (size_t i = 0; i < sizeof BodyRows / sizeof BodyRows[0]; ++i) {
        const BodyRow &row = BodyRows[i];
        std::string expected = "\r\nBody:\r\n";
        for (size_t k = 0; k < 4 && row.lines[k] != nullptr; ++k)
            expected += std::string("  ") + row.lines[k] + "\r\n";
        f.body = row.body;
        WriteJobFile(job, f);
        ForgetRun(*e);
        RunResult r = Run(SendCommand(*e, job));
        expect_outcome(r);
        std::string record;
        ReadBytes(NoteRecordPath(*e, (int)i + 1), &record);
        size_t at = record.find("\r\nBody:\r\n");
        size_t end = record.find("$FILE:", at);
        same_text(at == std::string::npos ? record : record.substr(at, end - at), expected,
                  ("the body of " + Escaped(row.body)).c_str());
        EndStartedClients(*e);
    }
}

static void CaseSendsAtOnce(CaseEnv *e)
{
    // Sixteen runs saving at the same time each keep their own memo.  The stand-in
    // library lets the sixteen saves go on together.
    enum { SENDS = 16 };
    SetEnv("NNOTES_SAVE_GATE", "16");
    Job f = PlainJob(*e);
    std::vector<std::string> jobs, lines;
    for (int i = 1; i <= SENDS; ++i) {
        f.documentName = "Devis " + std::to_string(i);
        jobs.push_back(e->jobDir + "\\memo job " + std::to_string(i) + ".tmp");
        ok(WriteJobFile(jobs.back(), f), "job %d written", i);
        lines.push_back(SendCommand(*e, jobs.back()));
    }
    std::vector<RunResult> runs = RunAllAndAnswer(lines, 60000);
    SetEnv("NNOTES_SAVE_GATE", NULL);

    std::vector<std::string> subjects;
    for (int i = 1; i <= SENDS; ++i) {
        expect_outcome(runs[(size_t)i - 1]);
        ok(!FileExists(jobs[(size_t)i - 1]), "job %d is deleted", i);
        std::vector<std::string> record = FileLines(NoteRecordPath(*e, i));
        for (size_t l = 0; l < record.size(); ++l) {
            if (record[l].compare(0, 9, "Subject: ") == 0)
                subjects.push_back(record[l]);
        }
    }
    std::sort(subjects.begin(), subjects.end());
    subjects.erase(std::unique(subjects.begin(), subjects.end()), subjects.end());
    ok(subjects.size() == SENDS && !FileExists(NoteRecordPath(*e, SENDS + 1)),
       "%d different memos are stored, one per send", (int)subjects.size());
    ok(CountCalls(*e, "SaveNote -> 0") == SENDS, "every run saves its memo");
    std::vector<std::string> events = ClientEvents(e->clientLog);
    int starts = (int)std::count(events.begin(), events.end(), ExpectedClientStart(*e));
    ok(starts == SENDS, "every run starts the client: %d starts", starts);
}

static void CaseSettingsIn64BitView(CaseEnv *e)
{
    // Settings written by a 64-bit tool: on 64-bit Windows a 32-bit program sees them
    // only in the 64-bit view.
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    RemoveSettingsKey();
    bool set = SetSettingsValue("LN_Appli", e->client.c_str(), KEY_WOW64_64KEY) &&
               SetSettingsValue("LN_Base", e->database.c_str(), KEY_WOW64_64KEY);
    if (ok(wow64 && set && !HasSettingsValue("LN_Appli") && !HasSettingsValue("LN_Base"),
           "a 64-bit system, with the settings in its 64-bit view only")) {
        ExpectPlainJobSent(*e);
    }
    RemoveSettingsKey(KEY_WOW64_64KEY);
}

// Points the settings at a copy of the client and a database that live where `folder`
// is, and makes them the case's.
static bool MoveInstallation(CaseEnv *e, const std::string &folder)
{
    std::string client = folder + "\\notes-client.exe", database = folder + "\\Velmora.nsf";
    bool moved = MakeFolder(folder) &&
                 (FileExists(client) || CopyFileA(e->client.c_str(), client.c_str(), FALSE)) &&
                 WriteBytes(database, "stand-in database\r\n") &&
                 SetSettingsValue("LN_Appli", client.c_str()) &&
                 SetSettingsValue("LN_Base", database.c_str());
    e->client = client;
    e->database = database;
    e->clientShort = ShortPath(client);
    e->databaseShort = ShortPath(database);
    return ok(moved, "client and database laid out in %s", folder.c_str());
}

static void CaseLaunchLineQuoted(CaseEnv *e)
{
    // A folder of 51 levels named "a b", whose short form, every level longer than its
    // name ("AB~1" on Windows), does not fit in MAX_PATH: the program keeps the long
    // paths, and the launch line must quote them.
    std::string folder = e->root;
    while (folder.size() + 4 + 17 <= 259)
        folder += "\\a b";
    if (!MoveInstallation(e, folder))
        return;
    ok(e->clientShort == e->client && e->databaseShort == e->database,
       "the paths have no short form that fits: %s", e->clientShort.c_str());
    ExpectPlainJobSent(*e);
}

// Takes the 8.3 name away from a file or folder: NTFS, with the restore privilege.
// https://learn.microsoft.com/en-us/windows/win32/api/winbase/nf-winbase-setfileshortnamew
static bool StripShortName(const std::string &path)
{
    HANDLE token;
    TOKEN_PRIVILEGES privilege;
    privilege.PrivilegeCount = 1;
    privilege.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) {
        if (LookupPrivilegeValueA(NULL, "SeRestorePrivilege", &privilege.Privileges[0].Luid))
            AdjustTokenPrivileges(token, FALSE, &privilege, 0, NULL, NULL);
        CloseHandle(token);
    }
    HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_ALL, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bool stripped = SetFileShortNameW(h, L"") != 0;
    CloseHandle(h);
    return stripped;
}

static void CaseNoShortNames(CaseEnv *e)
{
    // A folder without 8.3 names, as on a volume made without them: the client's and
    // the database's paths keep their blanks, and the launch line quotes them.
    std::string folder = e->root + "\\Sans nom court";
    if (!MakeFolder(folder))
        return;
    std::string client = folder + "\\notes-client.exe";
    CopyFileA(e->client.c_str(), client.c_str(), FALSE);
    ok(StripShortName(folder) && StripShortName(client),
       "the 8.3 names of %s and its client taken away: error %lu", folder.c_str(),
       GetLastError());
    if (!MoveInstallation(e, folder))
        return;
    ok(e->clientShort.find(' ') != std::string::npos, "the client's path keeps a blank: %s",
       e->clientShort.c_str());
    ExpectPlainJobSent(*e);
}

// The cases of this file, each named here only, with what it needs of the machine
// (tests/e2e/case_runner.h).
static const CaseEntry Cases[] = {
    {"client_not_running", CaseClientNotRunning},
    {"job_gone_at_client_start", CaseJobGoneAtClientStart},
    {"client_busy_then_free", CaseClientBusyThenFree},
    {"database_window_closes", CaseDatabaseWindowCloses},
    {"database_window_stays", CaseDatabaseWindowStays},
    // The memo's send-to and subject are stored in the OEM code page.
    {"stored_note", CaseStoredNote, 1252, 850},
    {"body_lines", CaseBodyLines},
    {"accented_program_folder", CaseAccentedProgramFolder},
    {"sends_at_once", CaseSendsAtOnce},
    {"launch_line_quoted", CaseLaunchLineQuoted},
    // What Wine cannot show.
    {"no_short_names", CaseNoShortNames, 1252, 0, NEEDS_WINDOWS},
    {"settings_in_64bit_view", CaseSettingsIn64BitView, 1252, 0, NEEDS_64BIT_WINDOWS},
};
extern const CaseList SendCases = {Cases, sizeof Cases / sizeof Cases[0]};
