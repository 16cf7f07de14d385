// What the program must survive in the job and the path that names it: tails past
// MAX_PATH, texts that do not end in their slots, list counts that cannot be, files
// it cannot open.  Refused jobs show one box and leave the Notes runtime only
// started and ended; the job file goes or stays as the box says, attachments stay.
#include "tests/e2e/case_runner.h"
#include "tests/rule_tables.h"

#include <stdio.h>
#include <string.h>

// The run refused the job with `text` alone, touched nothing in Notes and started
// no client.
static void ExpectRefusedAt(const char *file, int line, const CaseEnv &e, const RunResult &r,
                            const char *text, const char *what)
{
    int passed, failedBefore, failedAfter;
    CheckTotals(&passed, &failedBefore);
    ExpectOutcomeAt(file, line, r, {text});
    CheckTotals(&passed, &failedAfter);
    if (failedAfter > failedBefore)
        printf("  (the run above: %s)\n", what);
    std::vector<std::string> calls = CallSummary(e);
    OkAt(file, line, calls == InitAndEnd,
         "%s: the Notes runtime is only started and ended (%u calls)", what,
         (unsigned)calls.size());
    OkAt(file, line, !FileExists(e.clientLog), "%s: no Notes client is started", what);
}
#define expect_refused(e, r, text, what) ExpectRefusedAt(__FILE__, __LINE__, (e), (r), (text), (what))

static void CaseJobPaths(CaseEnv *e)
{
    // The job-path table (tests/rule_tables.h): every job is one that would be sent,
    // made at the row's path cut to 259 bytes, so a path cut down to fit would send it.
    Job f = PlainJob(*e);
    KeptFile attachment = KeepFile(f.attachment);
    int memos = 0;
    for (const JobPathRow &row : JobPathRows) {
        std::string path = JobPathOfLength(e->jobDir, row.length), cut = path.substr(0, 259);
        std::string what = row.before + std::string("a ") + std::to_string(path.size()) +
                           "-byte path" + row.after;
        if (!cut.empty())
            WriteJobFile(cut, f);
        KeptFile job = KeepFile(cut.empty() ? f.attachment : cut);
        ForgetRun(*e);
        EndStartedClients(*e);
        RunResult r = Run(SendCommand(*e, row.before + path + row.after));
        if (row.rule == REFUSED_NOT) {
            expect_outcome(r);
            ok(!FileExists(cut) && FileExists(NoteRecordPath(*e, ++memos)),
               "%s: the job is sent and deleted", what.c_str());
            continue;
        }
        expect_refused(*e, r, TextOpenJob, what.c_str());
        expect_kept(job, what.c_str());
        DeleteFileA(cut.c_str());
    }
    ok(!FileExists(NoteRecordPath(*e, memos + 1)), "no memo is made from a refused tail");
    expect_kept(attachment, "after every run");
}

static void CaseRefusedJobs(CaseEnv *e)
{
    // The job table's refused rows (tests/rule_tables.h), each made from a job that
    // would be sent: each text keeps its real start and is padded to the end of its
    // slot, so that a reader going on to the next NUL would find a plausible text.
    Job f = PlainJob(*e);
    f.extras = {e->jobDir + "\\annexe 1.txt", e->jobDir + "\\annexe 2.txt"};
    WriteBytes(f.extras[0], "annexe 1\r\n");
    WriteBytes(f.extras[1], "annexe 2\r\n");
    const KeptFile kept[] = {KeepFile(f.attachment), KeepFile(f.extras[0]),
                             KeepFile(f.extras[1])};
    std::string job = e->jobDir + "\\memo job.tmp";
    for (const JobRow &row : JobRows) {
        if (row.rule == REFUSED_NOT)
            continue;       // read: CaseHeaderSlotsAtLimit sends such a job whole
        ForgetRun(*e);
        WriteBytes(job, JobRowBytes(row, f));
        RunResult r = Run(SendCommand(*e, job));
        expect_refused(*e, r, TextReadJob, row.what);
        ok(r.elapsedMs < 5000, "%s: refused in %lu ms", row.what, r.elapsedMs);
        ok(!FileExists(job), "%s: the job file is deleted", row.what);
        for (size_t k = 0; k < sizeof kept / sizeof kept[0]; ++k)
            expect_kept(kept[k], row.what);
    }
    ok(!FileExists(NoteRecordPath(*e, 1)), "no memo is made");
}

