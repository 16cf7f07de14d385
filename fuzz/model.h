// Plain reference models of the program's rules, written from docs/job-format.md and
// the memo's description, never from the program's code, for the fuzz targets to
// compare the program against.  Slow and plain on purpose.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "job/refusal.h"

#include <string>
#include <vector>

// The expansion of a field template: [DOC] becomes `documentName`; [USER], [NOM] and
// [NAME] become `userName`, in any letter case.  A token runs from '[' to the first
// ']' at most 254 characters further on.  Anything else is copied as it stands and
// the scan goes on from the next character; replacement text is not scanned again.
// `usedUserName` tells whether a user placeholder was replaced.
std::string ModelExpand(const std::string &templateText, const std::string &documentName,
                        const std::string &userName, bool *usedUserName);

// Where the command tail of `line` (no NUL inside) starts, as an offset into it.
// `leadBytes` are the bytes the code page calls lead bytes.
size_t ModelCommandTail(const std::string &line, const std::string &leadBytes);

// The job path named by a command tail: less a leading double quote and, after one,
// a closing double quote that ends the tail.
std::string ModelJobPath(const std::string &tail);

// One AppendBodyLine call: an empty line has no text (null), a line longer than 65535
// bytes goes as several pieces.
struct ModelPiece {
    bool null;
    std::string text;
};

// The pieces of an expanded body: lines cut at each CR, a CR LF being one line end, a
// bare LF kept inside its line, a line end at the very end adding no empty line.
std::vector<ModelPiece> ModelBodyPieces(const std::string &body);

// The name an attachment is recorded under: the part of the path after its last
// backslash.
std::string ModelRecordedName(const std::string &path);

// Why a job file of these bytes is refused (rule REFUSED_NOT when it is read), and the
// extra count it states (0 when the header is short).  The first refusal in the
// file's order: a header shorter than 3340 bytes (detail: its size); a header text
// with no NUL in its slot, subject, body, attachment, document name, send-to in turn
// (value: its name); a count of 2^24 or more (detail: the count); fewer list bytes
// than count x 256 (detail: the list bytes there are); an extra slot with no NUL
// (detail: its index from 0).
struct ModelJobVerdict {
    RefusalRule rule;
    std::string value;
    uint32_t detail;
    uint32_t count;
};
ModelJobVerdict ModelJob(const std::string &bytes);

