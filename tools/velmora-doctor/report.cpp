// Writing the report.  Lines are composed in UTF-8 (doctor.h says from which code
// page each piece comes).  On a console they are written as UTF-16 with WriteConsoleW,
// so accents show right whatever the console's code page (850 by default on French
// Windows); redirected to a file or a pipe they are written in the ANSI code page
// (1252 on French Windows), as Notepad and scripts read them.  The JSON form is plain
// ASCII: every other character is written as \uXXXX, so it reads the same under any
// code page.
#include "tools/velmora-doctor/doctor.h"

#include <stdarg.h>
#include <string.h>

static const UINT CP_DOCTOR = 1252;     // the code page of the doctor's own texts

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

void WriteStandard(DWORD which, const char *fixed)
{
    DWORD mode;
    HANDLE out = GetStdHandle(which);
    Text text = {};
    TextAdd(&text, fixed);
    WriteTo(out, GetConsoleMode(out, &mode) != 0, text.bytes, text.length);
    TextFree(&text);
}

void WriteText(DWORD which, const Text *text)
{
    DWORD mode;
    HANDLE out = GetStdHandle(which);
    WriteTo(out, GetConsoleMode(out, &mode) != 0, TextOf(text), text->length);
}

static void WriteAscii(const char *s)
{
    WriteBytes(g_out, s, strlen(s));
}

// A JSON string from text in `codePage`: ASCII as it is, the rest as \uXXXX.
static void WriteJsonString(UINT codePage, const char *s)
{
    int n;
    WCHAR *wide = Wide(codePage, s, strlen(s), &n);
    char buffer[512];
    size_t used = 0;
    buffer[used++] = '"';
    for (int i = 0; wide != NULL && i < n; ++i) {
        if (used + 8 > sizeof buffer) {
            WriteBytes(g_out, buffer, used);
            used = 0;
        }
        WCHAR c = wide[i];
        if (c == '"' || c == '\\') {
            buffer[used++] = '\\';
            buffer[used++] = (char)c;
        } else if (c >= 0x20 && c < 0x7F) {
            buffer[used++] = (char)c;
        } else {
            used += (size_t)wsprintfA(buffer + used, "\\u%04x", (unsigned)c);
        }
    }
    buffer[used++] = '"';
    WriteBytes(g_out, buffer, used);
    if (wide != NULL)
        HeapFree(GetProcessHeap(), 0, wide);
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
        TextAddIn(&line, CP_UTF8, TextOf(text), text->length);
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
    WriteJsonString(CP_ACP, id);
    WriteAscii(",\"status\":");
    WriteJsonString(CP_ACP, StatusIds[status]);
    for (int i = 0; i < fieldCount; ++i) {
        WriteAscii(",");
        WriteJsonString(CP_ACP, fields[i].key);
        WriteAscii(":");
        if (fields[i].text != NULL) {
            WriteJsonString(CP_ACP, fields[i].text);
        } else {
            char number[16];
            wsprintfA(number, "%lu", fields[i].number);
            WriteAscii(number);
        }
    }
    WriteAscii(",\"text\":");
    WriteJsonString(CP_UTF8, TextOf(text));
    if (acting) {
        WriteAscii(",\"action\":");
        WriteJsonString(CP_DOCTOR, action);
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
    return g_problems > 0 ? EXIT_PROBLEM : g_busy > 0 ? EXIT_BUSY : EXIT_SOUND;
}

// Room for `n` more bytes and the NUL.
static bool Reserve(Text *t, size_t n)
{
    if (t->length + n + 1 <= t->capacity)
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
    WCHAR *wide = codePage != CP_UTF8 ? Wide(codePage, bytes, n, &length) : NULL;
    if (codePage == CP_UTF8)
        size = (int)n;
    else if (wide != NULL && length > 0)
        size = WideCharToMultiByte(CP_UTF8, 0, wide, length, NULL, 0, NULL, NULL);
    if (Reserve(t, (size_t)size)) {
        if (codePage == CP_UTF8)
            memcpy(t->bytes + t->length, bytes, n);
        else if (size > 0)
            WideCharToMultiByte(CP_UTF8, 0, wide, length, t->bytes + t->length, size, NULL, NULL);
        t->length += (size_t)size;
        t->bytes[t->length] = '\0';
    }
    if (wide != NULL)
        HeapFree(GetProcessHeap(), 0, wide);
}

void TextAdd(Text *t, const char *fixed)
{
    TextAddIn(t, CP_DOCTOR, fixed, strlen(fixed));
}

void TextAddAnsi(Text *t, const char *read)
{
    TextAddIn(t, CP_ACP, read, strlen(read));
}

void TextFormat(Text *t, const char *format, ...)
{
    // The format into UTF-8 first: its directives are ASCII and stay as they are.
    Text utf8 = {};
    TextAdd(&utf8, format);
    char buffer[1025];
    va_list args;
    va_start(args, format);
    int n = wvsprintfA(buffer, TextOf(&utf8), args);
    va_end(args);
    TextFree(&utf8);
    TextAddIn(t, CP_UTF8, buffer, n > 0 ? (size_t)n : 0);
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
