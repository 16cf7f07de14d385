// Reading the stand-in Notes client's command line into its options.
#include "standins/notes-client/client_options.h"
#include "tools/common/args.h"

#include <string.h>

// A duration in milliseconds or "never"; false when it is neither.
static bool ParseDuration(const char *text, DWORD *ms)
{
    if (strcmp(text, "never") == 0) {
        *ms = NEVER;
        return true;
    }
    uint64_t value = 0;
    if (!ArgNumber(text, NEVER - 1, &value))
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

enum { OPT_WINDOW, OPT_GRANDCHILD, OPT_DISABLED, OPT_CLOSE_DELAY, OPT_LIFETIME };
static const ArgOption Options[] = {
    {"--window", OPT_WINDOW, ARG_VALUE, false},
    {"--grandchild", OPT_GRANDCHILD, ARG_VALUE, false},
    {"--disabled-ms", OPT_DISABLED, ARG_VALUE, false},
    {"--close-delay-ms", OPT_CLOSE_DELAY, ARG_VALUE, false},
    {"--lifetime-ms", OPT_LIFETIME, ARG_VALUE, false},
};

ClientOptions ParseClientOptions(int argc, char **argv)
{
    ClientOptions o;
    o.disabledMs = 0;
    o.closeDelayMs = 0;
    o.lifetimeMs = 0;
    bool lifetimeGiven = false;
    ArgReader reader = ArgsOf(Options, sizeof Options / sizeof Options[0], argc, argv, 1, false);
    for (Arg a = NextArg(&reader); a.event != ARG_END && o.error.empty(); a = NextArg(&reader)) {
        if (a.event == ARG_OPERAND) {
            if (!o.database.empty())
                o.error = std::string("a second database: ") + a.text;
            o.database = a.text;
        } else if (a.event == ARG_NO_VALUE) {
            o.error = std::string("no value after ") + a.text;
        } else if (a.event == ARG_UNKNOWN) {
            o.error = std::string("bad option: ") + a.text;
        } else if (a.id == OPT_WINDOW) {
            o.windows.push_back(a.value);
        } else if (a.id == OPT_GRANDCHILD) {
            o.grandchildren.push_back(a.value);
        } else {
            DWORD *ms = a.id == OPT_DISABLED ? &o.disabledMs
                        : a.id == OPT_CLOSE_DELAY ? &o.closeDelayMs : &o.lifetimeMs;
            lifetimeGiven = lifetimeGiven || a.id == OPT_LIFETIME;
            if (!ParseDuration(a.value, ms))
                o.error = std::string("bad option: ") + a.text + " " + a.value;
        }
    }
    if (!lifetimeGiven)
        o.lifetimeMs = o.database.empty() ? 60000 : LifetimeFromEnvironment();
    return o;
}
