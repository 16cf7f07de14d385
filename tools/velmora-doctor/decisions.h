// The doctor's decisions that need no Windows: its options, the verdicts on an image
// and on a value of one registry view, the advice for a library not found, the exit
// code, the fixes' command lines and the capture's names: written here, whole, so that
// tests/test_doctor.cpp holds to a table on the host what the doctor's cases do not show.
#pragma once

#include <stddef.h>
#include <string.h>

#include <initializer_list>

#include "tools/common/args.h"

#include "job/refusal.h"

// BUSY: sound, but a check cannot conclude right now (the Notes client is busy, or the
// library waits, as for a password); it has an exit code of its own.
enum Status { STATUS_OK, STATUS_INFO, STATUS_WARNING, STATUS_BUSY, STATUS_PROBLEM };

enum { EXIT_SOUND = 0, EXIT_PROBLEM = 1, EXIT_USAGE = 2, EXIT_BUSY = 3 };

// A problem outweighs a check that could not conclude.
inline int ExitCodeOf(int problems, int busy)
{
    return problems > 0 ? EXIT_PROBLEM : busy > 0 ? EXIT_BUSY : EXIT_SOUND;
}

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
inline Request ParseOptions(int argc, char **argv, Options *o)
{
    enum {
        OPTION_JSON, OPTION_OPEN, OPTION_PROGRAM, OPTION_JOB, OPTION_TIMEOUT, OPTION_HELP,
        OPTION_VERSION, OPTION_CHECK_SETTINGS, OPTION_CAPTURE
    };
    static const ArgOption Table[] = {
        {"--json", OPTION_JSON, ARG_FLAG, true},
        {"--open", OPTION_OPEN, ARG_FLAG, true},
        {"--program", OPTION_PROGRAM, ARG_VALUE, true},
        {"--job", OPTION_JOB, ARG_VALUE, true},
        {"--timeout", OPTION_TIMEOUT, ARG_VALUE, true},
        {"--help", OPTION_HELP, ARG_FLAG, true},
        {"/?", OPTION_HELP, ARG_FLAG, true},
        {"--version", OPTION_VERSION, ARG_FLAG, true},
        {"--check-settings", OPTION_CHECK_SETTINGS, ARG_FLAG, true},
        {"--capture", OPTION_CAPTURE, ARG_FLAG, true},
    };
    Options none = {false, false, NULL, NULL, 60, NULL, NULL};
    *o = none;
    ArgReader r = ArgsOf(Table, sizeof Table / sizeof Table[0], argc, argv, 1, false);
    for (Arg a = NextArg(&r); a.event != ARG_END; a = NextArg(&r)) {
        if (a.event != ARG_OPTION)
            return REQUEST_BAD;
        bool alone = r.next == 2 && argc == 2;
        uint64_t seconds = 0;
        switch (a.id) {
        case OPTION_JSON:
            o->json = true;
            break;
        case OPTION_OPEN:
            o->open = true;
            break;
        case OPTION_PROGRAM:
        case OPTION_JOB:
            if (a.value[0] == '\0')
                return REQUEST_BAD;
            *(a.id == OPTION_PROGRAM ? &o->program : &o->job) = a.value;
            break;
        case OPTION_TIMEOUT:
            if (!ArgNumber(a.value, 3600, &seconds) || seconds == 0)
                return REQUEST_BAD;
            o->timeout = (unsigned long)seconds;
            break;
        case OPTION_HELP:
            return alone ? REQUEST_HELP : REQUEST_BAD;
        case OPTION_VERSION:
            return alone ? REQUEST_VERSION : REQUEST_BAD;
        case OPTION_CHECK_SETTINGS:     // its two paths after it, alone; "" not given
            if (r.next != 2 || argc != 4 || (argv[2][0] == '\0' && argv[3][0] == '\0'))
                return REQUEST_BAD;
            o->givenClient = argv[2];
            o->givenDatabase = argv[3];
            return REQUEST_CHECK_SETTINGS;
        case OPTION_CAPTURE:            // its own arguments after it, read by RunCapture
            return r.next == 2 ? REQUEST_CAPTURE : REQUEST_BAD;
        }
    }
    return REQUEST_CHECK;
}

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
inline ImageVerdict JudgeImage(const ImageHeader *header)
{
    // The PE format's values (Microsoft's "PE Format" page): IMAGE_FILE_MACHINE_I386,
    // IMAGE_NT_OPTIONAL_HDR32_MAGIC, IMAGE_FILE_DLL.
    enum { MACHINE_I386 = 0x014C, MAGIC_PE32 = 0x010B, CHARACTERISTIC_DLL = 0x2000 };
    if (!header->pe)
        return IMAGE_NOT_PE;
    if (header->machine != MACHINE_I386)
        return IMAGE_NOT_I386;
    if (header->magic != MAGIC_PE32)
        return IMAGE_NOT_PE32;
    if ((header->characteristics & CHARACTERISTIC_DLL) == 0)
        return IMAGE_NOT_DLL;
    return IMAGE_SOUND;
}

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
inline OpenDecision DecideOpen(const OpenFacts *facts)
{
    if (!facts->libraryFound)
        return {OPEN_NO_LIBRARY, STATUS_INFO};
    if (!facts->settingsAccepted)
        return {OPEN_SETTINGS_REFUSED, STATUS_INFO};
    if (facts->image != IMAGE_SOUND)
        return {OPEN_IMAGE_UNSOUND, STATUS_PROBLEM};
    if (facts->elevated)
        return {OPEN_ELEVATED, STATUS_WARNING};
    if (!facts->searchRestricted)
        return {OPEN_SEARCH_UNRESTRICTED, STATUS_WARNING};
    if (!facts->loadable)
        return {OPEN_NOT_LOADABLE, STATUS_PROBLEM};
    return {OPEN_TRIED, STATUS_OK};
}

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
inline ValueFix DecideValueFix(RefusalRule rule, const ValueRecord *record)
{
    bool missing = rule == REFUSED_KEY_MISSING || rule == REFUSED_VALUE_MISSING;
    bool rewritable = missing || rule == REFUSED_VALUE_EMPTY ||
                      rule == REFUSED_VALUE_NAMES_NOTHING || rule == REFUSED_VALUE_UNTERMINATED ||
                      rule == REFUSED_EXPANSION_TOO_LONG;
    if (missing && record->wrote && record->productInstalled)
        return FIX_REPAIR;
    if (rewritable && record->remembered)
        return FIX_WRITE_REMEMBERED;
    return FIX_NONE;
}

