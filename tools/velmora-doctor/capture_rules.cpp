// The capture's decisions free of Windows.
#include "tools/velmora-doctor/capture_rules.h"

// WideCharToMultiByte: "For the CP_UTF7 and CP_UTF8 settings for CodePage, this
// parameter [lpUsedDefaultChar] must be set to NULL", and for UTF-8 dwFlags takes only
// WC_ERR_INVALID_CHARS.  (No machine has UTF-7 as its ANSI code page.)
// https://learn.microsoft.com/windows/win32/api/stringapiset/nf-stringapiset-widechartomultibyte
NameConversion ConversionFor(unsigned codePage)
{
    enum { UTF8 = 65001, NO_BEST_FIT = 0x400, ERR_INVALID_CHARS = 0x80 };
    if (codePage == UTF8)
        return NameConversion{ERR_INVALID_CHARS, false};
    // Best fit would turn a letter the code page lacks into another name ('\u0142' into
    // 'l') without saying so: no best fit, and the default character reported.
    return NameConversion{NO_BEST_FIT, true};
}

static char Folded(char c)
{
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

bool NameMatches(const char *pattern, const char *name)
{
    // The last '*' seen and the name's position when it was: on a mismatch, that star
    // takes one more character.
    const char *star = nullptr, *resume = nullptr;
    while (*name != '\0') {
        if (*pattern == '*') {
            star = ++pattern;
            resume = name;
        } else if (*pattern != '\0' && (*pattern == '?' || Folded(*pattern) == Folded(*name))) {
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
