// What velmora-bench.exe needs around the runs it measures: a sample installation in
// the Wine prefix, job files, and the three ways of starting a process it times or
// weighs.  Kept apart from the end-to-end harness so that the benchmark does not move
// when the test suites do.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

// ---- files and the installation ------------------------------------------------

bool WriteBytes(const std::string &path, const std::string &bytes);
bool ReadBytes(const std::string &path, std::string *bytes);
bool FileExists(const std::string &path);
bool MakeFolder(const std::string &path);       // and its missing parents
bool DeleteTree(const std::string &path);       // true when nothing is left
std::string ShortPath(const std::string &path); // the path itself when it has none

// HKLM\SOFTWARE\Zabrel\Velmora\Stellwick, where the program finds the Notes client
// and the database.
bool SetSettings(const std::string &client, const std::string &database);
void RemoveSettings();

// A job as the calling application writes it: the 3340-byte header, then one 256-byte
// slot per extra attachment.  Texts are Windows-1252 bytes.
struct Job {
    std::string sendTo, subject, body, attachment, document;
    std::vector<std::string> extras;
    size_t extraCount;          // extras repeated up to this count (0: extras.size())
};
std::string JobBytes(const Job &job);

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
