// The launch line: two paths joined by a blank, each quoted only when it must be, so
// that a line without blanks in its paths stays exactly "client database".  Quoted
// paths follow the usual command-line rules: backslashes before a double quote are
// read in pairs, so the ones before the closing quote are written twice.
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
    for (; *path != '\0'; ++path) {
        *out++ = *path;
        backslashes = *path == '\\' ? backslashes + 1 : 0;
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
