// Failure injection for the stand-in nNOTES.dll, driven by NNOTES_FAIL, and calls that
// wait, driven by NNOTES_INIT_WAIT_MS and NNOTES_OPEN_WAIT_MS.
#pragma once

// Counts this call of `operation` and tells whether NNOTES_FAIL makes it fail.
// NNOTES_FAIL is a comma-separated list read at each call: "*" fails every
// operation, "Name" every call of Name, "Name:N" only the Nth call of Name in this
// process (1-based).  Names are compared exactly.
bool CallFails(const char *operation);

// How long a call waits before it answers, in ms, from the environment variable named
// (0 when unset): InitNotesRuntime as a real client's runtime waits for the user's
// password (NNOTES_INIT_WAIT_MS), OpenDatabase as a database on a slow server
// (NNOTES_OPEN_WAIT_MS).
unsigned long WaitMs(const char *variable);

// Whether OpenDatabase overflows its stack (NNOTES_OPEN_OVERFLOW=1), as a library that
// recurses without end: the caller's crash handling must still get its words out.
bool OpenOverflows(void);
// Recurses until the stack is spent.
void OverflowStack(unsigned depth);
