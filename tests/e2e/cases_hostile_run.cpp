// What the program must survive around the job: attachments that are not there,
// registry values without their NUL or naming folders, very long window titles, and a
// Notes library that refuses everything.  Expansions and body lines past 16-bit
// lengths are the memo's and the template's saved inputs (fuzz/corpus).
#include "tests/e2e/case_runner.h"
#include "tests/rule_tables.h"

static std::string Folder(const std::string &path)
{
    return path.substr(0, path.rfind('\\'));
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
        DeleteTree(e->nnotesDir + "\\notes");    // the memos of the row before
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
    {"attachments_missing", CaseAttachmentsMissing},
    {"settings", CaseSettings},
    {"settings_name_folders", CaseSettingsNameFolders},
    {"long_window_titles", CaseLongWindowTitles},
    {"all_operations_fail", CaseAllOperationsFail},
    {"memo_operations_fail", CaseMemoOperationsFail},
};
extern const CaseList HostileRunCases = {Cases, sizeof Cases / sizeof Cases[0]};
