// Writing the report.  Lines are composed in UTF-8 (doctor.h says from which code
// page each piece comes).  On a console they are written as UTF-16 with WriteConsoleW,
// so accents show right whatever the console's code page (850 by default on French
// Windows); redirected to a file or a pipe they are written in the ANSI code page
// (1252 on French Windows), as Notepad and scripts read them.  The JSON form is plain
// ASCII: every other character is written as \uXXXX, so it reads the same under any
// code page.  Every text, a line, a field or an action, goes into a Text first, and
// from there out: one conversion for each code page it comes from.
#include "tools/velmora-doctor/doctor.h"

#include <stdarg.h>
#include <string.h>

static HANDLE g_out = INVALID_HANDLE_VALUE;
static bool g_console;
static bool g_json;
static int g_checks, g_problems, g_warnings, g_busy;

// The end of the report after a crash, written in advance: on the faulting thread, its
// stack spent or the heap broken, nothing may be formatted or allocated.  Each form is
// what ReportText and EndReport would write for the crash line and the summary at that
// point, kept up to date after each check, with and without the words for a crash
// inside --open; the exception code's eight digits are written in at the crash.
enum { CRASH_ROOM = 2048 };
struct CrashEnd {
    WCHAR wide[CRASH_ROOM];         // for a console
    int wideLength;
    char bytes[CRASH_ROOM];         // redirected (ANSI code page), or JSON
    int byteLength;
    int wideCode, byteCode;         // where the code's digits start; -1: not found
};
static CrashEnd g_crashEnds[2];     // [1]: during --open
static CrashEnd *g_composing;       // the one being written instead of the output
static void PrepareCrashEnds(void);

