// Text conversions for job files: UTF-8 from a shell to the job's Windows-1252, a job's
// bytes shown on a terminal, line feeds made the program's CR LF.
#include "text_codec.h"

#include "tools/common/byte_escape.h"

#include <cstdint>
#include <cstdio>

namespace velmora_job {

namespace {

// Code points of bytes 0x80-0x9F; 0 where Windows-1252 defines no character.
const uint16_t HighRow[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// Decodes one UTF-8 sequence at `i`; false for a malformed, overlong or surrogate one.
bool DecodeOne(const std::string &s, size_t i, uint32_t *cp, size_t *length)
{
    static const uint32_t Least[5] = {0, 0, 0x80, 0x800, 0x10000};     // no overlong form
    unsigned char lead = static_cast<unsigned char>(s[i]);
    size_t n = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3
             : (lead & 0xF8) == 0xF0 ? 4 : 0;
    if (n == 0)
        return false;
    *cp = n == 1 ? lead : lead & (0xFFu >> (n + 1));
    if (i + n > s.size())
        return false;
    for (size_t k = 1; k < n; ++k) {
        unsigned char c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80)
            return false;
        *cp = (*cp << 6) | (c & 0x3Fu);
    }
    if (*cp < Least[n] || *cp > 0x10FFFF || (*cp >= 0xD800 && *cp <= 0xDFFF))
        return false;
    *length = n;
    return true;
}

} // namespace

bool Utf8ToCp1252(const std::string &utf8, std::string *cp1252, std::string *error)
{
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        uint32_t cp = 0;
        size_t length = 0;
        char said[64];
        if (!DecodeOne(utf8, i, &cp, &length)) {
            (void)std::snprintf(said, sizeof said, "byte 0x%02X at offset %lu is not valid UTF-8",
                                static_cast<unsigned char>(utf8[i]), static_cast<unsigned long>(i));
            *error = said;
            return false;
        }
        int b = cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF) ? static_cast<int>(cp) : -1;
        for (int k = 0; k < 32 && b < 0; ++k)
            b = HighRow[k] == cp ? 0x80 + k : -1;     // cp is 0x80 or more: no undefined byte matches
        if (b < 0) {
            (void)std::snprintf(said, sizeof said, " (U+%04X) at offset %lu has no Windows-1252 equivalent",
                                static_cast<unsigned>(cp), static_cast<unsigned long>(i));
            *error = "character " + utf8.substr(i, length) + said;
            return false;
        }
        out.push_back(static_cast<char>(b));
        i += length;
    }
    *cp1252 = out;
    return true;
}

std::string ShownBytes(const std::string &bytes, Display display)
{
    std::string out;
    for (char c : bytes) {
        unsigned char b = static_cast<unsigned char>(c);
        uint32_t cp = b >= 0x80 && b < 0xA0 ? HighRow[b - 0x80] : b;
        if (b < 0x80 || display != DISPLAY_UTF8 || cp == 0) {
            AppendEscaped(&out, b, Escape::Listing);
        } else if (cp < 0x800) {       // UTF-8 of a code point of 0x80 or more, below 0x10000
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::string LfToCrLf(const std::string &text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out.push_back('\r');
        out.push_back(text[i]);
    }
    return out;
}

} // namespace velmora_job
