// What the program must survive around the job: expansions and body lines past
// 16-bit lengths, attachments that are not there, registry values without their NUL
// or naming folders, very long window titles, and a Notes library that refuses
// everything.
#include "tests/e2e/case_runner.h"
#include "tests/rule_tables.h"

static std::string Repeated(const std::string &s, size_t times)
{
    std::string out;
    for (size_t i = 0; i < times; ++i)
        out += s;
    return out;
}

// The longest name a job holds, A to Z over and over: pieces of an expansion show where
// they were cut.
static std::string LongDocumentName()
{
    std::string name;
    for (int i = 0; i < JOB_TEXT_SLOT - 1; ++i)
        name += (char)('A' + i % 26);
    return name;
}

static std::string Folder(const std::string &path)
{
    return path.substr(0, path.rfind('\\'));
}

static void ForgetMemos(const CaseEnv &e)
{
    DeleteTree(e.nnotesDir + "\\notes");
}

// The calls.log lines of one operation.
static std::vector<std::string> CallsOf(const CaseEnv &e, const std::string &operation)
{
    std::vector<std::string> calls = Calls(e), of;
    for (size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].compare(0, operation.size() + 1, operation + " ") == 0)
            of.push_back(calls[i]);
    }
    return of;
}

static std::string SetTextCall(const std::string &item, const std::string &text)
{
    return "SetTextItem note=2 item=\"" + item + "\" text=\"" + Escaped(text) +
           "\" length=65535 -> 0";
}

// Sends `f` as the job file `job` with no trace of an earlier run left: no calls.log,
// no memo, no client.
static RunResult SendAfresh(const CaseEnv &e, const std::string &job, const Job &f)
{
    ForgetRun(e);
    ForgetMemos(e);
    EndStartedClients(e);
    WriteJobFile(job, f);
    return Run(SendCommand(e, job));
}

static void CaseLongExpansions(CaseEnv *e)
{
    // 51 placeholders fill a 256-byte slot; with a 255-character name each text
    // becomes 13,005 characters.  A name made of placeholders is not expanded again.
    const int most = (JOB_TEXT_SLOT - 1) / 5;
    const std::string names[] = {LongDocumentName(), Repeated("[DOC]", most)};
    for (int i = 0; i < 2; ++i) {
        Job f = PlainJob(*e);
        KeptFile attachment = KeepFile(f.attachment);
        f.documentName = names[i];
        f.sendTo = Repeated("[DOC]", most);
        f.subject = Repeated("[doc]", most);
        std::string job = e->jobDir + "\\memo job.tmp";
        RunResult r = SendAfresh(*e, job, f);
        expect_outcome(r);
        std::string expansion = Repeated(names[i], most);
        ok(expansion.size() == (size_t)most * (JOB_TEXT_SLOT - 1), "the expansion has %u characters",
           (unsigned)expansion.size());
        same_lines(CallsOf(*e, "SetTextItem"),
                   {SetTextCall("Form", "Document"), SetTextCall("SendTo", expansion),
                    SetTextCall("Subject", expansion)},
                   "calls.log: the texts written whole");
        std::string record;
        ReadBytes(NoteRecordPath(*e, 1), &record);
        ok(record.find("\r\nSendTo: " + expansion + "\r\nSubject: " + expansion + "\r\n") !=
               std::string::npos, "name %d: the memo holds both expansions whole", i + 1);
        ok(!FileExists(job), "name %d: the job file is deleted", i + 1);
        expect_kept(attachment, "the attachment");
        ExpectHandedOver(*e);
    }
}

