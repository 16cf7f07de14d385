// ok()-style checks, the one style of every Windows-side check program: the end-to-end
// suites, the stand-in check, the resource check and the pictures' driver.  A failed
// check prints where it is, the case it belongs to, what was tested, what came and what
// was expected; the run ends with one line "N passed, N failed" (CheckSummary).
#pragma once

#include <string>
#include <vector>

extern const char *g_caseName;  // the case running now, for failure messages

bool OkAt(const char *file, int line, bool condition, const char *format, ...)
    __attribute__((format(printf, 4, 5)));

// Byte strings compared exactly; a difference is shown escaped, with its offset.
bool SameTextAt(const char *file, int line, const std::string &got,
                const std::string &expected, const char *what);

// Line lists compared exactly, line by line.
bool SameLinesAt(const char *file, int line, const std::vector<std::string> &got,
                 const std::vector<std::string> &expected, const char *what);

#define ok(condition, ...) OkAt(__FILE__, __LINE__, (condition), __VA_ARGS__)
// Variadic so that a braced list of lines can be passed as it is.
#define same_text(...) SameTextAt(__FILE__, __LINE__, __VA_ARGS__)
#define same_lines(...) SameLinesAt(__FILE__, __LINE__, __VA_ARGS__)

void CheckTotals(int *passed, int *failed);
// Prints "N passed, N failed"; returns the exit code of the run, 0 when none failed.
int CheckSummary();
