// What the program must survive in the job and the path that names it: tails past
// MAX_PATH, texts that do not end in their slots, list counts that cannot be, files
// it cannot open.  Refused jobs show one box and leave the Notes runtime only
// started and ended; the job file goes or stays as the box says, attachments stay.
#include "tests/e2e/cases.h"

#include <stdio.h>
#include <string.h>

// A path of exactly `length` bytes: `folder`, a backslash and a name made of `fill`.
static std::string PathOfLength(const std::string &folder, const std::string &start,
                                char fill, size_t length)
{
    std::string path = folder + "\\" + start;
    return path + std::string(length > path.size() ? length - path.size() : 0, fill);
}

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

void CaseLongTails(CaseEnv *e)
{
    // Each too-long path starts with a job that would be accepted, so a path cut
    // down to fit would send it.
    Job f = PlainJob(*e);
    KeptFile attachment = KeepFile(f.attachment);
    std::string p259 = PathOfLength(e->jobDir, "long job ", 'j', 259);
    std::string p260 = p259 + "k";
    std::string folder = PathOfLength(e->jobDir, "folder ", 'd', 200);
    std::string p300 = PathOfLength(folder, "job ", 'm', 300);
    MakeFolder(folder);
    bool written = WriteJobFile(p259, f) && WriteJobFile(p260, f) && WriteJobFile(p300, f) &&
                   WriteJobFile(p300.substr(0, 259), f);
    if (!ok(written && p259.size() == 259 && p300.size() == 300, "long job paths written"))
        return;
    const KeptFile jobs[] = {KeepFile(p259), KeepFile(p260), KeepFile(p300),
                             KeepFile(p300.substr(0, 259))};

    struct Tail {
        const char *what;
        std::string tail;
    };
    const Tail refused[] = {
        {"a 260-byte path", p260},
        {"a 260-byte path in quotes", "\"" + p260 + "\""},
        {"an opening quote and a 260-byte path", "\"" + p260},
        {"a 259-byte path and a trailing blank", p259 + " "},
        {"a 300-byte path", p300},
        {"a 32,000-byte tail", PathOfLength(e->jobDir, "x", 'x', 32000)},
    };
    for (size_t i = 0; i < sizeof refused / sizeof refused[0]; ++i) {
        ForgetRun(*e);
        RunResult r = Run(SendCommand(*e, refused[i].tail));
        expect_refused(*e, r, TextOpenJob, refused[i].what);
        for (size_t j = 0; j < sizeof jobs / sizeof jobs[0]; ++j)
            expect_kept(jobs[j], refused[i].what);
    }
    ok(!FileExists(NoteRecordPath(*e, 1)), "no memo is made from a refused tail");

    // The path fits once the quotes are gone.
    const Tail accepted[] = {
        {"a 259-byte path", p259},
        {"a 260-byte tail: an opening quote and a 259-byte path", "\"" + p259},
        {"a 261-byte tail: a 259-byte path in quotes", "\"" + p259 + "\""},
    };
    for (size_t i = 0; i < sizeof accepted / sizeof accepted[0]; ++i) {
        ForgetRun(*e);
        EndStartedClients(*e);
        WriteJobFile(p259, f);
        RunResult r = Run(SendCommand(*e, accepted[i].tail));
        expect_outcome(r);
        ok(!FileExists(p259), "%s: the job file is deleted", accepted[i].what);
        ok(FileExists(NoteRecordPath(*e, (int)i + 1)), "%s: memo %d is saved",
           accepted[i].what, (int)i + 1);
        std::vector<std::string> events = StartedClientEvents(*e);
        ok(!events.empty() && events[0] == ExpectedClientStart(*e),
           "%s: the Notes client is started", accepted[i].what);
    }
    expect_kept(jobs[1], "after the accepted runs");
    expect_kept(attachment, "after every run");
}

// PlainJob with two extra attachments that exist.
static Job JobWithTwoExtras(const CaseEnv &e)
{
    Job f = PlainJob(e);
    f.extras.push_back(e.jobDir + "\\annexe 1.txt");
    f.extras.push_back(e.jobDir + "\\annexe 2.txt");
    WriteBytes(f.extras[0], "annexe 1\r\n");
    WriteBytes(f.extras[1], "annexe 2\r\n");
    return f;
}

