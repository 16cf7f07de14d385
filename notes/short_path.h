// The short form of a path, as the Notes client is given every path: the client and
// database on its command line, this program's own path in the close variable.  Here,
// below both, so that the settings (job/) and the hand-over (window/) shorten alike.
#pragma once

#include <windows.h>

// Puts a path in short form, in place (GetShortPathNameA into a MAX_PATH buffer);
// without a short form that fits, the path stays as it is.
void ShortenPath(char path[MAX_PATH]);