static void CaseLongBodyLines(CaseEnv *e)
{
    // A body line past 65,535 bytes goes in consecutive pieces of at most 65,535.
    std::string name = LongDocumentName();
    struct Body {
        const char *what;
        std::string text;                   // the template
        std::vector<std::string> lines;     // its expansion, line by line
    };
    const Body bodies[] = {
        {"a 104,295-byte line and a short one (2,047-byte template)",
         Repeated("[DOC]", 409) + "\rZ", {Repeated(name, 409), "Z"}},
        {"a line of exactly 65,535 bytes", Repeated("[DOC]", 257) + "\r\nfin",
         {Repeated(name, 257), "fin"}},
        {"a line of 65,536 bytes", Repeated("[DOC]", 257) + "x", {Repeated(name, 257) + "x"}},
    };
    for (size_t i = 0; i < sizeof bodies / sizeof bodies[0]; ++i) {
        Job f = PlainJob(*e);
        KeptFile attachment = KeepFile(f.attachment);
        f.documentName = name;
        f.body = bodies[i].text;
        std::string job = e->jobDir + "\\memo job.tmp";
        RunResult r = SendAfresh(*e, job, f);
        expect_outcome(r);

        std::vector<std::string> appends;
        std::string stored = "\r\nBody:\r\n";
        unsigned long length = 0;
        for (size_t l = 0; l < bodies[i].lines.size(); ++l) {
            const std::string &line = bodies[i].lines[l];
            for (size_t at = 0; at < line.size(); at += 65535) {
                std::string piece = line.substr(at, 65535);
                appends.push_back("AppendBodyLine body=3 length=" + std::to_string(length) +
                                  " line=\"" + Escaped(piece) + "\" lineLength=" +
                                  std::to_string(piece.size()) + " -> 0 length=" +
                                  std::to_string(length + piece.size() + 2));
                length += piece.size() + 2;
                stored += "  " + piece + "\r\n";
            }
        }
        same_lines(CallsOf(*e, "AppendBodyLine"), appends, bodies[i].what);
        same_lines(CallsOf(*e, "AddBodyToNote"),
                   {"AddBodyToNote note=2 body=3 length=" + std::to_string(length) +
                    " reserved=NULL -> 0"},
                   "calls.log: the body is added with its whole length");
        std::string record;
        ReadBytes(NoteRecordPath(*e, 1), &record);
        ok(record.find(stored + "$FILE: ") != std::string::npos,
           "%s: the stored body holds the pieces in order", bodies[i].what);
        ok(!FileExists(job), "%s: the job file is deleted", bodies[i].what);
        expect_kept(attachment, bodies[i].what);
        ExpectHandedOver(*e);
    }
}

static void CaseAttachmentsMissing(CaseEnv *e)
{
    Job f = PlainJob(*e);
    f.attachment = "";
    std::string present = e->jobDir + "\\present.txt";
    f.extras.push_back(e->jobDir + "\\absent.pdf");
    f.extras.push_back(e->root + "\\no such folder\\gone.txt");
    f.extras.push_back(e->jobDir);
    f.extras.push_back(e->jobDir + "\\");
    f.extras.push_back(present);
    f.extras.push_back(e->jobDir + "\\absent.pdf");
    WriteBytes(present, "present\r\n");
    KeptFile kept = KeepFile(present);
    std::string job = e->jobDir + "\\memo job.tmp";
    WriteJobFile(job, f);

    RunResult r = Run(SendCommand(*e, job));
    expect_outcome(r, TextAttach, TextAttach, TextAttach, TextAttach, TextAttach, TextAttach);
    ok(CountCalls(*e, "AttachFile -> 261") == 6 && CountCalls(*e, "AttachFile -> 0") == 1 &&
           CountCalls(*e, "SaveNote -> 0") == 1,
       "seven attachments tried, one attached, the memo saved once");
    std::string record;
    ReadBytes(NoteRecordPath(*e, 1), &record);
    ok(record.find("\r\n$FILE: present.txt <- " + present + "\r\n  copy: note-1.files\\1-present.txt"
                   "\r\n") != std::string::npos &&
           record.find("$FILE: ", record.find("$FILE: ") + 1) == std::string::npos,
       "the memo holds the one attachment that is there: %s", Escaped(record).c_str());
    ok(!FileExists(job), "the job file is deleted");
    ok(FileExists(e->jobDir), "the folder named as an attachment is still there");
    expect_kept(kept, "the attachment that was there");
    ExpectHandedOver(*e);
}