void CaseHeaderSlotsFull(CaseEnv *e)
{
    // Each text keeps its real start and is padded to the end of its slot, so that
    // a reader going on to the next NUL would find a plausible text.
    Job f = JobWithTwoExtras(*e);
    const KeptFile kept[] = {KeepFile(f.attachment), KeepFile(f.extras[0]),
                             KeepFile(f.extras[1])};

    struct Slot {
        const char *what;
        std::string *text;      // in `padded`, a copy of f
        size_t size;
        char pad;
    };
    Job padded = f;
    const Slot slots[] = {
        {"a subject filling its slot", &padded.subject, JOB_TEXT_SLOT, 'S'},
        {"a body filling its slot", &padded.body, JOB_BODY_SLOT, '\xff'},
        {"an attachment path filling its slot", &padded.attachment, JOB_TEXT_SLOT, 'A'},
        {"a document name filling its slot", &padded.documentName, JOB_TEXT_SLOT, '\xe9'},
        {"a send-to filling its slot", &padded.sendTo, JOB_TEXT_SLOT, ';'},
        {"the first extra slot filled", &padded.extras[0], JOB_EXTRA_SLOT, 'x'},
        {"the last extra slot filled", &padded.extras[1], JOB_EXTRA_SLOT, '\x01'},
    };
    std::string job = e->jobDir + "\\memo job.tmp";
    for (size_t i = 0; i < sizeof slots / sizeof slots[0]; ++i) {
        std::string text = *slots[i].text;
        slots[i].text->resize(slots[i].size, slots[i].pad);
        ForgetRun(*e);
        WriteJobFile(job, padded, Unchecked());
        *slots[i].text = text;
        RunResult r = Run(SendCommand(*e, job));
        expect_refused(*e, r, TextReadJob, slots[i].what);
        ok(!FileExists(job), "%s: the job file is deleted", slots[i].what);
        for (size_t k = 0; k < sizeof kept / sizeof kept[0]; ++k)
            expect_kept(kept[k], slots[i].what);
    }
    ok(!FileExists(NoteRecordPath(*e, 1)), "no memo is made");
}

void CaseHeaderSlotsAtLimit(CaseEnv *e)
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
    f.attachment = PathOfLength(e->jobDir, "Devis ", 'p', text - 4) + ".pdf";
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

void CaseExtraCounts(CaseEnv *e)
{
    Job f = JobWithTwoExtras(*e);
    const KeptFile kept[] = {KeepFile(f.attachment), KeepFile(f.extras[0]),
                             KeepFile(f.extras[1])};
    struct Count {
        const char *what;
        DWORD count;
    };
    const DWORD overflowing = JOB_FIRST_OVERFLOWING_COUNT;
    const Count counts[] = {
        {"the first count whose list size overflows 32 bits", overflowing},
        {"one more, whose size wraps to one slot", overflowing + 1},
        {"two more, whose size wraps to the two slots present", overflowing + 2},
        {"0xFFFFFFFF slots", 0xFFFFFFFF},
        {"one less than the overflow, a list of almost 4 GB", overflowing - 1},
        {"0x00100000 slots, 256 MB the file does not hold", 0x00100000},
        {"1000 slots where the file holds 2", 1000},
    };
    std::string job = e->jobDir + "\\memo job.tmp";
    for (size_t i = 0; i < sizeof counts / sizeof counts[0]; ++i) {
        ForgetRun(*e);
        WriteJobFile(job, f, Unchecked(counts[i].count));
        RunResult r = Run(SendCommand(*e, job));
        expect_refused(*e, r, TextReadJob, counts[i].what);
        ok(r.elapsedMs < 5000, "%s: refused in %lu ms", counts[i].what, r.elapsedMs);
        ok(!FileExists(job), "%s: the job file is deleted", counts[i].what);
        for (size_t k = 0; k < sizeof kept / sizeof kept[0]; ++k)
            expect_kept(kept[k], counts[i].what);
    }
    ok(!FileExists(NoteRecordPath(*e, 1)), "no memo is made");
}

// Another process holding a file open: this program again, started with --hold-file.
struct Holder {
    HANDLE process;
    HANDLE ready;
    HANDLE release;
};

static bool StartHolder(Holder *h, const std::string &path, DWORD share)
{
    h->process = NULL;
    h->ready = CreateEventA(NULL, TRUE, FALSE, HolderReadyEvent);
    h->release = CreateEventA(NULL, TRUE, FALSE, HolderReleaseEvent);
    if (h->ready != NULL)
        ResetEvent(h->ready);
    if (h->release != NULL)
        ResetEvent(h->release);
    char shareText[16];
    sprintf(shareText, "%lu", share);
    std::string line = "\"" + OwnPath() + "\" --hold-file " + shareText + " \"" + path + "\"";
    PROCESS_INFORMATION process;
    if (!ok(h->ready != NULL && h->release != NULL && StartProgram(line, &process),
            "start the holder: %s", line.c_str()))
        return false;
    CloseHandle(process.hThread);
    h->process = process.hProcess;
    HANDLE waits[] = {h->ready, h->process};
    return ok(WaitForMultipleObjects(2, waits, FALSE, 10000) == WAIT_OBJECT_0,
              "the holder has the file open (share mode 0x%lX)", share);
}

// Lets the holder close the file; its exit code, 0 when it held the file throughout.
static DWORD EndHolder(Holder *h)
{
    DWORD code = 0xFFFFFFFF;
    if (h->release != NULL)
        SetEvent(h->release);
    if (h->process != NULL) {
        if (WaitForSingleObject(h->process, 10000) != WAIT_OBJECT_0)
            TerminateProcess(h->process, 0xDEAD);
        GetExitCodeProcess(h->process, &code);
        CloseHandle(h->process);
    }
    if (h->ready != NULL)
        CloseHandle(h->ready);
    if (h->release != NULL)
        CloseHandle(h->release);
    return code;
}

