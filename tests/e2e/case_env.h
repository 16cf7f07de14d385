// One end-to-end case's world: a fresh folder under C:\ holding a copy of the
// program with the stand-in library, the stand-in Notes client in a long-named
// folder, the database and the job files; the program's registry settings pointing
// there; the environment the stand-ins read; and the client a case may start.
#pragma once

#include "testkit/wine/harness.h"

#include <windows.h>
#include <string>
#include <vector>

struct CaseEnv {
    std::string root;           // <WorkRoot()>\<case>
    std::string program;        // the program's copy, long path with blanks
    std::string programShort;
    std::string programDir;     // <root>\Velmora pour Notes
    std::string client;         // <root>\Lotus Notes Client\notes-client.exe
    std::string clientShort;
    std::string database;       // <root>\Notes Data Folder\Velmora.nsf
    std::string databaseShort;
    std::string jobDir;         // <root>\Velmora Jobs
    std::string nnotesDir;      // NNOTES_DIR
    std::string clientLog;      // NOTES_CLIENT_LOG of the clients the program starts
    std::string runningLog;     // the log of the client the case starts itself
    HANDLE running;             // that client, or NULL
    HWND runningWindow;         // its NOTES window
};

// Makes the world for the case named g_caseName; false (after a failed check) when
// it could not.  Sets NNOTES_DIR, NOTES_CLIENT_LOG, NOTES_CLIENT_LIFETIME_MS=500 and
// clears NNOTES_FAIL and NOTES_CLIENT_CHECK_GONE.
bool BeginCase(CaseEnv *e);

// Ends the case's client and any process left running from its folder, deletes the
// folder and the registry settings.  VELMORA_E2E_KEEP=1 keeps the folder.
void EndCase(CaseEnv *e);

// Sets or (with NULL) clears an environment variable the program will inherit.
void SetEnv(const char *name, const char *value);

// Runs a command line with the harness, 30 s at most; `application` as for
// RunAndAnswer.
RunResult Run(const std::string &commandLine, const char *application = NULL);

// "<program long path>" in quotes, as a shortcut would start it.
std::string QuotedProgram(const CaseEnv &e);

// Starts the stand-in client with `options` as the running Notes client and waits
// until its windows are up.
bool StartRunningClient(CaseEnv *e, const std::string &options);

// Makes sure the running client has handled every message posted to it so far.
bool SyncRunningClient(CaseEnv *e);

// A client log's events, without their times.
std::vector<std::string> ClientEvents(const std::string &log);

// Waits until `event` is in the log; false after `timeoutMs`.
bool WaitForClientEvent(const std::string &log, const std::string &event, DWORD timeoutMs);

// calls.log of the stand-in library, whole lines.
std::vector<std::string> Calls(const CaseEnv &e);

// calls.log reduced to "<Operation> -> <status>" per call.
std::vector<std::string> CallSummary(const CaseEnv &e);

// notes.ini of the stand-in library, whole lines.
std::vector<std::string> NotesIni(const CaseEnv &e);

// The calls.log line of SetClientVariable("$Velmora.closeNotes", value) succeeding.
std::string CloseVariableCall(const std::string &value);

// NNOTES_DIR\notes\note-<n>.txt
std::string NoteRecordPath(const CaseEnv &e, int n);
