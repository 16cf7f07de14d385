// Reading the stand-in Notes client's command line into its options.
#include "standins/notes-client/client_options.h"

#include <stdlib.h>
#include <string.h>

// A duration in milliseconds or "never"; false when it is neither.
static bool ParseDuration(const char *text, DWORD *ms)
{
    if (strcmp(text, "never") == 0) {
        *ms = NEVER;
        return true;
    }
    char *end = NULL;
    unsigned long value = strtoul(text, &end, 10);
    if (text[0] < '0' || text[0] > '9' || *end != '\0' || value >= NEVER)
        return false;
    *ms = (DWORD)value;
    return true;
}

// The default lifetime of a client started on a database.
static DWORD LifetimeFromEnvironment()
{
    char text[32];
    DWORD n = GetEnvironmentVariableA("NOTES_CLIENT_LIFETIME_MS", text, sizeof text);
    DWORD ms = 0;
    return n == 0 || n >= sizeof text || !ParseDuration(text, &ms) ? 1500 : ms;
}

ClientOptions ParseClientOptions(int argc, char **argv)
{
    ClientOptions o;
    o.disabledMs = 0;
    o.closeDelayMs = 0;
    o.lifetimeMs = 0;
    bool lifetimeGiven = false;

    for (int i = 1; i < argc && o.error.empty(); ++i) {
        const char *arg = argv[i];
        if (strncmp(arg, "--", 2) != 0) {
            if (!o.database.empty())
                o.error = std::string("a second database: ") + arg;
            o.database = arg;
            continue;
        }
        if (i + 1 >= argc) {
            o.error = std::string("no value after ") + arg;
            break;
        }
        const char *value = argv[++i];
        bool good = true;
        if (strcmp(arg, "--window") == 0) {
            o.windows.push_back(value);
        } else if (strcmp(arg, "--grandchild") == 0) {
            o.grandchildren.push_back(value);
        } else if (strcmp(arg, "--disabled-ms") == 0) {
            good = ParseDuration(value, &o.disabledMs);
        } else if (strcmp(arg, "--close-delay-ms") == 0) {
            good = ParseDuration(value, &o.closeDelayMs);
        } else if (strcmp(arg, "--lifetime-ms") == 0) {
            good = ParseDuration(value, &o.lifetimeMs);
            lifetimeGiven = true;
        } else {
            good = false;
        }
        if (!good)
            o.error = std::string("bad option: ") + arg + " " + value;
    }
    if (!lifetimeGiven)
        o.lifetimeMs = o.database.empty() ? 60000 : LifetimeFromEnvironment();
    return o;
}
