// The end-to-end cases and what they share.
#pragma once

#include "tests/e2e/case_env.h"
#include "tests/e2e/check.h"
#include "tests/e2e/expected_texts.h"
#include "tests/e2e/files.h"
#include "tests/e2e/job_writer.h"

// Checks that a run ended by itself with exit code 0 after showing exactly the
// boxes with these texts, in this order, each with the program's caption.
void ExpectOutcomeAt(const char *file, int line, const RunResult &r,
                     const std::vector<std::string> &texts);
#define expect_outcome(r, ...) ExpectOutcomeAt(__FILE__, __LINE__, (r), {__VA_ARGS__})

// A job whose main attachment exists: "<jobDir>\Devis 17.pdf".
JobFields PlainJob(const CaseEnv &e);

// Writes PlainJob to "<jobDir>\memo job.tmp" and returns the path.
std::string WritePlainJob(const CaseEnv &e);

// The client events of the clients the program started.
std::vector<std::string> StartedClientEvents(const CaseEnv &e);

// The start line a client started by the program must log.
std::string ExpectedClientStart(const CaseEnv &e);

typedef void CaseFunction(CaseEnv *e);

// Start-up and close mode.
CaseFunction CaseRuntimeFails, CaseCloseModeNothingRunning, CaseBlankTails, CaseUnclosedQuote,
    CaseCloseDatabaseWindow, CaseCloseGrandchildWindow, CaseCloseNoDatabaseWindow;

// Send mode.
CaseFunction CaseNotInstalled, CaseJobLocked, CaseJobUnreadable, CaseDatabaseMissing,
    CaseNoteNotCreated, CaseAttachmentsFail, CaseClientNotRunning, CaseJobGoneAtClientStart,
    CaseClientBusyThenFree, CaseClientBusyTooLong, CaseDatabaseWindowCloses,
    CaseDatabaseWindowStays, CaseStoredNote, CaseDirectSendFlag, CaseQuoteThenJob,
    CaseAccentedProgramFolder;
