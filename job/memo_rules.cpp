// Body lines and attachment names.  A body line ends at CR, a CR LF counting as one
// line end; a bare LF is text.
#include "job/memo_rules.h"

bool NextBodyLine(const char **at, BodyLine *line)
{
    const char *p = *at;
    if (*p == '\0')
        return false;
    line->text = p;
    while (*p != '\0' && *p != '\r')
        ++p;
    line->length = (size_t)(p - line->text);
    if (*p == '\r' && *++p == '\n')
        ++p;
    *at = p;
    return true;
}

const char *RecordedName(const char *path)
{
    const char *name = path;
    for (const char *p = path; *p != '\0'; ++p) {
        if (*p == '\\')
            name = p + 1;
    }
    return name;
}