// Releases the holder `delayMs` after the run's Notes runtime has started, that is
// once the program is about to open the job.
struct TimedRelease {
    const CaseEnv *e;
    HANDLE release;
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
    SetEvent(t->release);
    return 0;
}

void CaseJobHeldOpen(CaseEnv *e)
{
    // A job held through the run is refused after the program has tried for about a
    // second; one let go a moment after the program first tried it is sent.
    enum { THROUGHOUT = 0xFFFFFFFF };
    const DWORD everything = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    struct Hold {
        const char *what;
        DWORD share;
        DWORD releaseMs;    // after the Notes runtime starts, or THROUGHOUT
    };
    const Hold holds[] = {
        {"held open by another process, not shared", 0, THROUGHOUT},
        {"held open by another process, shared for reading", FILE_SHARE_READ, THROUGHOUT},
        {"held open by another process, shared for everything", everything, THROUGHOUT},
        {"held open, not shared, for 300 ms", 0, 300},
    };
    KeptFile attachment = KeepFile(PlainJob(*e).attachment);
    for (size_t i = 0; i < sizeof holds / sizeof holds[0]; ++i) {
        std::string job = WritePlainJob(*e);
        KeptFile kept = KeepFile(job);
        ForgetRun(*e);
        Holder holder;
        if (!StartHolder(&holder, job, holds[i].share)) {
            EndHolder(&holder);
            return;
        }
        TimedRelease timed = {e, holder.release, holds[i].releaseMs};
        HANDLE releaser = holds[i].releaseMs == THROUGHOUT
                              ? NULL
                              : CreateThread(NULL, 0, ReleaseAfterRuntimeStarts, &timed, 0, NULL);
        RunResult r = Run(SendCommand(*e, job));
        if (releaser != NULL) {
            WaitForSingleObject(releaser, INFINITE);
            CloseHandle(releaser);
        }
        DWORD held = EndHolder(&holder);
        ok(held == 0, "%s: the holder kept the file open until released (exit %lu)",
           holds[i].what, held);
        if (holds[i].releaseMs == THROUGHOUT) {
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

void CaseJobPathIsFolder(CaseEnv *e)
{
    // An empty folder too: one opened for deletion on close would go.
    std::string job = WritePlainJob(*e);
    std::string empty = e->root + "\\Empty Folder";
    MakeFolder(empty);
    const KeptFile kept[] = {KeepFile(job), KeepFile(PlainJob(*e).attachment)};
    struct Tail {
        const char *what;
        std::string tail;
    };
    const Tail tails[] = {
        {"the job folder", e->jobDir},
        {"the job folder with a trailing backslash", e->jobDir + "\\"},
        {"the job folder in quotes", "\"" + e->jobDir + "\""},
        {"an empty folder", empty},
        {"an empty folder in quotes, backslash last", "\"" + empty + "\\\""},
        {"the root of C:", "C:\\"},
        {"a wildcard matching the job", e->jobDir + "\\*.tmp"},
    };
    for (size_t i = 0; i < sizeof tails / sizeof tails[0]; ++i) {
        ForgetRun(*e);
        RunResult r = Run(SendCommand(*e, tails[i].tail));
        expect_refused(*e, r, TextOpenJob, tails[i].what);
        ok(FileExists(empty) && FileExists(e->jobDir), "%s: the folders are still there",
           tails[i].what);
        for (size_t k = 0; k < sizeof kept / sizeof kept[0]; ++k)
            expect_kept(kept[k], tails[i].what);
    }
}

void CaseJobPathUnopenable(CaseEnv *e)
{
    // Files the program may not delete, and devices.
    std::string job = WritePlainJob(*e);
    std::string programDir = e->program.substr(0, e->program.rfind('\\'));
    SetFileAttributesA(job.c_str(), FILE_ATTRIBUTE_READONLY);
    const KeptFile kept[] = {KeepFile(job), KeepFile(e->program),
                             KeepFile(programDir + "\\nNOTES.dll"),
                             KeepFile(PlainJob(*e).attachment)};
    struct Tail {
        const char *what;
        std::string tail;
    };
    const Tail files[] = {
        {"a read-only job file", job},
        {"the running program itself", e->program},
        {"the Notes library it has loaded", programDir + "\\nNOTES.dll"},
    };
    for (size_t i = 0; i < sizeof files / sizeof files[0]; ++i) {
        ForgetRun(*e);
        RunResult r = Run(SendCommand(*e, files[i].tail));
        expect_refused(*e, r, TextOpenJob, files[i].what);
        for (size_t k = 0; k < sizeof kept / sizeof kept[0]; ++k)
            expect_kept(kept[k], files[i].what);
    }
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
