// Plain reference models of the program's text rules, written from the rules and not
// from the program's code, for the fuzz targets to compare the program against.
#pragma once

#include <stddef.h>

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

// The pieces of an expanded body, split into lines as velmora-job splits them.
std::vector<ModelPiece> ModelBodyPieces(const std::string &body);

// The body with every CR LF made a single CR: what the lines give back when joined.
std::string ModelNormalisedLineEnds(const std::string &body);
