// NNOTES_FAIL: which calls of the stand-in library fail; NNOTES_INIT_WAIT_MS: how long
// its runtime takes to start.
#include "standins/nnotes/failures.h"

#include <windows.h>
#include <stdlib.h>
#include <map>
#include <string>

static std::map<std::string, unsigned long> callCounts;

static std::string Trimmed(const std::string &s)
{
    size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    size_t last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

// Whether one entry of the list names this call.
static bool EntryMatches(const std::string &entry, const char *operation, unsigned long call)
{
    if (entry == "*")
        return true;
    size_t colon = entry.find(':');
    if (colon == std::string::npos)
        return entry == operation;
    if (Trimmed(entry.substr(0, colon)) != operation)
        return false;
    std::string n = Trimmed(entry.substr(colon + 1));
    char *end = NULL;
    unsigned long nth = strtoul(n.c_str(), &end, 10);
    return !n.empty() && *end == '\0' && nth == call;
}

bool CallFails(const char *operation)
{
    unsigned long call = ++callCounts[operation];

    char list[4096];
    DWORD n = GetEnvironmentVariableA("NNOTES_FAIL", list, sizeof list);
    if (n == 0 || n >= sizeof list)
        return false;

    std::string rest(list);
    for (;;) {
        size_t comma = rest.find(',');
        std::string entry = Trimmed(rest.substr(0, comma));
        if (!entry.empty() && EntryMatches(entry, operation, call))
            return true;
        if (comma == std::string::npos)
            return false;
        rest.erase(0, comma + 1);
    }
}

unsigned long InitWaitMs(void)
{
    char value[16];
    DWORD n = GetEnvironmentVariableA("NNOTES_INIT_WAIT_MS", value, sizeof value);
    return n > 0 && n < sizeof value ? strtoul(value, NULL, 10) : 0;
}

bool OpenOverflows(void)
{
    char value[4];
    DWORD n = GetEnvironmentVariableA("NNOTES_OPEN_OVERFLOW", value, sizeof value);
    return n == 1 && value[0] == '1';
}

// Each call holds a buffer the compiler cannot drop, used again after the next call so
// that the call is no jump.
void OverflowStack(unsigned depth)
{
    volatile char room[4096];
    room[depth % sizeof room] = (char)depth;
    if (depth != 0xFFFFFFFFu)
        OverflowStack(depth + 1);
    room[0] = room[1];
}
