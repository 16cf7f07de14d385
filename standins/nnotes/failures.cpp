// NNOTES_FAIL: which calls of the stand-in library fail; NNOTES_INIT_WAIT_MS and
// NNOTES_OPEN_WAIT_MS: how long its runtime takes to start, and a database to open.
#include "standins/nnotes/failures.h"

#include <windows.h>
#include <stdlib.h>
#include <algorithm>
#include <map>
#include <string>

static std::map<std::string, unsigned long> callCounts;

bool CallFails(const char *operation)
{
    unsigned long call = ++callCounts[operation];

    char list[4096];
    DWORD n = GetEnvironmentVariableA("NNOTES_FAIL", list, sizeof list);
    if (n == 0 || n >= sizeof list)
        return false;

    // Entries "*", "Name" or "Name:N" (failures.h).
    std::string rest(list);
    for (size_t start = 0; start <= rest.size();) {
        size_t comma = std::min(rest.find(',', start), rest.size());
        std::string entry = rest.substr(start, comma - start);
        size_t colon = entry.find(':');
        std::string name = entry.substr(0, colon);
        if ((name == "*" || name == operation) &&
            (colon == std::string::npos || strtoul(entry.c_str() + colon + 1, NULL, 10) == call))
            return true;
        start = comma + 1;
    }
    return false;
}

unsigned long WaitMs(const char *variable)
{
    char value[16];
    DWORD n = GetEnvironmentVariableA(variable, value, sizeof value);
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
