// The send command.  A refusal shows the box of its rule (RefusalMessage).  Whatever
// happens after the job file is opened, it is closed and so deleted; attachments are
// never touched.  Resources go back in a fixed order, extra list, job file, note,
// database, and only then is the Notes client started.
#include "app/send_command.h"

#include "job/install_settings.h"
#include "job/job_file.h"
#include "job/memo.h"
#include "notes/notes_client.h"
#include "resources/messages.h"
#include "window/hand_over.h"

void RunSendCommand(const char *tail)
{
    static InstallSettings settings;
    static LoadedJob job;
    Refusal why;

    if (!LoadInstallSettings(&settings, &why)) {
        ShowMessage(RefusalMessage(why.rule), MB_OK);
        return;
    }

    HANDLE file = INVALID_HANDLE_VALUE;
    NotesHandle db = 0;
    NotesHandle note = 0;

    if (!OpenJobFile(tail, &job, &file, &why) || !ReadJob(file, &job, &why)) {
        ShowMessage(RefusalMessage(why.rule), MB_OK);
    } else if (OpenDatabase(settings.databasePath, &db) != 0) {
        db = 0;
        ShowMessage(MSG_DATABASE_NOT_FOUND, MB_OK);
    } else {
        note = ComposeMemo(db, &job);
    }
    bool sent = note != 0;

    if (job.extraList != NULL) {
        GlobalFree(job.extraList);
        job.extraList = NULL;
    }
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (note != 0)
        CloseNote(note);
    if (db != 0)
        CloseDatabase(db);

    if (sent)
        HandOverToNotes(settings.clientPath, settings.databasePath);
}
