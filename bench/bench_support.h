// What velmora-bench.exe needs around the runs it measures: the three ways of
// starting a process it times or weighs.  Files, registry settings and job files come
// from the test kit (testkit/wine/files.h, job_writer.h).
#pragma once

#include "testkit/wine/files.h"
#include "testkit/wine/job_writer.h"

#include <windows.h>
#include <string>
#include <vector>

// ---- processes -------------------------------------------------------------------

// Starts `commandLine` exactly as given and waits for it to end; the time is taken
// with the performance counter from just before CreateProcessA to the end of the
// wait.  A process still running after `limitMs` is ended and `ended` is false.
struct TimedRun {
    bool started;
    bool ended;
    DWORD exitCode;
    double ms;
};
TimedRun RunTimed(const std::string &commandLine, DWORD limitMs);

// Calls WinExec as the program's hand-over does and times it: WinExec returns once
// the started process waits for input or has ended.
double WinExecTimed(const std::string &commandLine);

// Starts `commandLine` under this process as its debugger, stops it at its call to
// ExitProcess (a breakpoint) and reads its peak working set there: Wine can no
// longer read it once the process has gone, and sampling while it runs can miss the
// end.  0 when the process ended another way or after `limitMs`.
struct WeighedRun {
    bool stoppedAtExit;
    DWORD exitCode;
    SIZE_T peakWorkingSet;
};
WeighedRun RunWeighed(const std::string &commandLine, DWORD limitMs);

// Waits until no process whose image lies under `folder` (long or short form) is left;
// false after `limitMs`.
bool WaitForProcessesUnder(const std::string &folder, DWORD limitMs);

// ---- figures -----------------------------------------------------------------------

double Median(std::vector<double> values);