// A client and a database at paths of 259 bytes, as long as a setting can hold.
static void MakeLongInstallation(const CaseEnv &e, std::string *client, std::string *database)
{
    *client = JobPathOfLength(Folder(e.client), 255) + ".exe";
    *database = JobPathOfLength(Folder(e.database), 255) + ".nsf";
    ok(CopyFileA(e.client.c_str(), client->c_str(), FALSE) &&
           WriteBytes(*database, "stand-in database\r\n"),
       "client and database at 259-byte paths");
}

static void CaseSettings(CaseEnv *e)
{
    // The settings table (tests/rule_tables.h); a padded value starts with a 259-byte
    // path that is there.  A refused row leaves the job and sends nothing; a row at the
    // limit sends through the installation at the long path.
    std::string longClient, longDatabase;
    MakeLongInstallation(*e, &longClient, &longDatabase);
    KeptFile attachment = KeepFile(PlainJob(*e).attachment);
    for (const SettingRow &row : SettingRows) {
        std::string what = SettingRowName(row), used[2];
        RemoveSettingsKey();
        bool set = true;
        for (int client = 1; client >= 0 && row.spoil != NO_KEY; --client) {
            const char *name = client ? "LN_Appli" : "LN_Base";
            bool spoiled = strcmp(row.value, name) == 0 || row.both;
            used[client] = spoiled && row.spoil == PADDED ? client ? longClient : longDatabase
                                                          : client ? e->client : e->database;
            if (!spoiled)
                set = SetSettingsValue(name, used[client].c_str()) && set;
            else if (row.spoil != VALUE_MISSING)
                set = SetSettingsBytes(name, row.binary ? REG_BINARY : REG_SZ,
                                       SettingBytes(row, used[client])) && set;
        }
        ok(set, "%s: settings written", what.c_str());
        KeptFile job = KeepFile(WritePlainJob(*e));
        ForgetRun(*e);
        ForgetMemos(*e);
        RunResult r = Run(SendCommand(*e, job.path));
        if (row.rule == REFUSED_NOT) {
            expect_outcome(r);
            std::string record;
            ReadBytes(NoteRecordPath(*e, 1), &record);
            ok(record.compare(0, 12 + ShortPath(used[0]).size(),
                              "database: " + ShortPath(used[0]) + "\r\n") == 0,
               "%s: the memo is saved in the database named", what.c_str());
            expect_client_start(*e, "start: " + ShortPath(used[1]) + " " + ShortPath(used[0]));
            EndStartedClients(*e);
            continue;
        }
        expect_outcome(r, TextNotInstalled);
        ok(CallSummary(*e) == InitAndEnd, "%s: the Notes runtime is only started and ended",
           what.c_str());
        expect_doctor_refusal(*e, row.doctorRule, row.value ? row.value : "");
        expect_kept(job, what.c_str());
        ok(!FileExists(e->clientLog), "%s: no Notes client is started", what.c_str());
    }
    expect_kept(attachment, "the attachment");
}

