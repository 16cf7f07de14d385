// velmora-e2e.exe: the end-to-end tests.  Runs the real program with exact command
// lines against the stand-in Notes library and client, one case at a time, each in
// a fresh folder.  With arguments, runs only the cases so named.  Ends with one line
// "N passed, N failed" and a non-zero exit code when a check failed.
#include "tests/e2e/cases.h"

#include <stdio.h>
#include <string.h>

struct CaseEntry {
    const char *name;
    CaseFunction *run;
};

static const CaseEntry cases[] = {
    {"runtime_fails", CaseRuntimeFails},
    {"close_mode_nothing_running", CaseCloseModeNothingRunning},
    {"blank_tails", CaseBlankTails},
    {"unclosed_quote", CaseUnclosedQuote},
    {"close_database_window", CaseCloseDatabaseWindow},
    {"close_grandchild_window", CaseCloseGrandchildWindow},
    {"close_no_database_window", CaseCloseNoDatabaseWindow},
    {"not_installed", CaseNotInstalled},
    {"job_locked", CaseJobLocked},
    {"job_unreadable", CaseJobUnreadable},
    {"database_missing", CaseDatabaseMissing},
    {"note_not_created", CaseNoteNotCreated},
    {"attachments_fail", CaseAttachmentsFail},
    {"client_not_running", CaseClientNotRunning},
    {"job_gone_at_client_start", CaseJobGoneAtClientStart},
    {"client_busy_then_free", CaseClientBusyThenFree},
    {"client_busy_too_long", CaseClientBusyTooLong},
    {"database_window_closes", CaseDatabaseWindowCloses},
    {"database_window_stays", CaseDatabaseWindowStays},
    {"stored_note", CaseStoredNote},
    {"direct_send_flag", CaseDirectSendFlag},
    {"quote_then_job", CaseQuoteThenJob},
    {"accented_program_folder", CaseAccentedProgramFolder},
};

static bool Wanted(const char *name, int argc, char **argv)
{
    if (argc < 2)
        return true;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], name) == 0)
            return true;
    }
    return false;
}

int main(int argc, char **argv)
{
    int ran = 0;
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        if (!Wanted(cases[i].name, argc, argv))
            continue;
        ++ran;
        g_caseName = cases[i].name;
        int passedBefore, failedBefore, passedAfter, failedAfter;
        CheckTotals(&passedBefore, &failedBefore);
        DWORD start = GetTickCount();
        CaseEnv e;
        if (BeginCase(&e))
            cases[i].run(&e);
        EndCase(&e);
        CheckTotals(&passedAfter, &failedAfter);
        printf("%s: %s (%d checks, %lu ms)\n", cases[i].name,
               failedAfter > failedBefore ? "FAILED" : "ok",
               passedAfter + failedAfter - passedBefore - failedBefore,
               GetTickCount() - start);
        fflush(stdout);
    }
    g_caseName = "";
    ok(ran > 0, "some case is named %s", argc > 1 ? argv[1] : "");

    int passed, failed;
    CheckTotals(&passed, &failed);
    printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
