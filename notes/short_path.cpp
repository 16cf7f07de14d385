// The short form of a path (notes/short_path.h).
#include "notes/short_path.h"

void ShortenPath(char path[MAX_PATH])
{
    char shortPath[MAX_PATH];
    DWORD length = GetShortPathNameA(path, shortPath, sizeof shortPath);
    if (length > 0 && length < sizeof shortPath)
        lstrcpyA(path, shortPath);
}
