// Writing the report.  Lines are composed in UTF-8 (doctor.h says from which code
// page each piece comes).  On a console they are written as UTF-16 with WriteConsoleW,
// so accents show right whatever the console's code page (850 by default on French
// Windows); redirected to a file or a pipe they are written in the ANSI code page
// (1252 on French Windows), as Notepad and scripts read them.  The JSON form is plain
// ASCII: every other character is written as \uXXXX, so it reads the same under any
// code page.  Every text, a line, a field or an action, goes into UTF-8 first, and
// from there out: one conversion for each code page it comes from.
#include "tools/velmora-doctor/doctor.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

static HANDLE g_out = INVALID_HANDLE_VALUE;
static bool g_console;
static bool g_json;
static struct Counts {
    int checks, problems, warnings, busy;
} g_count;

// The end of the report after a crash, written in advance: on the faulting thread, its
// stack spent or the heap broken, nothing may be formatted or allocated.  Each form is
// what ReportText and EndReport would write for the crash line and the summary at that
// point, kept up to date after each check, with and without the words for a crash
// inside --open; the exception code's eight digits are written in at the crash.
enum { CRASH_ROOM = 2048 };
struct CrashEnd {
    WCHAR wide[CRASH_ROOM + 1];     // for a console; each ends with a NUL
    int wideLength;
    char bytes[CRASH_ROOM + 1];     // redirected (ANSI code page), or JSON
    int byteLength;
    int wideCode, byteCode;         // where the code's digits start; -1: not found
};
static CrashEnd g_crashEnds[2];     // [1]: during --open
static CrashEnd *g_composing;       // the one being written instead of the output
static void PrepareCrashEnds(void);

static std::wstring Wide(UINT codePage, const char *from, size_t n)
{
    int length = n > 0 ? MultiByteToWideChar(codePage, 0, from, (int)n, NULL, 0) : 0;
    std::wstring wide((size_t)length, L'\0');
    if (length > 0)
        MultiByteToWideChar(codePage, 0, from, (int)n, &wide[0], length);
    return wide;
}

static void WriteBytes(HANDLE out, const char *bytes, size_t length)
{
    DWORD written = 0;
    if (g_composing == NULL) {
        WriteFile(out, bytes, (DWORD)length, &written, NULL);
    } else if (g_composing->byteLength + length <= CRASH_ROOM) {
        memcpy(g_composing->bytes + g_composing->byteLength, bytes, length);
        g_composing->byteLength += (int)length;
    }
}

// UTF-8 text to a console as UTF-16, or elsewhere in the ANSI code page.
static void WriteTo(HANDLE out, bool console, const std::string &utf8)
{
    std::wstring wide = Wide(CP_UTF8, utf8.data(), utf8.size());
    int n = (int)wide.size();
    DWORD written = 0;
    if (g_composing != NULL && n <= CRASH_ROOM - g_composing->wideLength) {
        memcpy(g_composing->wide + g_composing->wideLength, wide.data(), (size_t)n * sizeof(WCHAR));
        g_composing->wideLength += n;
    }
    if (console && g_composing == NULL) {
        WriteConsoleW(out, wide.data(), (DWORD)n, &written, NULL);
        return;
    }
    int size = n > 0 ? WideCharToMultiByte(CP_ACP, 0, wide.data(), n, NULL, 0, NULL, NULL) : 0;
    std::string ansi((size_t)size, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_ACP, 0, wide.data(), n, &ansi[0], size, NULL, NULL);
    WriteBytes(out, ansi.data(), ansi.size());
}

void WriteStandardText(DWORD which, const std::string *text)
{
    DWORD mode;
    HANDLE out = GetStdHandle(which);
    WriteTo(out, GetConsoleMode(out, &mode) != 0, *text);
}

void WriteStandard(DWORD which, const char *fixed)
{
    std::string text;
    TextAdd(&text, fixed);
    WriteStandardText(which, &text);
}

static void WriteAscii(const char *s)
{
    WriteBytes(g_out, s, strlen(s));
}

// A JSON string in ASCII: '"' and '\\' escaped, every other character outside printable
// ASCII as \uXXXX, one for each of its UTF-16 units.
static void WriteJsonString(const std::string &utf8)
{
    std::wstring wide = Wide(CP_UTF8, utf8.data(), utf8.size());
    std::string json = "\"";
    for (WCHAR c : wide) {
        char piece[8];
        if (c == '"' || c == '\\')
            wsprintfA(piece, "\\%c", c);
        else if (c >= 0x20 && c < 0x7F)
            wsprintfA(piece, "%c", c);
        else
            wsprintfA(piece, "\\u%04x", c);
        json += piece;
    }
    json += '"';
    WriteBytes(g_out, json.data(), json.size());
}

