// What the doctor's files share (docs/architecture.md, "The doctor's map").
//
// Two code pages meet in a line: the doctor's own French is Windows-1252 bytes,
// whatever the machine; what it reads (paths, registry values, window titles, job
// texts) is in the machine's ANSI code page.  A line is composed in a std::string of
// UTF-8, each piece converted from its own code page, and the report writes that out.
#pragma once

#include <windows.h>

#include <string>

#include "job/install_settings.h"
#include "job/refusal.h"
#include "tools/velmora-doctor/decisions.h"

void TextAdd(std::string *t, const char *fixed);          // the doctor's own text, Windows-1252
void TextAddAnsi(std::string *t, const char *read);       // a text read, ANSI code page
void TextAddIn(std::string *t, UINT codePage, const char *bytes, size_t n);   // a text read
// printf-style: `format` and each %s are the doctor's own text (Windows-1252) or ASCII.
void TextFormat(std::string *t, const char *format, ...) __attribute__((format(printf, 2, 3)));

// A field of a check's JSON object: a text read (ANSI code page) or ASCII, or (text
// none) a number.
struct Field {
    const char *key;
    const char *text;
    unsigned long number;
};

// Writes the doctor's own text (Windows-1252) to STD_OUTPUT_HANDLE or STD_ERROR_HANDLE.
void WriteStandard(DWORD which, const char *fixed);
void WriteStandardText(DWORD which, const std::string *text);

// How the report is written: French lines, or one JSON document.
void BeginReport(bool json);
// One check: its identifier, verdict, text and, for a warning or worse, what to do (the
// doctor's own text).  `fields` go into the JSON object only.  Report takes a text of
// the doctor's own, ReportText one composed in UTF-8, and the command line that makes
// the fix (a text read, ANSI code page; none or empty: no command), printed alone on the
// line after the check's, and in the JSON object as "fix".
void Report(const char *id, Status status, const char *fixed, const char *action,
            const Field *fields, int fieldCount);
void ReportText(const char *id, Status status, const std::string *text, const char *action,
                const Field *fields, int fieldCount, const char *fix = NULL);
// Ends the report with the overall verdict; returns the exit code: EXIT_PROBLEM when a
// problem was found, else EXIT_BUSY when a check could not conclude, else EXIT_SOUND.
int EndReport(void);
// Makes an unhandled exception end the report with a problem line that says so and the
// summary, then the process, whatever state the heap and the faulting thread's stack are
// in.  Called at start, and again after the library's code ran (a library may install
// a filter of its own).
void ReportCrashes(void);

// The reasons of the program, in words: the JSON identifier of a rule, and a French
// sentence for a refusal; returns what to do (the doctor's own text).
const char *RuleId(RefusalRule rule);
const char *DescribeRefusal(const Refusal *why, std::string *sentence);
// The text of the program's message box `id` between « and », as the program's string
// table has it (resources/message_texts.h).
void TextAddBox(std::string *t, unsigned id);

// The room for a file version, "a.b.c.d".
enum { VERSION_SIZE = 24 };

// nNOTES.dll as the program's import finds it.
struct Library {
    char path[MAX_PATH];            // empty: not found
    bool loadable;                  // found where --open may load it: the program's
                                    // folder or a system folder
    ImageVerdict image;             // what the image check found; --open loads only a
                                    // sound one
    char version[VERSION_SIZE];     // empty: none, or not a readable 32-bit image
};

// The ordinals the program imports: the table its import library is made of, which the
// exe's shape check holds its imports to (library_image.cpp).
struct NotesImport {
    WORD ordinal;
    const char *name;
};
extern const NotesImport NotesImports[];
extern const int NotesImportCount;

// Whether `path` names a file, not a folder (library_find.cpp).
bool IsFile(const char *path);
// The installed product of the package's UpgradeCode, "{...}", through msi.dll from
// the system folder; false when none is installed.
bool InstalledProduct(char code[39]);
// Whether --open's thread is at work in the library (library_open.cpp).
bool OpenRunning(void);
// True when the process token is elevated (TokenElevation) or is SYSTEM's (user
// S-1-5-18); also true when the token cannot be read, the safe side for a check that
// refuses to run foreign code (library_open.cpp).
bool TokenIsElevatedOrSystem(void);
