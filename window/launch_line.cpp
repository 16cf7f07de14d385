// The launch line: two paths joined by a blank, each quoted only when it must be, so
// that a line without blanks in its paths stays exactly "client database".
#include "window/launch_line.h"

#include <windows.h>

bool NeedsQuotes(const char *path)
{
    for (; *path != '\0'; ++path) {
        if (*path == ' ' || *path == '\t')
            return true;
    }
    return false;
}

static const char *QuoteFor(const char *path)
{
    return NeedsQuotes(path) ? "\"" : "";
}

void BuildLaunchLine(const char *clientPath, const char *databasePath,
                     char line[LAUNCH_LINE_SIZE])
{
    const char *clientQuote = QuoteFor(clientPath);
    const char *databaseQuote = QuoteFor(databasePath);
    wsprintfA(line, "%s%s%s %s%s%s", clientQuote, clientPath, clientQuote, databaseQuote,
              databasePath, databaseQuote);
}
