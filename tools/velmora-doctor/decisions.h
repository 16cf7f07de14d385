// The doctor's decisions that need no Windows: its options, the verdicts on an image
// and on a value of one registry view, the advice for a library not found, the exit
// code, and the conversions every text goes through (the doctor's own Windows-1252
// into UTF-8, UTF-8 into a JSON string).  The host tests judge them on their own.
#pragma once

#include <stddef.h>

#include "job/refusal.h"

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

// --open runs the library's code with the doctor's rights: whether it is tried, or why
// not, and how the refusal is rated.  The first reason that holds, in this order: no
// library, settings refused, an image that cannot be the program's library, a token
// elevated or SYSTEM's (the library would run as administrator; run the doctor as the
// user who sends mail), a Windows that cannot restrict the search for libraries
// (SetDefaultDllDirectories missing), a library outside the program's folder and the
// system folders.  An elevated run and an old Windows are warnings: the installation
// may be sound, only the open is not tried.
enum OpenRefusal {
    OPEN_TRIED, OPEN_NO_LIBRARY, OPEN_SETTINGS_REFUSED, OPEN_IMAGE_UNSOUND, OPEN_ELEVATED,
    OPEN_SEARCH_UNRESTRICTED, OPEN_NOT_LOADABLE
};
struct OpenDecision {
    OpenRefusal refusal;
    Status status;          // of the refusal's line; none when tried
};
struct OpenFacts {
    bool libraryFound, settingsAccepted;
    ImageVerdict image;
    bool elevated, searchRestricted, loadable;
};
OpenDecision DecideOpen(const OpenFacts *facts);

// A setting the program refuses (message 7), against the package's record of it
// (HKLM\SOFTWARE\Zabrel\Velmora\Installer): a repair writes back a value the package
// wrote and that has gone missing, never one that is there (it keeps the live text) nor
// one it never wrote; a text that names nothing, or is empty, is written anew with the
// text the package remembered, when it remembered one that differs.
struct ValueRecord {
    bool wrote;                 // WroteLN_<name> is 1
    bool remembered;            // the package's copy of the text, differing from the live one
    bool productInstalled;      // a product of the package's UpgradeCode is installed
};
enum ValueFix {
    FIX_NONE,                   // no command: a shorter path is needed, or the text is unknown
    FIX_REPAIR,                 // msiexec's repair of the installed product
    FIX_WRITE_REMEMBERED,       // reg add with the package's copy of the text
};
ValueFix DecideValueFix(RefusalRule rule, const ValueRecord *record);

// The command lines of the fixes, at `out` (room `size`, NUL included); false when the
// line does not fit or cannot be written (a text holding '"', which the command
// line could not carry).  `name` is LN_Appli or LN_Base, `text` the value to write,
// `productCode` "{...}".
bool WriteValueCommand(const char *name, const char *text, char *out, size_t size);
bool RepairCommand(const char *productCode, char *out, size_t size);
// The removal of the value `name` from the 64-bit view, where it hides nothing from the
// program but a different value of the 32-bit view.
bool DeleteValue64Command(const char *name, char *out, size_t size);
// The package of `version` ("x.y.z.w": velmora-notes-x.y.z.msi) installed into `folder`
// with the two settings it must write; when `productCode` is not empty, that product
// is removed first (which removes the values it wrote, given again here), each step
// waited for.
bool InstallIntoCommand(const char *version, const char *folder, const char *client,
                        const char *database, const char *productCode, char *out, size_t size);

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
