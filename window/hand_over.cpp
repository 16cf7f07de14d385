// The hand-over.  Opening the database in the Notes client is what lets the memo go
// out, so the client is started whether or not the close variable could be armed;
// only a client busy for the whole wait is left alone, with a message to the user.
#include "window/hand_over.h"

#include "notes/notes_client.h"
#include "notes/short_path.h"
#include "resources/messages.h"
#include "window/database_window.h"
#include "window/launch_line.h"

enum { MAX_BUSY_POLLS = 50, POLL_INTERVAL_MS = 200 };

void HandOverToNotes(const char *clientPath, const char *databasePath)
{
    HWND notes;
    for (int busyPolls = 0;;) {
        notes = FindWindowA("NOTES", NULL);
        bool busy = notes != NULL && IsWindow(notes) && !IsWindowEnabled(notes);
        if (!busy)
            break;
        Sleep(POLL_INTERVAL_MS);
        if (++busyPolls == MAX_BUSY_POLLS) {
            ShowMessage(MSG_NOTES_BUSY, MB_OK);
            return;
        }
    }

    if (notes == NULL || CloseDatabaseWindow(true)) {
        char self[MAX_PATH];
        DWORD length = GetModuleFileNameA(NULL, self, sizeof self);
        self[length < sizeof self ? length : sizeof self - 1] = '\0';
        ShortenPath(self);
        SetClientVariable(CloseVariable, self);
    }

    char command[LAUNCH_LINE_SIZE];
    BuildLaunchLine(clientPath, databasePath, command);
    WinExec(command, SW_SHOWNORMAL);
}