static void CaseHeaderSlotsAtLimit(CaseEnv *e)
{
    // Every text one byte short of its slot, and the bytes after the flag, which are
    // not read, all 0xFF.
    const size_t text = JOB_TEXT_SLOT - 1, body = JOB_BODY_SLOT - 1;
    Job f;
    f.directSend = 0;
    for (size_t i = 0; i < text; ++i)
        f.documentName += (char)('A' + i % 26);
    f.subject = std::string(text - 5, 's') + "[DOC]";
    f.body = std::string(1000, 'b') + "\r\n" + std::string(body - 1002, 'c');
    f.sendTo = "chef@zabrel.fr; " + std::string(text - 16, 't');
    f.attachment = JobPathOfLength(e->jobDir, text - 4) + ".pdf";
    WriteBytes(f.attachment, "%PDF-1.4 limite\n");
    KeptFile attachment = KeepFile(f.attachment);
    std::string bytes = velmora_job::EncodeJob(f);
    bytes.replace(offsetof(JobHeader, unused), JOB_UNREAD_SIZE, JOB_UNREAD_SIZE, '\xff');
    std::string job = e->jobDir + "\\memo job.tmp";
    WriteBytes(job, bytes);
    ok(f.subject.size() == text && f.body.size() == body && f.sendTo.size() == text &&
           f.attachment.size() == text && f.documentName.size() == text,
       "every text is one byte short of its slot");

    RunResult r = Run(SendCommand(*e, job));
    expect_outcome(r);
    ok(!FileExists(job), "the job file is deleted");
    ExpectHandedOver(*e);
    std::string record;
    ReadBytes(NoteRecordPath(*e, 1), &record);
    std::string name = f.attachment.substr(e->jobDir.size() + 1);
    const std::string expected[] = {
        "\r\nSendTo: " + f.sendTo + "\r\n",
        "\r\nSubject: " + std::string(text - 5, 's') + f.documentName + "\r\n",
        "\r\nBody:\r\n  " + std::string(1000, 'b') + "\r\n  " + std::string(body - 1002, 'c') +
            "\r\n",
        "\r\n$FILE: " + name + " <- " + f.attachment + "\r\n",
    };
    for (size_t i = 0; i < sizeof expected / sizeof expected[0]; ++i)
        ok(record.find(expected[i]) != std::string::npos, "the memo holds %s",
           Escaped(expected[i].substr(2, 40)).c_str());
    ok(record.find("Velmora_DirectSend") == std::string::npos,
       "the bytes after the flag do not make it a direct send");
    expect_kept(attachment, "the attachment");
}

// Lets go of the job `delayMs` after the run's Notes runtime has started, that is once
// the program is about to open it.
struct TimedRelease {
    const CaseEnv *e;
    HANDLE held;
    DWORD delayMs;
};

static DWORD WINAPI ReleaseAfterRuntimeStarts(void *param)
{
    const TimedRelease *t = (const TimedRelease *)param;
    for (DWORD waited = 0; waited < 30000; waited += 5) {
        std::vector<std::string> calls = CallSummary(*t->e);
        if (!calls.empty() && calls[0] == "InitNotesRuntime -> 0")
            break;
        Sleep(5);
    }
    Sleep(t->delayMs);
    CloseHandle(t->held);
    return 0;
}

static void CaseJobHeldOpen(CaseEnv *e)
{
    // A job held through the run is refused after the program has tried for about a
    // second; one let go a moment after the program first tried it is sent.  This
    // process holds it: an open is held to the share mode of every handle open on the
    // file, whichever process holds it.
    // https://learn.microsoft.com/en-us/windows/win32/api/fileapi/nf-fileapi-createfilea
    enum { THROUGHOUT = 0xFFFFFFFF };
    const DWORD everything = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    struct Hold {
        const char *what;
        DWORD share;
        DWORD releaseMs;    // after the Notes runtime starts, or THROUGHOUT
    };
    const Hold holds[] = {
        {"held open, not shared", 0, THROUGHOUT},
        {"held open, shared for reading", FILE_SHARE_READ, THROUGHOUT},
        {"held open, shared for everything", everything, THROUGHOUT},
        {"held open, not shared, for 300 ms", 0, 300},
    };
    KeptFile attachment = KeepFile(PlainJob(*e).attachment);
    for (size_t i = 0; i < sizeof holds / sizeof holds[0]; ++i) {
        std::string job = WritePlainJob(*e);
        KeptFile kept = KeepFile(job);
        ForgetRun(*e);
        HANDLE held = CreateFileA(job.c_str(), GENERIC_READ, holds[i].share, NULL,
                                  OPEN_EXISTING, 0, NULL);
        if (!ok(held != INVALID_HANDLE_VALUE, "%s: the job is held", holds[i].what))
            return;
        TimedRelease timed = {e, held, holds[i].releaseMs};
        HANDLE releaser = holds[i].releaseMs == THROUGHOUT
                              ? NULL
                              : CreateThread(NULL, 0, ReleaseAfterRuntimeStarts, &timed, 0, NULL);
        RunResult r = Run(SendCommand(*e, job));
        if (releaser != NULL) {
            WaitForSingleObject(releaser, INFINITE);
            CloseHandle(releaser);
        }
        if (holds[i].releaseMs == THROUGHOUT) {
            CloseHandle(held);
            expect_refused(*e, r, TextOpenJob, holds[i].what);
            ok(r.elapsedMs >= 800 && r.elapsedMs <= 5000,
               "%s: refused after about a second of tries, in %lu ms", holds[i].what,
               r.elapsedMs);
            expect_kept(kept, holds[i].what);
        } else {
            expect_outcome(r);
            ok(!FileExists(job), "%s: the job file is deleted", holds[i].what);
            ExpectHandedOver(*e);
        }
        expect_kept(attachment, holds[i].what);
    }
}

