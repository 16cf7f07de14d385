// The end-to-end cases and what they share.
#pragma once

#include "testkit/wine/check.h"
#include "testkit/wine/files.h"
#include "testkit/wine/job_writer.h"
#include "tests/e2e/case_env.h"
#include "tests/expected_texts.h"

// Checks that a run ended by itself with exit code 0 after showing exactly the
// boxes with these texts, in this order, each with the program's caption.
void ExpectOutcomeAt(const char *file, int line, const RunResult &r,
                     const std::vector<std::string> &texts);
#define expect_outcome(r, ...) ExpectOutcomeAt(__FILE__, __LINE__, (r), {__VA_ARGS__})

// A job whose main attachment exists: "<jobDir>\Devis 17.pdf".
Job PlainJob(const CaseEnv &e);

// Writes PlainJob to "<jobDir>\memo job.tmp" and returns the path.
std::string WritePlainJob(const CaseEnv &e);

// The start line a client started by the program must log: the two paths as the
// settings gave them, shortened, each in quotes when it keeps a blank (none of the
// cases' paths ends in a backslash).
std::string ExpectedClientStart(const CaseEnv &e);
// A path as the launch line writes it.
std::string Launched(const std::string &path);

// calls.log summary of a run that only started and ended the Notes runtime.
extern const std::vector<std::string> InitAndEnd;

// The program's long path in quotes, a blank, and the job.
std::string SendCommand(const CaseEnv &e, const std::string &job);

// How many calls.log lines sum up (as by CallSummary) to `summary`.
int CountCalls(const CaseEnv &e, const std::string &summary);

// The last `n` lines of calls.log.
std::vector<std::string> LastCalls(const CaseEnv &e, size_t n);

// Deletes calls.log and the started client's log before the next run.
void ForgetRun(const CaseEnv &e);

// Ends the clients the program started, and any other under the client's folder,
// so that the next run starts from no client at all.
void EndStartedClients(const CaseEnv &e);

// The memo was saved and handed over with nothing running: the close variable names
// the program's short path and the client was started on the database.
void ExpectHandedOver(const CaseEnv &e);
// The first client the program started logged `start` ("start: <its command line>").
void ExpectClientStartAt(const char *file, int line, const CaseEnv &e, const std::string &start);
#define expect_client_start(e, start) ExpectClientStartAt(__FILE__, __LINE__, (e), (start))
// Sends WritePlainJob's job: no box, the job file deleted, the memo handed over.
RunResult ExpectPlainJobSent(const CaseEnv &e);

// A file the program must leave as it was: its path and its bytes before the run.
struct KeptFile {
    std::string path;
    std::string bytes;
};
KeptFile KeepFile(const std::string &path);
void ExpectKeptAt(const char *file, int line, const KeptFile &kept, const char *when);
#define expect_kept(kept, when) ExpectKeptAt(__FILE__, __LINE__, (kept), (when))

typedef void CaseFunction(CaseEnv *e);

// The WM_CLOSE events the running client has had, once it has handled everything.
std::vector<std::string> ClosesReceived(CaseEnv *e);

// Close mode with the running client started with `windows`: exit 0 and no box, the
// close variable cleared and WM_CLOSE posted to the window titled `closed` alone, or
// nothing touched when `closed` is NULL; no client started.  False when the client
// could not be started.
bool ExpectCloseMode(CaseEnv *e, const std::string &windows, const char *closed);

// The installation doctor's run, and what it printed.
struct DoctorRun {
    DWORD exitCode;
    std::string output;     // stdout and stderr
    std::string skipped;    // why it did not run as the user, when it could not
};
// Runs the doctor's command line with its output sent to a file of the case folder, as
// the user who sends mail (StartProgramAsUser), or with this process's own token.
DoctorRun RunDoctor(const CaseEnv &e, const std::string &commandLine, bool ownToken = false);
// The built doctor on the case's program, with `options`.
std::string DoctorCommand(const CaseEnv &e, const std::string &options);
// Checks the doctor's exit code and that its report holds each piece.
void ExpectReportAt(const char *file, int line, const DoctorRun &run, DWORD exitCode,
                    const std::vector<std::string> &pieces);
#define expect_report(run, exitCode, ...) \
    ExpectReportAt(__FILE__, __LINE__, (run), (exitCode), {__VA_ARGS__})
// The doctor says the program refuses the settings by `rule` for `value`.
void ExpectDoctorRefusalAt(const char *file, int line, const CaseEnv &e, const char *rule,
                           const char *value);
#define expect_doctor_refusal(e, rule, value) \
    ExpectDoctorRefusalAt(__FILE__, __LINE__, (e), (rule), (value))

// True when a case may open COM1 and LPT1: under Wine, and on Windows when asked
// (VELMORA_CHECK_DEVICES=1, check.cmd /devices), since a pilot machine's serial port may
// be a virtual machine's console.
bool CaseMayOpenDevices();
