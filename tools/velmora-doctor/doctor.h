// velmora-doctor: what the installation of velmora-notes.exe looks like to the
// program itself.  Every check prints one line; the checks use the program's own
// readers (settings, job file, templates, database window, launch line) so that the
// doctor and the program never disagree.
#pragma once

#include <windows.h>

#include "job/install_settings.h"
#include "job/refusal.h"

enum Status { STATUS_OK, STATUS_INFO, STATUS_WARNING, STATUS_PROBLEM };

// A field of a check's JSON object: a text, or (text none) a number.
struct Field {
    const char *key;
    const char *text;
    unsigned long number;
};

// Writes ANSI text to STD_OUTPUT_HANDLE or STD_ERROR_HANDLE, as the report is written.
void WriteStandard(DWORD which, const char *text);

// How the report is written: French lines, or one JSON document.
void BeginReport(bool json);
// One check: its identifier, verdict, French text (Windows-1252) and, for a warning or
// a problem, what to do.  `fields` go into the JSON object only.
void Report(const char *id, Status status, const char *text, const char *action,
            const Field *fields, int fieldCount);
// Ends the report with the overall verdict; returns the exit code (0 sound, 1 a
// problem was found).
int EndReport(void);

// A growing text on the process heap, for lines of any length.
struct Text {
    char *bytes;
    size_t length;
    size_t capacity;
};
void TextAdd(Text *t, const char *s);
void TextAddBytes(Text *t, const char *s, size_t n);
// printf-style, through wsprintfA: the result must fit 1024 bytes.
void TextFormat(Text *t, const char *format, ...);
const char *TextOf(const Text *t);     // never null
void TextClear(Text *t);
void TextFree(Text *t);

// The reasons of the program, in words: the JSON identifier of a rule, and a French
// sentence (with its action) for a refusal.
const char *RuleId(RefusalRule rule);
void DescribeRefusal(const Refusal *why, Text *sentence, Text *action);

// The checks.  `programPath` is the velmora-notes.exe the doctor is about.
bool CheckProgram(const char *programPath);
// Fills `settings` as the program would; false when it refuses them.
bool CheckSettings(InstallSettings *settings);
// Finds nNOTES.dll as the program's import would and checks it; `libraryPath` gets
// the file found, empty when none.
void CheckLibrary(const char *programPath, char libraryPath[MAX_PATH]);
// With the settings accepted (none: refused), opens and closes the database through
// the library at `libraryPath`.
void CheckOpen(const char *libraryPath, const InstallSettings *settings, int argc,
               char **argv);
void CheckClient(void);
void CheckJob(const char *jobPath);
