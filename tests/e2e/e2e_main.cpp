// velmora-e2e.exe: the end-to-end tests.  Runs the real program with exact command
// lines against the stand-in Notes library and client, one case at a time, each in
// a fresh folder.  With arguments, runs only the cases so named.  Ends with one line
// "N passed, N failed" and a non-zero exit code when a check failed.
//
//   velmora-e2e.exe [case ...]
//   velmora-e2e.exe --wow64 [case ...]
//   velmora-e2e.exe --ansi-1250 [case ...]
//
// The second form runs the cases that need a 64-bit system, the third those that need
// ANSI 1250 (README.md says why they run apart); a case whose needs the machine does
// not meet says "skipped" and why.
#include "tests/e2e/case_runner.h"

#include <string.h>

static const CaseEntry cases[] = {
    {"command_tails", CaseCommandTails},
    {"close_database_window", CaseCloseDatabaseWindow},
    {"close_grandchild_window", CaseCloseGrandchildWindow},
    {"close_no_database_window", CaseCloseNoDatabaseWindow},
    {"note_not_created", CaseNoteNotCreated},
    {"client_not_running", CaseClientNotRunning},
    {"job_gone_at_client_start", CaseJobGoneAtClientStart},
    {"client_busy_then_free", CaseClientBusyThenFree},
    {"client_busy_too_long", CaseClientBusyTooLong},
    {"database_window_closes", CaseDatabaseWindowCloses},
    {"database_window_stays", CaseDatabaseWindowStays},
    // The memo's send-to and subject are stored in the OEM code page.
    {"stored_note", CaseStoredNote, 1252, 850},
    {"body_lines", CaseBodyLines},
    {"launch_lines", CaseLaunchLines},
    {"direct_send_flag", CaseDirectSendFlag},
    {"accented_program_folder", CaseAccentedProgramFolder},
    {"sends_at_once", CaseSendsAtOnce},
    {"doctor_sound", CaseDoctorSound},
    {"doctor_missing_value", CaseDoctorMissingValue},
    {"doctor_library_lacks_ordinal", CaseDoctorLibraryLacksOrdinal},
    {"doctor_busy_client", CaseDoctorBusyClient},
    {"doctor_version_and_waits", CaseDoctorVersionAndWaits},
    {"doctor_library_in_current_folder", CaseDoctorLibraryInCurrentFolder},
    {"doctor_library_64bit", CaseDoctorLibrary64Bit},
    {"doctor_library_stuck_or_crashing", CaseDoctorLibraryStuckOrCrashing},
    {"doctor_read_only_job", CaseDoctorReadOnlyJob},
    {"doctor_capture", CaseDoctorCapture, 1252, 0, NEEDS_LINKED_TOKEN},
    {"doctor_capture_refusals", CaseDoctorCaptureRefusals, 1252, 0, NEEDS_LINKED_TOKEN},
    {"doctor_capture_overflow", CaseDoctorCaptureOverflow, 1252, 0, NEEDS_LINKED_TOKEN},
    {"doctor_capture_copies", CaseDoctorCaptureCopies, 1252, 0, NEEDS_LINKED_TOKEN},
    {"launch_line_quoted", CaseLaunchLineQuoted},
    // What Wine cannot show.
    {"no_short_names", CaseNoShortNames, 1252, 0, NEEDS_WINDOWS},
    {"loader_box_missing_ordinal", CaseLoaderBoxMissingOrdinal, 0, 0, NEEDS_WINDOWS},
};

static const CaseEntry wow64Cases[] = {
    {"settings_in_64bit_view", CaseSettingsIn64BitView, 1252, 0, NEEDS_64BIT_WINDOWS},
    {"doctor_settings_in_64bit_view", CaseDoctorSettingsIn64BitView, 1252, 0,
     NEEDS_64BIT_WINDOWS},
};

static const CaseEntry ansi1250Cases[] = {
    {"doctor_other_code_page", CaseDoctorOtherCodePage, 1250},
};

int main(int argc, char **argv)
{
    if (argc > 1 && strcmp(argv[1], "--wow64") == 0)
        return RunCases(wow64Cases, sizeof wow64Cases / sizeof wow64Cases[0], argc - 1,
                        argv + 1);
    if (argc > 1 && strcmp(argv[1], "--ansi-1250") == 0)
        return RunCases(ansi1250Cases, sizeof ansi1250Cases / sizeof ansi1250Cases[0],
                        argc - 1, argv + 1);
    return RunCases(cases, sizeof cases / sizeof cases[0], argc, argv);
}
