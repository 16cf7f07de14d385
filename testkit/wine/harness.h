// The test driver: runs a program with an exact command line, answers its message
// boxes and reports what they said and how the program ended.  Used by the
// end-to-end tests and by velmora-run.exe.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

struct BoxSeen {
    std::string caption;
    std::string text;       // the static control 0xFFFF
};

struct RunResult {
    bool started;           // CreateProcessA succeeded
    DWORD startError;       // GetLastError when it did not
    bool hung;              // still running at the time limit, so it was ended
    DWORD exitCode;
    DWORD elapsedMs;
    std::vector<BoxSeen> boxes;     // every dialog box of the process, in order shown
    SIZE_T peakWorkingSet;  // bytes, 0 when it could not be read
};

// Starts `commandLine` exactly as given (CreateProcessA), inheriting this process's
// environment and current folder.  `flags` are the creation flags; `output`, when
// given, is an inheritable handle that becomes the program's standard output and
// error.  False, with GetLastError set, when it cannot start.
bool StartProgram(const std::string &commandLine, PROCESS_INFORMATION *process,
                  DWORD flags = 0, HANDLE output = NULL, const char *application = NULL);

// Whether this process runs elevated, as every Wine process does (and check.cmd on
// Windows); true when its token cannot be read.
bool Elevated(void);
// Why this process cannot start a program as a standard user (elevated with no filtered
// token linked to it: UAC off, the built-in Administrator); NULL when it can.  Under
// Wine every process is elevated, with a linked token.
const char *NoLinkedToken(void);
// StartProgram for a program meant to run as the user who sends mail, not as an
// administrator: from an elevated process (UAC), under its linked token, the filtered
// one a standard start of that user gets (TokenLinkedToken, made a primary token with
// DuplicateTokenEx, CreateProcessAsUserW); from a process that is not elevated, as is.
// False, with `why` said, when the process is elevated with no linked token (UAC off,
// the built-in Administrator, SYSTEM) or the start fails.
bool StartProgramAsUser(const std::string &commandLine, PROCESS_INFORMATION *process,
                        DWORD flags, HANDLE output, std::string *why);

// This process's user as a SID string (TokenUser), which the filtered token keeps;
// empty when it cannot be read.
std::string UserSid(void);

// What a program started by StartProgramAsUser may do in `folder` beside reading it:
// change all it holds (data only), or add a folder there and change only what it made.
enum UserRight { USER_MODIFIES, USER_ADDS_FOLDERS };
bool AllowUser(const std::string &folder, UserRight right);

// Starts `commandLine` exactly as given (CreateProcessA, inheriting this process's
// environment and current folder).  The program is the one the command line names,
// unless `application` names it: a line such as an unclosed quote is then still
// passed as it is.  Until the process
// ends it finds each visible dialog box (class "#32770") of that process, records
// its caption and text and presses OK.  After `timeLimitMs` it ends the process.
RunResult RunAndAnswer(const std::string &commandLine, DWORD timeLimitMs,
                       const char *application = NULL);

// The same for several programs started at once, one after the other without waiting;
// returns when all have ended, their results in the order of `commandLines`.
std::vector<RunResult> RunAllAndAnswer(const std::vector<std::string> &commandLines,
                                       DWORD timeLimitMs, const char *application = NULL);

// The first visible dialog box (class "#32770") of process `processId`; NULL when it
// shows none.
HWND BoxOf(DWORD processId);

// Bytes outside 0x20..0x7E, the backslash and the double quote as \xNN: the form in
// which the stand-in library writes strings to calls.log.
std::string Escaped(const std::string &bytes);
