// What the stand-in nNOTES.dll writes and where: the folder named by NNOTES_DIR (or
// the library's own folder), calls.log with one line per call, and the escaping that
// lets a test compare a logged string byte for byte.
#pragma once

#include <windows.h>
#include <string>

// Status values of the stand-in.  Only 0 means success to the program; the others
// tell a reader of calls.log why a call failed.
enum {
    STATUS_OK = 0,
    STATUS_INJECTED = 0x0103,        // named in NNOTES_FAIL
    STATUS_BAD_HANDLE = 0x0104,      // not a handle of the expected kind, or closed
    STATUS_NOT_FOUND = 0x0105,       // no such regular file
    STATUS_BAD_ARGUMENT = 0x0106,    // a null pointer where one is needed
    STATUS_BAD_LENGTH = 0x0107,      // body length differs from what the buffer holds
    STATUS_NOT_INITIALIZED = 0x0108, // called outside InitNotesRuntime..EndNotesRuntime
    STATUS_WRITE_FAILED = 0x0109,    // the record could not be written
};

// NNOTES_DIR as read now, or the folder of this DLL; no trailing backslash.
std::string StandinDir();

// A string argument for calls.log, up to its NUL, or NULL; bytes outside 0x20..0x7E,
// the backslash and the double quote become \xNN.
std::string Quoted(const char *text);

// The same for exactly `length` bytes.
std::string QuotedBytes(const char *bytes, size_t length);

std::string Number(unsigned long value);

// Appends `line` and CR LF to calls.log, whole, however many processes log at once
// (standins/log_append.h).
void RecordCall(const std::string &line);

// Whole-file helpers; paths are ANSI.
bool ReadWholeFile(const std::string &path, std::string *data);
bool WriteWholeFile(const std::string &path, const std::string &data);
