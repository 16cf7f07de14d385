// The check counters and failure messages of the Windows-side checks.
#include "testkit/wine/check.h"

#include "tools/common/byte_escape.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

const char *g_caseName = "";
static int passed, failed;

static const char *BaseName(const char *file)
{
    for (const char *p; (p = strpbrk(file, "/\\")) != NULL;)
        file = p + 1;
    return file;
}

bool OkAt(const char *file, int line, bool condition, const char *format, ...)
{
    if (condition) {
        ++passed;
        return true;
    }
    ++failed;
    printf("%s:%d: [%s] ", BaseName(file), line, g_caseName);
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    printf("\n");
    fflush(stdout);
    return false;
}

static std::string Printable(const std::string &bytes)
{
    return velmora_job::EscapeBytes(bytes, velmora_job::Escape::Shown);
}

// At most `limit` escaped characters of `s` from `from`, marked when cut.
static std::string Shown(const std::string &s, size_t from, size_t limit)
{
    std::string part = Printable(s.substr(from < s.size() ? from : s.size(), limit));
    return (from > 0 ? "..." : "") + part + (from + limit < s.size() ? "..." : "");
}

bool SameTextAt(const char *file, int line, const std::string &got,
                const std::string &expected, const char *what)
{
    if (got == expected)
        return OkAt(file, line, true, "%s", what);
    size_t at = 0;
    while (at < got.size() && at < expected.size() && got[at] == expected[at])
        ++at;
    size_t from = at > 60 ? at - 60 : 0;
    return OkAt(file, line, false,
                "%s: got \"%s\" (%u bytes), expected \"%s\" (%u bytes), first difference "
                "at byte %u",
                what, Shown(got, from, 400).c_str(), (unsigned)got.size(),
                Shown(expected, from, 400).c_str(), (unsigned)expected.size(), (unsigned)at);
}

bool SameLinesAt(const char *file, int line, const std::vector<std::string> &got,
                 const std::vector<std::string> &expected, const char *what)
{
    size_t at = 0;
    while (at < got.size() && at < expected.size() && got[at] == expected[at])
        ++at;
    if (at == got.size() && at == expected.size())
        return OkAt(file, line, true, "%s", what);
    std::string listing;
    for (size_t i = 0; i < got.size(); ++i)
        listing += "\n      got " + std::to_string(i + 1) + ": " + Printable(got[i]);
    for (size_t i = 0; i < expected.size(); ++i)
        listing += "\n expected " + std::to_string(i + 1) + ": " + Printable(expected[i]);
    return OkAt(file, line, false, "%s: %u lines, expected %u; first difference at line %u%s",
                what, (unsigned)got.size(), (unsigned)expected.size(), (unsigned)at + 1,
                listing.c_str());
}

void CheckTotals(int *passedOut, int *failedOut)
{
    *passedOut = passed;
    *failedOut = failed;
}

int CheckSummary()
{
    printf("%d passed, %d failed\n", passed, failed);
    fflush(stdout);
    return failed == 0 ? 0 : 1;
}
