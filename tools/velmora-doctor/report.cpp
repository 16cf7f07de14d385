// Writing the report.  Texts are ANSI (Windows-1252 on French Windows).  On a console
// they are written as UTF-16 with WriteConsoleW, so accents show right whatever the
// console's code page (850 by default on French Windows); redirected to a file or a
// pipe they stay ANSI bytes.  The JSON form is plain ASCII: every other character is
// written as \uXXXX, so it reads the same under any code page.
#include "tools/velmora-doctor/doctor.h"

#include <stdarg.h>
#include <string.h>

static HANDLE g_out = INVALID_HANDLE_VALUE;
static bool g_console;
static bool g_json;
static int g_checks, g_problems, g_warnings;

static void WriteTo(HANDLE out, bool console, const char *bytes, size_t length)
{
    if (console) {
        while (length > 0) {
            WCHAR wide[512];
            int piece = (int)(length < 512 ? length : 512);
            int n = MultiByteToWideChar(CP_ACP, 0, bytes, piece, wide, 512);
            DWORD written = 0;
            WriteConsoleW(out, wide, (DWORD)n, &written, NULL);
            bytes += piece;
            length -= (size_t)piece;
        }
        return;
    }
    DWORD written = 0;
    WriteFile(out, bytes, (DWORD)length, &written, NULL);
}

static void Write(const char *bytes, size_t length)
{
    WriteTo(g_out, g_console, bytes, length);
}

void WriteStandard(DWORD which, const char *text)
{
    DWORD mode;
    HANDLE out = GetStdHandle(which);
    WriteTo(out, GetConsoleMode(out, &mode) != 0, text, strlen(text));
}

static void WriteText(const char *s)
{
    Write(s, strlen(s));
}

static void WriteJsonString(const char *s)
{
    char buffer[512];
    size_t used = 0;
    Write("\"", 1);
    for (; *s != '\0'; ++s) {
        unsigned char c = (unsigned char)*s;
        if (used + 8 > sizeof buffer) {
            Write(buffer, used);
            used = 0;
        }
        if (c == '"' || c == '\\') {
            buffer[used++] = '\\';
            buffer[used++] = (char)c;
        } else if (c >= 0x20 && c < 0x7F) {
            buffer[used++] = (char)c;
        } else {
            WCHAR wide = c;
            if (c >= 0x80)
                MultiByteToWideChar(CP_ACP, 0, s, 1, &wide, 1);
            used += (size_t)wsprintfA(buffer + used, "\\u%04x", (unsigned)wide);
        }
    }
    Write(buffer, used);
    Write("\"", 1);
}

void BeginReport(bool json)
{
    DWORD mode;
    g_out = GetStdHandle(STD_OUTPUT_HANDLE);
    g_console = GetConsoleMode(g_out, &mode) != 0;
    g_json = json;
    g_checks = g_problems = g_warnings = 0;
    if (json)
        WriteText("{\"tool\":\"velmora-doctor\",\"checks\":[\n");
}

static const char *const StatusIds[] = {"ok", "info", "warning", "problem"};
static const char *const StatusWords[] = {"OK        ", "INFO      ", "ATTENTION ",
                                          "PROBL\xc8ME  "};

void Report(const char *id, Status status, const char *text, const char *action,
            const Field *fields, int fieldCount)
{
    g_problems += status == STATUS_PROBLEM;
    g_warnings += status == STATUS_WARNING;
    if (!g_json) {
        WriteText(StatusWords[status]);
        WriteText(text);
        if (action != NULL && action[0] != '\0' && status >= STATUS_WARNING) {
            WriteText(" ; \xe0 faire : ");
            WriteText(action);
        }
        WriteText("\r\n");
        return;
    }
    WriteText(g_checks++ == 0 ? "{\"check\":" : ",\n{\"check\":");
    WriteJsonString(id);
    WriteText(",\"status\":");
    WriteJsonString(StatusIds[status]);
    for (int i = 0; i < fieldCount; ++i) {
        WriteText(",");
        WriteJsonString(fields[i].key);
        WriteText(":");
        if (fields[i].text != NULL) {
            WriteJsonString(fields[i].text);
        } else {
            char number[16];
            wsprintfA(number, "%lu", fields[i].number);
            WriteText(number);
        }
    }
    WriteText(",\"text\":");
    WriteJsonString(text);
    if (action != NULL && action[0] != '\0' && status >= STATUS_WARNING) {
        WriteText(",\"action\":");
        WriteJsonString(action);
    }
    WriteText("}");
}

int EndReport(void)
{
    char line[160];
    if (g_json) {
        wsprintfA(line, "\n],\"verdict\":\"%s\",\"problems\":%d,\"warnings\":%d}\n",
                  g_problems > 0 ? "problem" : "sound", g_problems, g_warnings);
        WriteText(line);
    } else if (g_problems == 0) {
        wsprintfA(line, "Bilan : installation saine (%d avertissement%s).\r\n", g_warnings,
                  g_warnings > 1 ? "s" : "");
        WriteText(line);
    } else {
        wsprintfA(line, "Bilan : %d probl\xe8me%s, %d avertissement%s.\r\n", g_problems,
                  g_problems > 1 ? "s" : "", g_warnings, g_warnings > 1 ? "s" : "");
        WriteText(line);
    }
    return g_problems > 0 ? 1 : 0;
}

void TextAddBytes(Text *t, const char *s, size_t n)
{
    if (t->length + n + 1 > t->capacity) {
        size_t capacity = (t->length + n + 1) * 2;
        char *bytes = t->bytes == NULL
                          ? (char *)HeapAlloc(GetProcessHeap(), 0, capacity)
                          : (char *)HeapReAlloc(GetProcessHeap(), 0, t->bytes, capacity);
        if (bytes == NULL)
            return;
        t->bytes = bytes;
        t->capacity = capacity;
    }
    memcpy(t->bytes + t->length, s, n);
    t->length += n;
    t->bytes[t->length] = '\0';
}

void TextAdd(Text *t, const char *s)
{
    TextAddBytes(t, s, strlen(s));
}

void TextFormat(Text *t, const char *format, ...)
{
    char buffer[1025];
    va_list args;
    va_start(args, format);
    int n = wvsprintfA(buffer, format, args);
    va_end(args);
    TextAddBytes(t, buffer, n > 0 ? (size_t)n : 0);
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