// The command lines of the fixes, at `out` (room `size`, NUL included); false when the
// line does not fit or cannot be written (a text holding '"', which the command
// line could not carry).  `name` is LN_Appli or LN_Base, `text` the value to write,
// `productCode` "{...}".  Append adds each of `pieces` at out[*length], false when they
// do not fit with the NUL.
inline bool Append(std::initializer_list<const char *> pieces, char *out, size_t size,
                   size_t *length)
{
    for (const char *s : pieces) {
        size_t n = strlen(s);
        if (*length + n >= size)
            return false;
        memcpy(out + *length, s, n + 1);
        *length += n;
    }
    return true;
}

inline bool IsProductCode(const char *code)
{
    return code[0] == '{' && strpbrk(code, " \"%") == NULL;
}

// reg.exe reads its arguments as the C runtime does: backslashes before a closing quote
// are doubled, and a '"' inside cannot be given.  In cmd, '%' would expand a variable.
// /reg:32 writes the 32-bit view, the one the program reads first, from a 64-bit cmd
// too (learn.microsoft.com: "reg add").
inline bool WriteValueCommand(const char *name, const char *text, char *out, size_t size)
{
    size_t length = 0, n = strlen(text), trailing = 0;
    if (strpbrk(text, "\"%") != NULL || n == 0)
        return false;
    while (trailing < n && text[n - 1 - trailing] == '\\')
        ++trailing;
    // The text's trailing backslashes, given once more, double them.
    return Append({"reg add \"HKLM\\SOFTWARE\\Zabrel\\Velmora\\Stellwick\" /v ", name,
                   " /t REG_SZ /d \"", text, text + n - trailing, "\" /f /reg:32"},
                  out, size, &length);
}

// The repair of the installed product from its cached package, by ProductCode: "o"
// files older or missing, "m" and "u" the registry entries, "s" shortcuts
// (learn.microsoft.com: "msiexec", repair options); /norestart, or /qn may restart.
inline bool RepairCommand(const char *productCode, char *out, size_t size)
{
    size_t length = 0;
    return IsProductCode(productCode) &&
           Append({"msiexec /fomus ", productCode, " /qn /norestart"}, out, size, &length);
}

// The removal of the value `name` from the 64-bit view, where it hides nothing from the
// program but a different value of the 32-bit view.
inline bool DeleteValue64Command(const char *name, char *out, size_t size)
{
    size_t length = 0;
    return Append({"reg delete \"HKLM\\SOFTWARE\\Zabrel\\Velmora\\Stellwick\" /v ", name,
                   " /f /reg:64"}, out, size, &length);
}