static void CaseSettingsNameFolders(CaseEnv *e)
{
    // Folders pass for an installation; the library refuses a folder as a database.
    Job plain = PlainJob(*e);
    KeptFile attachment = KeepFile(plain.attachment);
    const std::string databases[] = {Folder(e->database) + "\\", "C:\\"};
    for (int i = 0; i < 2; ++i) {
        SetSettingsValue("LN_Base", databases[i].c_str());
        std::string job = WritePlainJob(*e);
        ForgetRun(*e);
        RunResult r = Run(SendCommand(*e, job));
        expect_outcome(r, TextNoDatabase);
        same_lines(CallSummary(*e), {"InitNotesRuntime -> 0", "OpenDatabase -> 261",
                                     "EndNotesRuntime -> 0"},
                   "calls.log: the folder is no database");
        ok(!FileExists(job), "database %s: the job file is deleted", databases[i].c_str());
        ok(FileExists(databases[i]), "database %s: the folder is still there",
           databases[i].c_str());
        ok(!FileExists(e->clientLog), "database %s: no Notes client is started",
           databases[i].c_str());
    }

    // A client setting naming its folder: the memo is saved, the client cannot start.
    SetSettingsValue("LN_Base", e->database.c_str());
    SetSettingsValue("LN_Appli", Folder(e->client).c_str());
    std::string job = WritePlainJob(*e);
    ForgetRun(*e);
    RunResult r = Run(SendCommand(*e, job));
    expect_outcome(r);
    ok(FileExists(NoteRecordPath(*e, 1)), "the memo is saved");
    same_lines(LastCalls(*e, 2), {CloseVariableCall(e->programShort), "EndNotesRuntime -> 0"},
               "calls.log ends arming the close variable");
    ok(!FileExists(job), "the job file is deleted");
    ok(!FileExists(e->clientLog), "no Notes client is started from a folder");
    ok(FileExists(e->client), "the client's folder is left as it was");
    expect_kept(attachment, "the attachment");
}

static void CaseLongWindowTitles(CaseEnv *e)
{
    // Titles longer than the 256-byte buffer they are read into.
    std::string other = "Stock - Velmora - " + std::string(282, 'o');
    std::string database = "Velmora - " + std::string(290, 'n');
    if (ExpectCloseMode(e, "--window \"" + other + "\" --window \"" + database +
                               "\" --close-delay-ms 0", database.c_str()))
        ok(WaitForClientEvent(e->runningLog, "destroyed: " + database, 2000),
           "the database window goes");
}

static const char AllButInit[] =
    "EndNotesRuntime,SetClientVariable,OpenDatabase,CloseDatabase,CreateNote,CloseNote,"
    "SetTextItem,CreateBodyBuffer,AppendBodyLine,AddBodyToNote,AttachFile,SaveNote";

static void CaseAllOperationsFail(CaseEnv *e)
{
    if (!StartRunningClient(e, "--window \"Velmora - Velmora.nsf\" --close-delay-ms never"))
        return;
    std::string job = WritePlainJob(*e);
    const KeptFile attachment = KeepFile(PlainJob(*e).attachment);

    // Everything fails: the runtime does not start, nothing else is tried.
    SetEnv("NNOTES_FAIL", "*");
    KeptFile kept = KeepFile(job);
    RunResult r = Run(SendCommand(*e, job));
    expect_outcome(r, TextNotesInit);
    same_lines(CallSummary(*e), {"InitNotesRuntime -> 259"}, "send mode, all failing");
    expect_kept(kept, "the runtime failing");
    ForgetRun(*e);
    r = Run(QuotedProgram(*e));
    expect_outcome(r, TextNotesInit);
    same_lines(CallSummary(*e), {"InitNotesRuntime -> 259"}, "close mode, all failing");

    // Everything but the runtime's start fails.
    SetEnv("NNOTES_FAIL", AllButInit);
    ForgetRun(*e);
    r = Run(SendCommand(*e, job));
    expect_outcome(r, TextNoDatabase);
    same_lines(CallSummary(*e), {"InitNotesRuntime -> 0", "OpenDatabase -> 259",
                                 "EndNotesRuntime -> 259"},
               "send mode, all but InitNotesRuntime failing");
    ok(!FileExists(job), "the job file is deleted");
    ok(!FileExists(NoteRecordPath(*e, 1)), "no memo is saved");
    ok(!FileExists(e->clientLog), "no Notes client is started");

    same_lines(ClosesReceived(e), {}, "no send run closes the database window");

    // Close mode without a working library still closes the window.
    ForgetRun(*e);
    r = Run(QuotedProgram(*e));
    expect_outcome(r);
    same_lines(CallSummary(*e), {"InitNotesRuntime -> 0", "SetClientVariable -> 259",
                                 "EndNotesRuntime -> 259"},
               "close mode, all but InitNotesRuntime failing");
    same_lines(ClosesReceived(e), {"received WM_CLOSE: Velmora - Velmora.nsf"},
               "the database window gets WM_CLOSE");
    ok(!FileExists(e->nnotesDir + "\\notes.ini"), "no client variable is set");
    expect_kept(attachment, "the attachment");
}

