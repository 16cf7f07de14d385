// The command line that starts the Notes client on the product database.
#pragma once

enum { LAUNCH_LINE_SIZE = 528 };

// True when a path holds a blank or a tab, so the launch line must quote it.
bool NeedsQuotes(const char *path);

// The client path, a blank, the database path.  Short forms hold no blanks; a path
// that keeps one (its volume makes no 8.3 names) goes between double quotes, or
// Windows would try C:\Program.exe first and the client would get half a path.
// Two paths of 259 characters, both quoted, take 524 bytes with the NUL.
void BuildLaunchLine(const char *clientPath, const char *databasePath,
                     char line[LAUNCH_LINE_SIZE]);