// A JSON string of the doctor's own text, or (`read`) of a text read, ANSI code page.
static void WriteJsonText(const char *text, bool read)
{
    std::string utf8;
    if (read)
        TextAddAnsi(&utf8, text);
    else
        TextAdd(&utf8, text);
    WriteJsonString(utf8);
}

// ,"key": and a JSON string of `text` (the doctor's own, or `read`), or with no text
// the number.
static void WriteMember(const char *key, const char *text, bool read, unsigned long number)
{
    WriteAscii(",");
    WriteJsonText(key, false);
    WriteAscii(":");
    if (text != NULL) {
        WriteJsonText(text, read);
        return;
    }
    char digits[16];
    wsprintfA(digits, "%lu", number);
    WriteAscii(digits);
}

void BeginReport(bool json)
{
    DWORD mode;
    g_out = GetStdHandle(STD_OUTPUT_HANDLE);
    g_console = GetConsoleMode(g_out, &mode) != 0;
    g_json = json;
    if (json)
        WriteAscii("{\"tool\":\"velmora-doctor\",\"checks\":[\n");
    PrepareCrashEnds();
}

static const char *const StatusIds[] = {"ok", "info", "warning", "busy", "problem"};
static const char *const StatusWords[] = {"OK        ", "INFO      ", "ATTENTION ",
                                          "OCCUP\xc9    ", "PROBL\xc8ME  "};

static void WriteCheck(const char *id, Status status, const std::string *text, const char *action,
                       const char *fix, const Field *fields, int fieldCount)
{
    g_count.problems += status == STATUS_PROBLEM;
    g_count.warnings += status == STATUS_WARNING;
    g_count.busy += status == STATUS_BUSY;
    bool acting = action != NULL && action[0] != '\0' && status >= STATUS_WARNING;
    bool fixing = acting && fix != NULL && fix[0] != '\0';
    if (!g_json) {
        std::string line;
        TextAdd(&line, StatusWords[status]);
        line += *text;
        if (acting) {
            TextAdd(&line, " ; \xe0 faire : ");
            TextAdd(&line, action);
        }
        TextAdd(&line, "\r\n");
        // The command alone on its line, under the text, to be copied whole.
        if (fixing) {
            TextAdd(&line, "          ");
            TextAddAnsi(&line, fix);
            TextAdd(&line, "\r\n");
        }
        WriteTo(g_out, g_console, line);
        return;
    }
    WriteAscii(g_count.checks++ == 0 ? "{\"check\":" : ",\n{\"check\":");
    WriteJsonText(id, false);
    WriteMember("status", StatusIds[status], false, 0);
    for (int i = 0; i < fieldCount; ++i)
        WriteMember(fields[i].key, fields[i].text, true, fields[i].number);
    WriteAscii(",\"text\":");
    WriteJsonString(*text);
    if (acting)
        WriteMember("action", action, false, 0);
    if (fixing)
        WriteMember("fix", fix, true, 0);
    WriteAscii("}");
}

void ReportText(const char *id, Status status, const std::string *text, const char *action,
                const Field *fields, int fieldCount, const char *fix)
{
    WriteCheck(id, status, text, action, fix, fields, fieldCount);
    PrepareCrashEnds();
}

void Report(const char *id, Status status, const char *fixed, const char *action,
            const Field *fields, int fieldCount)
{
    std::string text;
    TextAdd(&text, fixed);
    ReportText(id, status, &text, action, fields, fieldCount);
}

static int WriteEnd(void)
{
    std::string line;
    const Counts &n = g_count;
    const char *verdict = n.problems > 0 ? "problem" : n.busy > 0 ? "busy" : "sound";
    if (g_json)
        TextFormat(&line, "\n],\"verdict\":\"%s\",\"problems\":%d,\"warnings\":%d,\"busy\":%d}\n",
                   verdict, n.problems, n.warnings, n.busy);
    else if (n.problems > 0)
        TextFormat(&line, "Bilan : %d probl\xe8me%s, %d avertissement%s.\r\n", n.problems,
                   n.problems > 1 ? "s" : "", n.warnings, n.warnings > 1 ? "s" : "");
    else
        TextFormat(&line, "Bilan : installation saine%s (%d avertissement%s).\r\n",
                   n.busy > 0 ? ", mais occup\xe9" "e pour l'instant : r\xe9" "essayez plus tard"
                              : "",
                   n.warnings, n.warnings > 1 ? "s" : "");
    WriteTo(g_out, g_console && !g_json, line);
    return ExitCodeOf(n.problems, n.busy);
}

