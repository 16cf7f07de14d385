// What every fuzz check shares: the input read as a few fields, the first broken
// property collected with printable bytes, and the checks themselves, one function per
// way into the program.  Each check runs one input against a fresh fake world and
// returns what went wrong, or an empty string when the program behaved; the fuzz
// targets abort on a non-empty answer (entry.cpp).
#pragma once

#include "testkit/fake/world.h"
#include "tools/common/byte_escape.h"

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

// Job file bytes through OpenJobFile and ReadJob.
std::string CheckJobFile(const uint8_t *data, size_t size);
// ExpandTemplate against the reference model.
std::string CheckTemplate(const uint8_t *data, size_t size);
// ComposeMemo over the fake Notes layer.
std::string CheckMemo(const uint8_t *data, size_t size);
// CommandTail, and the job path OpenJobFile takes from the tail.
std::string CheckCommandTail(const uint8_t *data, size_t size);
// LoadInstallSettings from any registry bytes and files.
std::string CheckInstallSettings(const uint8_t *data, size_t size);

// A fuzz input read as single bytes, NUL-ended texts and sized blocks.  Past the end
// every read gives zeros or nothing, so any input makes a case.
struct FuzzInput {
    const uint8_t *data;
    size_t size;

    unsigned Byte()
    {
        if (size == 0)
            return 0;
        --size;
        return *data++;
    }

    // Up to `n` bytes.
    std::string Take(size_t n)
    {
        if (n > size)
            n = size;
        std::string s((const char *)data, n);
        data += n;
        size -= n;
        return s;
    }

    // The bytes up to the next NUL, which is passed over, or to the end.
    std::string Text()
    {
        size_t n = 0;
        while (n < size && data[n] != 0)
            ++n;
        std::string s = Take(n);
        Byte();
        return s;
    }
};

// `text` with control and non-ASCII bytes as \xNN, cut to a readable length.
inline std::string Printable(const std::string &text, size_t longest = 160)
{
    std::string out = velmora_job::EscapeBytes(text.substr(0, longest),
                                               velmora_job::Escape::Shown);
    if (text.size() > longest)
        out += "... (" + std::to_string(text.size()) + " bytes)";
    return out;
}

inline std::string Joined(const std::vector<std::string> &lines)
{
    std::string out;
    for (const std::string &line : lines)
        out += "\n    " + Printable(line);
    return out;
}

// `text` as the fake code page's CharToOemA gives it.
inline std::string Oem(const std::string &text)
{
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    CharToOemA(buffer.data(), buffer.data());
    return std::string(buffer.data(), text.size());
}

struct Verdict {
    std::string failure;

    // Keeps the first failure only: later ones usually follow from it.
    void Fail(const std::string &what)
    {
        if (failure.empty())
            failure = what;
    }

    // For cheap messages; a costly one is built only on failure, through Fail.
    bool Expect(bool ok, const char *what)
    {
        if (!ok)
            Fail(what);
        return ok;
    }
};
