// The product database's window inside the running Notes client.
#pragma once

#include <windows.h>

// The Notes variable the program arms with its own path and clears when it closes
// the database window, and the title prefix of that window.
extern const char CloseVariable[];
extern const char DatabaseWindowPrefix[];

// The first descendant of the Notes main window whose title is the prefix followed
// by at least one character (case-sensitive), or none.
HWND FindDatabaseWindow(void);

// Clears the close variable and posts WM_CLOSE to the database window, if there is
// one.  True when there was none, or, with `wait`, when it is gone 200 ms later.
bool CloseDatabaseWindow(bool wait);