static void CaseMemoOperationsFail(CaseEnv *e)
{
    // Everything after the note is made fails: one box per failure, then the
    // hand-over all the same.
    Job f = PlainJob(*e);
    f.extras.push_back(e->jobDir + "\\annexe.txt");
    WriteBytes(f.extras[0], "annexe\r\n");
    const KeptFile kept[] = {KeepFile(f.attachment), KeepFile(f.extras[0])};
    std::string job = e->jobDir + "\\memo job.tmp";
    WriteJobFile(job, f);
    SetEnv("NNOTES_FAIL", "SetTextItem,CreateBodyBuffer,AttachFile,SaveNote,CloseNote,"
                          "CloseDatabase,SetClientVariable,EndNotesRuntime");
    RunResult r = Run(SendCommand(*e, job));
    expect_outcome(r, TextCreateBody, TextAttach, TextAttach);
    same_lines(CallSummary(*e),
               {"InitNotesRuntime -> 0", "OpenDatabase -> 0", "CreateNote -> 0",
                "SetTextItem -> 259", "SetTextItem -> 259", "CreateBodyBuffer -> 259",
                "AttachFile -> 259", "AttachFile -> 259", "SaveNote -> 259", "CloseNote -> 259",
                "CloseDatabase -> 259", "SetClientVariable -> 259", "EndNotesRuntime -> 259"},
               "calls.log: every step tried once");
    ok(!FileExists(job), "the job file is deleted");
    ok(!FileExists(NoteRecordPath(*e, 1)), "no memo is saved");
    expect_client_start(*e, ExpectedClientStart(*e));   // all the same
    for (size_t k = 0; k < sizeof kept / sizeof kept[0]; ++k)
        expect_kept(kept[k], "every memo step failing");

    // The body lines and the body refused, and the second attachment.
    EndStartedClients(*e);
    SetEnv("NNOTES_FAIL", "AppendBodyLine,AddBodyToNote,AttachFile:2");
    WriteJobFile(job, f);
    ForgetRun(*e);
    r = Run(SendCommand(*e, job));
    expect_outcome(r, TextAddBody, TextAttach);
    std::string record;
    ReadBytes(NoteRecordPath(*e, 1), &record);
    ok(record.find("Body:") == std::string::npos &&
           record.find("$FILE: Devis 17.pdf <- " + f.attachment + "\r\n") != std::string::npos &&
           record.find("annexe.txt") == std::string::npos,
       "the memo holds the main attachment and no body: %s", Escaped(record).c_str());
    ok(!FileExists(job), "the job file is deleted");
    ExpectHandedOver(*e);
    for (size_t k = 0; k < sizeof kept / sizeof kept[0]; ++k)
        expect_kept(kept[k], "the body and an attachment failing");
}

// The cases of this file, each named here only, with what it needs of the machine
// (tests/e2e/case_runner.h).
static const CaseEntry Cases[] = {
    {"long_expansions", CaseLongExpansions},
    {"long_body_lines", CaseLongBodyLines},
    {"attachments_missing", CaseAttachmentsMissing},
    {"settings", CaseSettings},
    {"settings_name_folders", CaseSettingsNameFolders},
    {"long_window_titles", CaseLongWindowTitles},
    {"all_operations_fail", CaseAllOperationsFail},
    {"memo_operations_fail", CaseMemoOperationsFail},
};
extern const CaseList HostileRunCases = {Cases, sizeof Cases / sizeof Cases[0]};
