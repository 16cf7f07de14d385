// The one escaping rule of calls.log: bytes outside 0x20..0x7E, the backslash and the
// double quote become \xNN.  Shared by the stand-in library, which writes the log,
// and by the test driver, which writes what a test expects to find in it.
#pragma once

#include <stddef.h>
#include <string>

inline std::string EscapeBytes(const char *bytes, size_t length)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = (unsigned char)bytes[i];
        if (c >= 0x20 && c <= 0x7E && c != '\\' && c != '"') {
            out += (char)c;
        } else {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}
