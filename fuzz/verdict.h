// Collecting the first broken property of a fuzz case, with printable bytes.
#pragma once

#include "tools/common/byte_escape.h"

#include <stdio.h>

#include <string>
#include <vector>

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
