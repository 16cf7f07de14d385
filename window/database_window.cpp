// Finding and closing the database window.  The window belongs to the Notes client;
// the program only reads titles and posts WM_CLOSE, it never waits on the client.
#include "window/database_window.h"

#include "notes/notes_client.h"

const char CloseVariable[] = "$Velmora.closeNotes";
const char DatabaseWindowPrefix[] = "Velmora -";

enum { PREFIX_LENGTH = sizeof DatabaseWindowPrefix - 1, TITLE_SIZE = 256 };

static BOOL CALLBACK MatchDatabaseWindow(HWND window, LPARAM found)
{
    char title[TITLE_SIZE];
    title[0] = '\0';
    GetWindowTextA(window, title, sizeof title);
    if (lstrlenA(title) <= PREFIX_LENGTH)
        return TRUE;
    for (int i = 0; i < PREFIX_LENGTH; ++i) {
        if (title[i] != DatabaseWindowPrefix[i])
            return TRUE;
    }
    *(HWND *)found = window;
    return FALSE;
}

HWND FindDatabaseWindow(void)
{
    HWND notes = FindWindowA("NOTES", NULL);
    if (notes == NULL)
        return NULL;
    HWND found = NULL;
    EnumChildWindows(notes, MatchDatabaseWindow, (LPARAM)&found);
    return found;
}

bool CloseDatabaseWindow(bool wait)
{
    HWND window = FindDatabaseWindow();
    if (window == NULL)
        return true;

    SetClientVariable(CloseVariable, "");
    PostMessageA(window, WM_CLOSE, 0, 0);
    if (wait) {
        Sleep(200);
        window = FindDatabaseWindow();
    }
    return window == NULL;
}
