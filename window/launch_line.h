// The command line that starts the Notes client on the product database.
#pragma once

#include <windows.h>

// Two paths of MAX_PATH - 1 characters, both quoted with all but their one blank
// doubled backslashes before the closing quote, a blank between them and the NUL:
// 2 * (2 + 259 + 258) + 1 + 1 bytes.
enum { LAUNCH_LINE_SIZE = 4 * MAX_PATH };

// True when a path holds a blank or a tab, so the launch line must quote it.
bool NeedsQuotes(const char *path);

// The client path, a blank, the database path.  Short forms hold no blanks; a path
// that keeps one (its volume makes no 8.3 names) goes between double quotes, or
// Windows would try C:\Program.exe first and the client would get half a path.
// Inside the quotes the backslashes that end the path are doubled, so that a folder
// "D:\Velmora Data\" is read back as D:\Velmora Data\ and not D:\Velmora Data".
// A line whose paths need no quotes is the two paths joined by a blank.  Paths are
// at most MAX_PATH - 1 characters, which the buffer holds in the worst case.
void BuildLaunchLine(const char *clientPath, const char *databasePath,
                     char line[LAUNCH_LINE_SIZE]);