struct Tail {
    const char *what;
    std::string tail;
};

// Each tail refused with box 8, the job folder and `folder` still there and the `kept`
// files as they were.
static void ExpectTailsRefused(const CaseEnv &e, const std::vector<Tail> &tails,
                               const std::vector<KeptFile> &kept, const std::string &folder)
{
    for (const Tail &t : tails) {
        ForgetRun(e);
        RunResult r = Run(SendCommand(e, t.tail));
        expect_refused(e, r, TextOpenJob, t.what);
        ok(FileExists(folder) && FileExists(e.jobDir), "%s: the folders are still there", t.what);
        for (const KeptFile &k : kept)
            expect_kept(k, t.what);
    }
}

static void CaseJobPathIsFolder(CaseEnv *e)
{
    // An empty folder too: one opened for deletion on close would go.
    std::string job = WritePlainJob(*e), empty = e->root + "\\Empty Folder";
    MakeFolder(empty);
    ExpectTailsRefused(*e, {
        {"the job folder", e->jobDir},
        {"the job folder with a trailing backslash", e->jobDir + "\\"},
        {"the job folder in quotes", "\"" + e->jobDir + "\""},
        {"an empty folder", empty},
        {"an empty folder in quotes, backslash last", "\"" + empty + "\\\""},
        {"the root of C:", "C:\\"},
        {"a wildcard matching the job", e->jobDir + "\\*.tmp"},
    }, {KeepFile(job), KeepFile(PlainJob(*e).attachment)}, empty);
}

static void CaseJobPathUnopenable(CaseEnv *e)
{
    // Files the program may not delete or that are not there, and devices.
    std::string job = WritePlainJob(*e), library = e->programDir + "\\nNOTES.dll";
    SetFileAttributesA(job.c_str(), FILE_ATTRIBUTE_READONLY);
    ExpectTailsRefused(*e, {
        {"a read-only job file", job},
        {"a job file that is not there", e->jobDir + "\\no such job.tmp"},
        {"the running program itself", e->program},
        {"the Notes library it has loaded", library},
    }, {KeepFile(job), KeepFile(e->program), KeepFile(library),
        KeepFile(PlainJob(*e).attachment)}, e->jobDir);
    DWORD attributes = GetFileAttributesA(job.c_str());
    ok(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY),
       "the job file is still read-only: 0x%lX", attributes);
    SetFileAttributesA(job.c_str(), FILE_ATTRIBUTE_NORMAL);

    // A device either cannot be opened for deletion or reads as no job: one box
    // either way, and no wait on a device that never answers.
    const char *devices[] = {"NUL", "CON", "CONIN$", "COM1", "LPT1", "\\\\.\\NUL"};
    for (size_t i = 0; i < sizeof devices / sizeof devices[0]; ++i) {
        if ((strcmp(devices[i], "COM1") == 0 || strcmp(devices[i], "LPT1") == 0) &&
            !CaseMayOpenDevices()) {
            printf("%s: %s left out (check.cmd /devices opens it)\n", g_caseName, devices[i]);
            continue;
        }
        ForgetRun(*e);
        RunResult r = Run(SendCommand(*e, devices[i]));
        bool oneBox = r.boxes.size() == 1 &&
                      (r.boxes[0].text == TextOpenJob || r.boxes[0].text == TextReadJob);
        ok(oneBox, "device %s: one box, the job not opened or not read (%u boxes)", devices[i],
           (unsigned)r.boxes.size());
        ok(!r.hung && r.exitCode == 0, "device %s: ends by itself with exit code 0 (%lu)",
           devices[i], r.exitCode);
        ok(CallSummary(*e) == InitAndEnd, "device %s: the Notes runtime is only started and ended",
           devices[i]);
    }
}

// The cases of this file, each named here only, with what it needs of the machine
// (tests/e2e/case_runner.h).
static const CaseEntry Cases[] = {
    {"job_paths", CaseJobPaths},
    {"refused_jobs", CaseRefusedJobs},
    {"header_slots_at_limit", CaseHeaderSlotsAtLimit},
    {"job_held_open", CaseJobHeldOpen},
    {"job_path_is_folder", CaseJobPathIsFolder},
    {"job_path_unopenable", CaseJobPathUnopenable},
};
extern const CaseList HostileJobCases = {Cases, sizeof Cases / sizeof Cases[0]};
