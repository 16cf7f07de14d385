// The doctor's decisions that need no Windows: its options, the verdicts on an image
// and on a value of one registry view, the advice for a library not found, the exit
// code, and the conversions every text goes through (the doctor's own Windows-1252
// into UTF-8, UTF-8 into a JSON string).  The host tests judge them on their own.
#pragma once

#include <stddef.h>

// BUSY: sound, but a check cannot conclude right now (the Notes client is busy, or the
// library waits, as for a password); it has an exit code of its own.
enum Status { STATUS_OK, STATUS_INFO, STATUS_WARNING, STATUS_BUSY, STATUS_PROBLEM };

// The exit codes.
enum { EXIT_SOUND = 0, EXIT_PROBLEM = 1, EXIT_USAGE = 2, EXIT_BUSY = 3 };

// A problem outweighs a check that could not conclude.
int ExitCodeOf(int problems, int busy);

// What the command line asks for.
// REQUEST_CHECK_SETTINGS: the installer's check of the two paths it is given, alone
// (--check-settings CLIENT BASE; an empty one is not given, but not both).
// REQUEST_CAPTURE: --capture first, its own arguments after it (read by RunCapture).
enum Request {
    REQUEST_CHECK, REQUEST_CHECK_SETTINGS, REQUEST_CAPTURE, REQUEST_HELP, REQUEST_VERSION,
    REQUEST_BAD
};
struct Options {
    bool json;
    bool open;
    const char *program;        // none: the one beside the doctor
    const char *job;            // none: no job examined
    unsigned long timeout;      // seconds, from 1 to 3600; 60 when not given
    const char *givenClient;    // --check-settings: the paths to judge, "" not given
    const char *givenDatabase;
};
// Each option at most once; --help, /?, --version and --check-settings alone.
Request ParseOptions(int argc, char **argv, Options *o);

// A library's headers as the image check reads them; `pe` false when the file has no
// PE signature where its DOS header points.
struct ImageHeader {
    bool pe;
    unsigned machine;           // IMAGE_FILE_HEADER.Machine
    unsigned characteristics;   // IMAGE_FILE_HEADER.Characteristics
    unsigned magic;             // IMAGE_OPTIONAL_HEADER.Magic
};
enum ImageVerdict { IMAGE_NOT_PE, IMAGE_NOT_I386, IMAGE_NOT_PE32, IMAGE_NOT_DLL, IMAGE_SOUND };
// Only a 32-bit x86 DLL with a PE32 optional header can be the program's library; an
// .exe would load without its imports resolved.
ImageVerdict JudgeImage(const ImageHeader *header);

// A value of one registry view: the program reads the 32-bit view and takes the 64-bit
// one only for a value missing there, so a 64-bit value that differs from a 32-bit one
// present is hidden from it.
enum ValueVerdict { VALUE_USED, VALUE_HIDDEN, VALUE_NAMES_NOTHING };
ValueVerdict JudgeValue(bool view64, bool presentIn32, bool sameAs32, bool namesSomething);

// Whether two paths lie in the same folder (ASCII letters compared without case).
bool SameFolder(const char *a, const char *b);

// Writes the UTF-8 form of `n` bytes of Windows-1252 at `out`, which has room for 3n;
// returns its length.  The five bytes 1252 leaves undefined stand for U+0081 and the
// like, as Windows converts them.
size_t Utf8From1252(const char *in, size_t n, char *out);

// Writes a JSON string (quotes included) of `n` bytes of UTF-8 at `out`, which has
// room for 6n + 2: printable ASCII as it is, '"' and '\\' escaped, every other
// character \uXXXX (two for one beyond U+FFFF), a malformed byte \ufffd.  Returns its
// length.
size_t JsonFromUtf8(const char *in, size_t n, char *out);