int EndReport(void)
{
    g_crashEnds[0].byteLength = g_crashEnds[1].byteLength = 0;      // nothing after the end
    g_crashEnds[0].wideLength = g_crashEnds[1].wideLength = 0;
    return WriteEnd();
}

// The crash's code stands as this in the forms written in advance.
static const char CodeMark[] = "0xFFFFFFFF";
static const WCHAR WideCodeMark[] = L"0xFFFFFFFF";

// Writes both ends for the counts as they are now; the counts are left as they were.
static void PrepareCrashEnds(void)
{
    Counts saved = g_count;
    for (int during = 0; during < 2; ++during) {
        CrashEnd *end = &g_crashEnds[during];
        end->wideLength = end->byteLength = 0;
        g_composing = end;
        std::string line;
        TextFormat(&line, "Le docteur s'arr\xeate sur l'exception %s%s", CodeMark,
                   during ? " pendant --open, dans le code de nNOTES.dll" : "");
        WriteCheck("crash", STATUS_PROBLEM, &line,
                   "r\xe9installez le client Notes, et signalez-le avec ce rapport", NULL, NULL, 0);
        WriteEnd();
        g_composing = NULL;
        end->wide[end->wideLength] = L'\0';
        end->bytes[end->byteLength] = '\0';
        const WCHAR *wideMark = wcsstr(end->wide, WideCodeMark);
        const char *byteMark = strstr(end->bytes, CodeMark);
        end->wideCode = wideMark != NULL ? (int)(wideMark - end->wide) + 2 : -1;
        end->byteCode = byteMark != NULL ? (int)(byteMark - end->bytes) + 2 : -1;
        g_count = saved;
    }
}

// Runs on the faulting thread: no allocation, no formatting, a few hundred bytes of
// stack.  Ends the process with the exit code of a problem found.
static LONG WINAPI ReportCrash(EXCEPTION_POINTERS *info)
{
    static const char Hex[] = "0123456789ABCDEF";
    CrashEnd *end = &g_crashEnds[OpenRunning() ? 1 : 0];
    DWORD code = info->ExceptionRecord->ExceptionCode;
    for (int i = 0; i < 8; ++i) {
        char digit = Hex[(code >> (28 - 4 * i)) & 0xF];
        if (end->wideCode >= 0)
            end->wide[end->wideCode + i] = (WCHAR)digit;
        if (end->byteCode >= 0)
            end->bytes[end->byteCode + i] = digit;
    }
    DWORD written = 0;
    if (g_console && !g_json)
        WriteConsoleW(g_out, end->wide, (DWORD)end->wideLength, &written, NULL);
    else
        WriteFile(g_out, end->bytes, (DWORD)end->byteLength, &written, NULL);
    TerminateProcess(GetCurrentProcess(), EXIT_PROBLEM);
    return EXCEPTION_EXECUTE_HANDLER;
}

void ReportCrashes(void)
{
    SetUnhandledExceptionFilter(ReportCrash);
}

void TextAddIn(std::string *t, UINT codePage, const char *bytes, size_t n)
{
    std::wstring wide = Wide(codePage, bytes, n);
    int length = (int)wide.size();
    int size = length > 0 ? WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, NULL, 0, NULL, NULL)
                          : 0;
    if (size > 0) {
        size_t at = t->size();
        t->resize(at + (size_t)size);
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, &(*t)[at], size, NULL, NULL);
    }
}

void TextAddAnsi(std::string *t, const char *read)
{
    TextAddIn(t, CP_ACP, read, strlen(read));
}

void TextAdd(std::string *t, const char *fixed)
{
    TextAddIn(t, 1252, fixed, strlen(fixed));
}

// Formatted in Windows-1252, then converted once.
// NOLINTNEXTLINE(cert-dcl50-cpp): printf's own variadic form, checked by its attribute
void TextFormat(std::string *t, const char *format, ...)
{
    va_list args, again;
    va_start(args, format);
    va_copy(again, args);
    // msvcrt's own: the C99 vsnprintf of mingw-w64 brings 60 KiB of floating point.
    int n = _vscprintf(format, args);
    va_end(args);
    std::string fixed(n > 0 ? (size_t)n + 1 : 1, '\0');
    if (n > 0)
        (void)_vsnprintf(&fixed[0], fixed.size(), format, again);
    va_end(again);
    TextAddIn(t, 1252, fixed.data(), n > 0 ? (size_t)n : 0);
}
