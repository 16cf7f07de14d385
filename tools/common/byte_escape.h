// The one byte escaper of the tools and the equipment: calls.log (written by the stand-in library,
// expected by the test driver), the failure messages of the end-to-end and fuzz
// checks, and velmora-job's listings.  An escaped byte is always \xNN, upper-case hex.
#pragma once

#include <stddef.h>
#include <string>

namespace velmora_job {

enum class Escape {
    // calls.log: bytes outside 0x20..0x7E, the backslash and the double quote, so a
    // quoted text in the log ends at the first bare quote.
    Log,
    // Failure messages: bytes outside 0x20..0x7E; a calls.log line, already escaped,
    // reads as it is in the file.
    Shown,
    // velmora-job's listings: as Shown, with CR, LF and TAB as \r, \n and \t.
    Listing,
};

inline void AppendEscaped(std::string *out, unsigned char b, Escape rule)
{
    static const char hex[] = "0123456789ABCDEF";
    if (rule == Escape::Listing && (b == '\r' || b == '\n' || b == '\t')) {
        *out += '\\';
        *out += b == '\r' ? 'r' : b == '\n' ? 'n' : 't';
    } else if (b >= 0x20 && b <= 0x7E && !(rule == Escape::Log && (b == '\\' || b == '"'))) {
        *out += static_cast<char>(b);
    } else {
        *out += "\\x";
        *out += hex[b >> 4];
        *out += hex[b & 15];
    }
}

inline std::string EscapeBytes(const char *bytes, size_t length, Escape rule)
{
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i)
        AppendEscaped(&out, static_cast<unsigned char>(bytes[i]), rule);
    return out;
}

inline std::string EscapeBytes(const std::string &bytes, Escape rule)
{
    return EscapeBytes(bytes.data(), bytes.size(), rule);
}

} // namespace velmora_job
