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
    WriteFile(out, bytes, (DWORD)length, &written, NULL);
}

// UTF-8 text to a console as UTF-16, or elsewhere in the ANSI code page.
static void WriteTo(HANDLE out, bool console, const char *utf8, size_t length)
{
    int n;
    WCHAR *wide = Wide(CP_UTF8, utf8, length, &n);
    if (wide == NULL)
        return;
    DWORD written = 0;
    if (console) {
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
}

static const char *const StatusIds[] = {"ok", "info", "warning", "busy", "problem"};
static const char *const StatusWords[] = {"OK        ", "INFO      ", "ATTENTION ",
                                          "OCCUP\xc9    ", "PROBL\xc8ME  "};

void ReportText(const char *id, Status status, const Text *text, const char *action,
                const Field *fields, int fieldCount)
{
    g_problems += status == STATUS_PROBLEM;
    g_warnings += status == STATUS_WARNING;
    g_busy += status == STATUS_BUSY;
    bool acting = action != NULL && action[0] != '\0' && status >= STATUS_WARNING;
    if (!g_json) {
        Text line = {};
        TextAdd(&line, StatusWords[status]);
        TextAddText(&line, text);
        if (acting) {
            TextAdd(&line, " ; \xe0 faire : ");
            TextAdd(&line, action);
        }
        TextAdd(&line, "\r\n");
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
    WriteAscii("}");
}

void Report(const char *id, Status status, const char *fixed, const char *action,
            const Field *fields, int fieldCount)
{
    Text text = {};
    TextAdd(&text, fixed);
    ReportText(id, status, &text, action, fields, fieldCount);
    TextFree(&text);
}

int EndReport(void)
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