// The package of `version` ("x.y.z.w": velmora-notes-x.y.z.msi) installed into `folder`
// with the two settings it must write; when `productCode` is not empty, that product
// is removed first (which removes the values it wrote, given again here), each step
// waited for: in cmd, msiexec (a Windows program) runs on without being waited for;
// "start /wait" waits, and gives its exit code to "&&".  A property's text must be one
// msiexec can carry: no '"', no trailing backslash before the closing quote, no '%' for
// cmd.
inline bool CarriedProperty(const char *text)
{
    size_t n = strlen(text);
    return n > 0 && text[n - 1] != '\\' && strpbrk(text, "\"%") == NULL;
}

inline bool InstallIntoCommand(const char *version, const char *folder, const char *client,
                               const char *database, const char *productCode, char *out,
                               size_t size)
{
    const char *last = strrchr(version, '.');
    char release[32];
    size_t length = 0, kept = last != NULL ? (size_t)(last - version) : 0;
    if (kept == 0 || kept >= sizeof release || !CarriedProperty(folder) ||
        !CarriedProperty(client) || !CarriedProperty(database))
        return false;
    memcpy(release, version, kept);
    release[kept] = '\0';
    if (productCode[0] != '\0' &&
        !(IsProductCode(productCode) &&
          Append({"start /wait msiexec /x ", productCode, " /qn /norestart && start /wait "},
                 out, size, &length)))
        return false;
    return Append({"msiexec /i velmora-notes-", release, ".msi INSTALLDIR=\"", folder,
                   "\" LN_APPLI=\"", client, "\" LN_BASE=\"", database, "\" /qn /norestart"},
                  out, size, &length);
}

// A value of one registry view: the program reads the 32-bit view and takes the 64-bit
// one only for a value missing there, so a 64-bit value that differs from a 32-bit one
// present is hidden from it.
enum ValueVerdict { VALUE_USED, VALUE_HIDDEN, VALUE_NAMES_NOTHING };
inline ValueVerdict JudgeValue(bool view64, bool presentIn32, bool sameAs32, bool namesSomething)
{
    if (view64 && presentIn32 && !sameAs32)
        return VALUE_HIDDEN;
    return namesSomething ? VALUE_USED : VALUE_NAMES_NOTHING;
}

inline char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

// Whether two paths lie in the same folder (ASCII letters compared without case).
inline bool SameFolder(const char *a, const char *b)
{
    const char *endA = strrchr(a, '\\'), *endB = strrchr(b, '\\');
    if (endA == NULL || endB == NULL || endA - a != endB - b)
        return false;
    for (; a < endA; ++a, ++b) {
        if (AsciiLower(*a) != AsciiLower(*b))
            return false;
    }
    return true;
}

// The capture's arguments of WideCharToMultiByte for a name, in code page `codePage`
// (the ANSI code page, resolved: 65001 on a machine set to use UTF-8 for ANSI).  For
// UTF-8, lpUsedDefaultChar "must be set to NULL" and dwFlags takes only
// WC_ERR_INVALID_CHARS, which refuses an unpaired surrogate; UTF-8 lacks no character.
// Elsewhere best fit would turn a letter the code page lacks into another name ('\u0142'
// into 'l') without saying so: no best fit, and the default character reported.
// https://learn.microsoft.com/windows/win32/api/stringapiset/nf-stringapiset-widechartomultibyte
struct NameConversion {
    unsigned long flags;    // WC_NO_BEST_FIT_CHARS (0x400) or WC_ERR_INVALID_CHARS (0x80)
    bool askUsedDefault;    // whether lpUsedDefaultChar is given
};
inline NameConversion ConversionFor(unsigned codePage)
{
    enum { UTF8 = 65001, NO_BEST_FIT = 0x400, ERR_INVALID_CHARS = 0x80 };
    return codePage == UTF8 ? NameConversion{ERR_INVALID_CHARS, false}
                            : NameConversion{NO_BEST_FIT, true};
}

// Whether `name` matches the capture's `pattern`: '*' any run of characters, '?' one,
// ASCII letters without case, every other byte as itself (both in one code page).
inline bool NameMatches(const char *pattern, const char *name)
{
    // The last '*' seen and the name's position when it was: on a mismatch, that star
    // takes one more character.
    const char *star = nullptr, *resume = nullptr;
    while (*name != '\0') {
        if (*pattern == '*') {
            star = ++pattern;
            resume = name;
        } else if (*pattern != '\0' &&
                   (*pattern == '?' || AsciiLower(*pattern) == AsciiLower(*name))) {
            ++pattern;
            ++name;
        } else if (star != nullptr) {
            pattern = star;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == '\0';
}
