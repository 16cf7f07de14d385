// The doctor's decisions free of Windows (decisions.h): plain comparisons over what
// the Windows side read, so that the host tests can hold each one to its table.
#include "tools/velmora-doctor/decisions.h"

#include <string.h>

#include "tools/common/args.h"

int ExitCodeOf(int problems, int busy)
{
    return problems > 0 ? EXIT_PROBLEM : busy > 0 ? EXIT_BUSY : EXIT_SOUND;
}

enum OptionId {
    OPTION_JSON, OPTION_OPEN, OPTION_PROGRAM, OPTION_JOB, OPTION_TIMEOUT, OPTION_HELP,
    OPTION_VERSION, OPTION_CHECK_SETTINGS, OPTION_CAPTURE
};
static const ArgOption OptionTable[] = {
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

Request ParseOptions(int argc, char **argv, Options *o)
{
    Options none = {false, false, NULL, NULL, 60, NULL, NULL};
    *o = none;
    ArgReader r = ArgsOf(OptionTable, sizeof OptionTable / sizeof OptionTable[0], argc, argv,
                         1, false);
    for (Arg a = NextArg(&r); a.event != ARG_END; a = NextArg(&r)) {
        if (a.event != ARG_OPTION)
            return REQUEST_BAD;
        bool alone = r.next == 2 && argc == 2;
        uint64_t seconds = 0;
        switch ((OptionId)a.id) {
        case OPTION_JSON:
            o->json = true;
            break;
        case OPTION_OPEN:
            o->open = true;
            break;
        case OPTION_PROGRAM:
            o->program = a.value;
            if (a.value[0] == '\0')
                return REQUEST_BAD;
            break;
        case OPTION_JOB:
            o->job = a.value;
            if (a.value[0] == '\0')
                return REQUEST_BAD;
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

// The PE format's values (Microsoft's "PE Format" page): IMAGE_FILE_MACHINE_I386,
// IMAGE_NT_OPTIONAL_HDR32_MAGIC, IMAGE_FILE_DLL.
enum { MACHINE_I386 = 0x014C, MAGIC_PE32 = 0x010B, CHARACTERISTIC_DLL = 0x2000 };

ImageVerdict JudgeImage(const ImageHeader *header)
{
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

ValueVerdict JudgeValue(bool view64, bool presentIn32, bool sameAs32, bool namesSomething)
{
    if (view64 && presentIn32 && !sameAs32)
        return VALUE_HIDDEN;
    return namesSomething ? VALUE_USED : VALUE_NAMES_NOTHING;
}

static char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

bool SameFolder(const char *a, const char *b)
{
    const char *endA = strrchr(a, '\\'), *endB = strrchr(b, '\\');
    if (endA == NULL || endB == NULL || endA - a != endB - b)
        return false;
    for (; a < endA; ++a, ++b) {
        if (Lower(*a) != Lower(*b))
            return false;
    }
    return true;
}

// The characters of 1252's bytes 0x80 to 0x9F (Microsoft's table of code page 1252).
static const unsigned short High1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

size_t Utf8From1252(const char *in, size_t n, char *out)
{
    size_t length = 0;
    for (size_t i = 0; i < n; ++i) {
        unsigned char byte = (unsigned char)in[i];
        unsigned c = byte >= 0x80 && byte < 0xA0 ? High1252[byte - 0x80] : byte;
        if (c < 0x80) {
            out[length++] = (char)c;
        } else if (c < 0x800) {
            out[length++] = (char)(0xC0 | (c >> 6));
            out[length++] = (char)(0x80 | (c & 0x3F));
        } else {
            out[length++] = (char)(0xE0 | (c >> 12));
            out[length++] = (char)(0x80 | ((c >> 6) & 0x3F));
            out[length++] = (char)(0x80 | (c & 0x3F));
        }
    }
    return length;
}

// The character at `in` (at most `n` bytes), its byte count in *used; U+FFFD and one
// byte for a malformed or overlong sequence or a surrogate.
static unsigned long DecodeUtf8(const unsigned char *in, size_t n, size_t *used)
{
    static const unsigned long Least[5] = {0, 0, 0x80, 0x800, 0x10000};
    size_t count = in[0] < 0x80 ? 1 : in[0] >= 0xC2 && in[0] < 0xE0 ? 2
                   : in[0] >= 0xE0 && in[0] < 0xF0 ? 3 : in[0] >= 0xF0 && in[0] < 0xF5 ? 4 : 0;
    unsigned long c = count == 1 ? in[0] : count == 2 ? in[0] & 0x1Fu
                      : count == 3 ? in[0] & 0x0Fu : in[0] & 0x07u;
    bool formed = count != 0 && count <= n;
    for (size_t i = 1; formed && i < count; ++i) {
        formed = (in[i] & 0xC0) == 0x80;
        c = (c << 6) | (in[i] & 0x3Fu);
    }
    formed = formed && c >= Least[count] && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
    *used = formed ? count : 1;
    return formed ? c : 0xFFFD;
}

static size_t Escape(unsigned long unit, char *out)
{
    static const char Hex[] = "0123456789abcdef";
    out[0] = '\\';
    out[1] = 'u';
    for (int i = 0; i < 4; ++i)
        out[2 + i] = Hex[(unit >> (12 - 4 * i)) & 0xF];
    return 6;
}

size_t JsonFromUtf8(const char *in, size_t n, char *out)
{
    size_t length = 0, used = 0;
    out[length++] = '"';
    for (size_t i = 0; i < n; i += used) {
        unsigned long c = DecodeUtf8((const unsigned char *)in + i, n - i, &used);
        if (c == '"' || c == '\\') {
            out[length++] = '\\';
            out[length++] = (char)c;
        } else if (c >= 0x20 && c < 0x7F) {
            out[length++] = (char)c;
        } else if (c < 0x10000) {
            length += Escape(c, out + length);
        } else {
            length += Escape(0xD800 + ((c - 0x10000) >> 10), out + length);
            length += Escape(0xDC00 + ((c - 0x10000) & 0x3FF), out + length);
        }
    }
    out[length++] = '"';
    return length;
}

OpenDecision DecideOpen(const OpenFacts *facts)
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

ValueFix DecideValueFix(RefusalRule rule, const ValueRecord *record)
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

// Appends `s` at out[*length]; false when it does not fit with the NUL.
static bool Append(const char *s, char *out, size_t size, size_t *length)
{
    size_t n = strlen(s);
    if (*length + n >= size)
        return false;
    memcpy(out + *length, s, n + 1);
    *length += n;
    return true;
}

// reg.exe reads its arguments as the C runtime does: backslashes before a closing quote
// are doubled, and a '"' inside cannot be given.  In cmd, '%' would expand a variable.
// /reg:32 writes the 32-bit view, the one the program reads first, from a 64-bit cmd
// too (learn.microsoft.com: "reg add").
bool WriteValueCommand(const char *name, const char *text, char *out, size_t size)
{
    size_t length = 0, n = strlen(text);
    if (strpbrk(text, "\"%") != NULL || n == 0)
        return false;
    size_t trailing = 0;
    while (trailing < n && text[n - 1 - trailing] == '\\')
        ++trailing;
    bool fits = Append("reg add \"HKLM\\SOFTWARE\\Zabrel\\Velmora\\Stellwick\" /v ", out, size,
                       &length) &&
                Append(name, out, size, &length) &&
                Append(" /t REG_SZ /d \"", out, size, &length) && Append(text, out, size, &length);
    for (size_t i = 0; fits && i < trailing; ++i)
        fits = Append("\\", out, size, &length);
    return fits && Append("\" /f /reg:32", out, size, &length);
}

bool DeleteValue64Command(const char *name, char *out, size_t size)
{
    size_t length = 0;
    return Append("reg delete \"HKLM\\SOFTWARE\\Zabrel\\Velmora\\Stellwick\" /v ", out, size,
                  &length) &&
           Append(name, out, size, &length) && Append(" /f /reg:64", out, size, &length);
}

// The repair of the installed product from its cached package, by ProductCode: "o"
// files older or missing, "m" and "u" the registry entries, "s" shortcuts
// (learn.microsoft.com: "msiexec", repair options); /norestart, or /qn may restart.
bool RepairCommand(const char *productCode, char *out, size_t size)
{
    size_t length = 0;
    return productCode[0] == '{' && strpbrk(productCode, " \"%") == NULL &&
           Append("msiexec /fomus ", out, size, &length) &&
           Append(productCode, out, size, &length) &&
           Append(" /qn /norestart", out, size, &length);
}

// ` NAME="text"`, a text msiexec can carry: no '"', no trailing backslash before the
// closing quote, no '%' for cmd.
static bool AppendProperty(const char *name, const char *text, char *out, size_t size,
                           size_t *length)
{
    size_t n = strlen(text);
    return n > 0 && text[n - 1] != '\\' && strpbrk(text, "\"%") == NULL &&
           Append(" ", out, size, length) && Append(name, out, size, length) &&
           Append("=\"", out, size, length) && Append(text, out, size, length) &&
           Append("\"", out, size, length);
}

// In cmd, msiexec (a Windows program) runs on without being waited for: "start /wait"
// waits, and gives its exit code to "&&".
bool InstallIntoCommand(const char *version, const char *folder, const char *client,
                        const char *database, const char *productCode, char *out, size_t size)
{
    const char *last = strrchr(version, '.');
    char release[32];
    size_t length = 0, kept = last != NULL ? (size_t)(last - version) : 0;
    if (kept == 0 || kept >= sizeof release)
        return false;
    memcpy(release, version, kept);
    release[kept] = '\0';
    bool removing = productCode[0] != '\0';
    bool fits = true;
    if (removing)
        fits = productCode[0] == '{' && strpbrk(productCode, " \"%") == NULL &&
               Append("start /wait msiexec /x ", out, size, &length) &&
               Append(productCode, out, size, &length) &&
               Append(" /qn /norestart && start /wait ", out, size, &length);
    return fits && Append("msiexec /i velmora-notes-", out, size, &length) &&
           Append(release, out, size, &length) && Append(".msi", out, size, &length) &&
           AppendProperty("INSTALLDIR", folder, out, size, &length) &&
           AppendProperty("LN_APPLI", client, out, size, &length) &&
           AppendProperty("LN_BASE", database, out, size, &length) &&
           Append(" /qn /norestart", out, size, &length);
}
