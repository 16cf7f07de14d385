// How the memo cuts its body into lines and names its attachments: the one statement
// of these rules, which the memo (job/memo.cpp), velmora-doctor, velmora-job and the
// fuzz targets all apply.  Free of Windows, like job_layout.h.
#pragma once

#include <stddef.h>

// The longest piece of a line one AppendBodyLine call takes (a 16-bit length); a
// longer line goes in consecutive pieces.
static const size_t BODY_PIECE_LONGEST = 0xFFFF;

// One line of a body, inside the body's text: `length` bytes from `text`, without its
// line end.
struct BodyLine {
    const char *text;
    size_t length;
};

// The line that starts at *at: up to the first CR or the text's NUL.  *at moves past
// the line's end, a CR and one LF directly after it; a bare LF stays inside its line.
// False at the NUL: a final line end starts no line.  Nothing is allocated.
bool NextBodyLine(const char **at, BodyLine *line);

// The name an attachment is recorded under: the part of `path` after its last
// backslash, the whole path without one.  Points into `path`.
const char *RecordedName(const char *path);
