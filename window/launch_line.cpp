// The launch line: two paths joined by a blank, each quoted only when it must be, so
// that a line without blanks in its paths stays exactly "client database".  Quoted
// paths follow the usual command-line rules: backslashes before a double quote are
// read in pairs, so the ones before the closing quote are written twice.  Only real
// backslashes count: on a double-byte code page (932) a character's second byte can
// be 0x5C, and a lead byte carries it along unexamined, as the command tail does.
#include "window/launch_line.h"

bool NeedsQuotes(const char *path)
{
    for (; *path != '\0'; ++path) {
        if (*path == ' ' || *path == '\t')
            return true;
    }
    return false;
}

// Writes `path` at `out`, quoted when it must be, and returns the end of what it wrote.
static char *PutPath(const char *path, char *out)
{
    bool quoted = NeedsQuotes(path);
    if (quoted)
        *out++ = '"';
    int backslashes = 0;    // ending what was written so far
    while (*path != '\0') {
        bool lead = IsDBCSLeadByte((BYTE)*path) && path[1] != '\0';
        backslashes = !lead && *path == '\\' ? backslashes + 1 : 0;
        *out++ = *path++;
        if (lead)
            *out++ = *path++;
    }
    if (quoted) {
        for (; backslashes > 0; --backslashes)
            *out++ = '\\';
        *out++ = '"';
    }
    return out;
}

void BuildLaunchLine(const char *clientPath, const char *databasePath,
                     char line[LAUNCH_LINE_SIZE])
{
    char *end = PutPath(clientPath, line);
    *end++ = ' ';
    *PutPath(databasePath, end) = '\0';
}