// `n` UTF-16 units of `from` into a heap block; its length in *length.  None on failure.
static WCHAR *Wide(UINT codePage, const char *from, size_t n, int *length)
{
    *length = n > 0 ? MultiByteToWideChar(codePage, 0, from, (int)n, NULL, 0) : 0;
    WCHAR *wide = (WCHAR *)HeapAlloc(GetProcessHeap(), 0, (size_t)*length * sizeof(WCHAR) + 1);
    if (wide != NULL && *length > 0)
        MultiByteToWideChar(codePage, 0, from, (int)n, wide, *length);
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
static void WriteTo(HANDLE out, bool console, const char *utf8, size_t length)
{
    int n;
    WCHAR *wide = Wide(CP_UTF8, utf8, length, &n);
    if (wide == NULL)
        return;
    DWORD written = 0;
    if (g_composing != NULL && n <= CRASH_ROOM - g_composing->wideLength) {
        memcpy(g_composing->wide + g_composing->wideLength, wide, (size_t)n * sizeof(WCHAR));
        g_composing->wideLength += n;
    }
    if (console && g_composing == NULL) {
        WriteConsoleW(out, wide, (DWORD)n, &written, NULL);
    } else {
        int size = n > 0 ? WideCharToMultiByte(CP_ACP, 0, wide, n, NULL, 0, NULL, NULL) : 0;
        char *ansi = (char *)HeapAlloc(GetProcessHeap(), 0, (size_t)size + 1);
        if (ansi != NULL) {
            WideCharToMultiByte(CP_ACP, 0, wide, n, ansi, size, NULL, NULL);
            WriteBytes(out, ansi, (size_t)size);
            HeapFree(GetProcessHeap(), 0, ansi);
        }
    }
    HeapFree(GetProcessHeap(), 0, wide);
}

void WriteStandardText(DWORD which, const Text *text)
{
    DWORD mode;
    HANDLE out = GetStdHandle(which);
    WriteTo(out, GetConsoleMode(out, &mode) != 0, TextOf(text), text->length);
}

void WriteStandard(DWORD which, const char *fixed)
{
    Text text = {};
    TextAdd(&text, fixed);
    WriteStandardText(which, &text);
    TextFree(&text);
}

static void WriteAscii(const char *s)
{
    WriteBytes(g_out, s, strlen(s));
}

// A JSON string of UTF-8 text.
static void WriteJsonString(const char *utf8, size_t n)
{
    char *json = (char *)HeapAlloc(GetProcessHeap(), 0, 6 * n + 2);
    if (json != NULL) {
        WriteBytes(g_out, json, JsonFromUtf8(utf8, n, json));
        HeapFree(GetProcessHeap(), 0, json);
    }
}

// A JSON string of the doctor's own text, or (`read`) of a text read, ANSI code page.
static void WriteJsonText(const char *text, bool read)
{
    Text utf8 = {};
    if (read)
        TextAddAnsi(&utf8, text);
    else
        TextAdd(&utf8, text);
    WriteJsonString(TextOf(&utf8), utf8.length);
    TextFree(&utf8);
}

void BeginReport(bool json)
{
    DWORD mode;
    g_out = GetStdHandle(STD_OUTPUT_HANDLE);
    g_console = GetConsoleMode(g_out, &mode) != 0;
    g_json = json;
    g_checks = g_problems = g_warnings = g_busy = 0;
    if (json)
        WriteAscii("{\"tool\":\"velmora-doctor\",\"checks\":[\n");
    PrepareCrashEnds();
}

static const char *const StatusIds[] = {"ok", "info", "warning", "busy", "problem"};
static const char *const StatusWords[] = {"OK        ", "INFO      ", "ATTENTION ",
                                          "OCCUP\xc9    ", "PROBL\xc8ME  "};

static void WriteCheck(const char *id, Status status, const Text *text, const char *action,
                       const char *fix, const Field *fields, int fieldCount)
{
    g_problems += status == STATUS_PROBLEM;
    g_warnings += status == STATUS_WARNING;
    g_busy += status == STATUS_BUSY;
    bool acting = action != NULL && action[0] != '\0' && status >= STATUS_WARNING;
    bool fixing = acting && fix != NULL && fix[0] != '\0';
    if (!g_json) {
        Text line = {};
        TextAdd(&line, StatusWords[status]);
        TextAddText(&line, text);
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
        WriteTo(g_out, g_console, TextOf(&line), line.length);
        TextFree(&line);
        return;
    }
    WriteAscii(g_checks++ == 0 ? "{\"check\":" : ",\n{\"check\":");
    WriteJsonText(id, false);
    WriteAscii(",\"status\":");
    WriteJsonText(StatusIds[status], false);
    for (int i = 0; i < fieldCount; ++i) {
        WriteAscii(",");
        WriteJsonText(fields[i].key, false);
        WriteAscii(":");
        if (fields[i].text != NULL) {
            WriteJsonText(fields[i].text, true);
        } else {
            char number[16];
            wsprintfA(number, "%lu", fields[i].number);
            WriteAscii(number);
        }
    }
    WriteAscii(",\"text\":");
    WriteJsonString(TextOf(text), text->length);
    if (acting) {
        WriteAscii(",\"action\":");
        WriteJsonText(action, false);
    }
    if (fixing) {
        WriteAscii(",\"fix\":");
        WriteJsonText(fix, true);
    }
    WriteAscii("}");
}

void ReportFix(const char *id, Status status, const Text *text, const char *action,
               const char *fix, const Field *fields, int fieldCount)
{
    WriteCheck(id, status, text, action, fix, fields, fieldCount);
    PrepareCrashEnds();
}

void ReportText(const char *id, Status status, const Text *text, const char *action,
                const Field *fields, int fieldCount)
{
    ReportFix(id, status, text, action, NULL, fields, fieldCount);
}

void Report(const char *id, Status status, const char *fixed, const char *action,
            const Field *fields, int fieldCount)
{
    Text text = {};
    TextAdd(&text, fixed);
    ReportText(id, status, &text, action, fields, fieldCount);
    TextFree(&text);
}

static int WriteEnd(void)
{
    Text line = {};
    const char *verdict = g_problems > 0 ? "problem" : g_busy > 0 ? "busy" : "sound";
    if (g_json)
        TextFormat(&line, "\n],\"verdict\":\"%s\",\"problems\":%d,\"warnings\":%d,\"busy\":%d}\n",
                   verdict, g_problems, g_warnings, g_busy);
    else if (g_problems > 0)
        TextFormat(&line, "Bilan : %d probl\xe8me%s, %d avertissement%s.\r\n", g_problems,
                   g_problems > 1 ? "s" : "", g_warnings, g_warnings > 1 ? "s" : "");
    else
        TextFormat(&line, "Bilan : installation saine%s (%d avertissement%s).\r\n",
                   g_busy > 0 ? ", mais occup\xe9" "e pour l'instant : r\xe9" "essayez plus tard"
                              : "",
                   g_warnings, g_warnings > 1 ? "s" : "");
    WriteTo(g_out, g_console && !g_json, TextOf(&line), line.length);
    TextFree(&line);
    return ExitCodeOf(g_problems, g_busy);
}

int EndReport(void)
{
    g_crashEnds[0].byteLength = g_crashEnds[1].byteLength = 0;      // nothing after the end
    g_crashEnds[0].wideLength = g_crashEnds[1].wideLength = 0;
    return WriteEnd();
}

// The crash's code stands as this in the forms written in advance.
static const char CodeMark[] = "0xFFFFFFFF";

// Where the code's digits start in a form, after its "0x"; -1 when it holds no mark.
static int FindMarkIn(const char *bytes, int length)
{
    int n = (int)sizeof CodeMark - 1;
    for (int i = 0; i + n <= length; ++i) {
        if (memcmp(bytes + i, CodeMark, (size_t)n) == 0)
            return i + 2;
    }
    return -1;
}

static int FindMarkInWide(const WCHAR *wide, int length)
{
    int n = (int)sizeof CodeMark - 1;
    for (int i = 0; i + n <= length; ++i) {
        int same = 0;
        while (same < n && wide[i + same] == (WCHAR)CodeMark[same])
            ++same;
        if (same == n)
            return i + 2;
    }
    return -1;
}

// Writes both ends for the counts as they are now; the counts are left as they were.
static void PrepareCrashEnds(void)
{
    int checks = g_checks, problems = g_problems, warnings = g_warnings, busy = g_busy;
    for (int during = 0; during < 2; ++during) {
        CrashEnd *end = &g_crashEnds[during];
        end->wideLength = end->byteLength = 0;
        g_composing = end;
        Text line = {};
        TextFormat(&line, "Le docteur s'arr\xeate sur l'exception %s%s", CodeMark,
                   during ? " pendant --open, dans le code de nNOTES.dll" : "");
        WriteCheck("crash", STATUS_PROBLEM, &line,
                   "r\xe9installez le client Notes, et signalez-le avec ce rapport", NULL, NULL, 0);
        TextFree(&line);
        WriteEnd();
        g_composing = NULL;
        end->wideCode = FindMarkInWide(end->wide, end->wideLength);
        end->byteCode = FindMarkIn(end->bytes, end->byteLength);
        g_checks = checks;
        g_problems = problems;
        g_warnings = warnings;
        g_busy = busy;
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

// Room for `n` more bytes and the NUL.
static bool Reserve(Text *t, size_t n)
{
    if (t->bytes != NULL && t->length + n + 1 <= t->capacity)
        return true;
    size_t capacity = (t->length + n + 1) * 2;
    char *grown = t->bytes == NULL ? (char *)HeapAlloc(GetProcessHeap(), 0, capacity)
                                   : (char *)HeapReAlloc(GetProcessHeap(), 0, t->bytes, capacity);
    if (grown == NULL)
        return false;
    t->bytes = grown;
    t->capacity = capacity;
    return true;
}

void TextAddIn(Text *t, UINT codePage, const char *bytes, size_t n)
{
    int length = 0, size = 0;
    WCHAR *wide = Wide(codePage, bytes, n, &length);
    if (wide != NULL && length > 0)
        size = WideCharToMultiByte(CP_UTF8, 0, wide, length, NULL, 0, NULL, NULL);
    if (size > 0 && Reserve(t, (size_t)size)) {
        WideCharToMultiByte(CP_UTF8, 0, wide, length, t->bytes + t->length, size, NULL, NULL);
        t->length += (size_t)size;
        t->bytes[t->length] = '\0';
    }
    if (wide != NULL)
        HeapFree(GetProcessHeap(), 0, wide);
}

static void TextAddFixed(Text *t, const char *fixed, size_t n)
{
    if (Reserve(t, 3 * n)) {
        t->length += Utf8From1252(fixed, n, t->bytes + t->length);
        t->bytes[t->length] = '\0';
    }
}

void TextAddAnsi(Text *t, const char *read)
{
    TextAddIn(t, CP_ACP, read, strlen(read));
}

void TextAdd(Text *t, const char *fixed)
{
    TextAddFixed(t, fixed, strlen(fixed));
}

void TextAddText(Text *t, const Text *more)
{
    if (more->length > 0 && Reserve(t, more->length)) {
        memcpy(t->bytes + t->length, more->bytes, more->length);
        t->length += more->length;
        t->bytes[t->length] = '\0';
    }
}

// NOLINTNEXTLINE(cert-dcl50-cpp): wsprintfA's own variadic form, ASCII directives only
void TextFormat(Text *t, const char *format, ...)
{
    // Formatted in Windows-1252, then converted once.
    char buffer[1025];
    va_list args;
    va_start(args, format);
    int n = wvsprintfA(buffer, format, args);
    va_end(args);
    TextAddFixed(t, buffer, n > 0 ? (size_t)n : 0);
}

const char *TextOf(const Text *t)
{
    return t->bytes != NULL ? t->bytes : "";
}

void TextClear(Text *t)
{
    t->length = 0;
    if (t->bytes != NULL)
        t->bytes[0] = '\0';
}

void TextFree(Text *t)
{
    if (t->bytes != NULL)
        HeapFree(GetProcessHeap(), 0, t->bytes);
    t->bytes = NULL;
    t->length = t->capacity = 0;
}
