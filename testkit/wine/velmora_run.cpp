// velmora-run.exe: runs one command line exactly as written, presses OK on each of
// its message boxes and tells what they said and how the process ended.
//
//   velmora-run.exe [--time-limit-ms N] [--memory] <command line>
//   velmora-run.exe [--time-limit-ms N] [--memory] --from-file <file>
//
// The command line is the rest of velmora-run's own command line, byte for byte,
// after the options and the blanks that follow them; --from-file takes it from a
// file instead (all of its bytes), for lines a shell cannot pass unchanged.
// Prints "box: <text>" for each box captioned "Velmora pour Lotus Notes",
// "box \"<caption>\": <text>" for any other, then "exit: <code>".  With --memory it
// also prints the peak working set and the time taken.  Exits 0 when the process
// ended by itself, 1 when it did not start or had to be ended, 2 on a bad option.
#include "testkit/wine/files.h"
#include "testkit/wine/harness.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char Caption[] = "Velmora pour Lotus Notes";

// Skips the program name as the classic rules have it, then blanks.
static const char *AfterProgramName(const char *p)
{
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"')
            ++p;
        if (*p == '"')
            ++p;
    } else {
        while ((unsigned char)*p > ' ')
            ++p;
    }
    while (*p != '\0' && (unsigned char)*p <= ' ')
        ++p;
    return p;
}

// The next blank-delimited word at *p, moving *p past it and the blanks after it.
static std::string NextWord(const char **p)
{
    const char *start = *p;
    while ((unsigned char)**p > ' ')
        ++*p;
    std::string word(start, (size_t)(*p - start));
    while (**p != '\0' && (unsigned char)**p <= ' ')
        ++*p;
    return word;
}

static int Usage()
{
    fprintf(stderr, "usage: velmora-run.exe [--time-limit-ms N] [--memory] "
                    "(<command line> | --from-file <file>)\n");
    return 2;
}

int main()
{
    const char *p = AfterProgramName(GetCommandLineA());
    DWORD timeLimitMs = 60000;
    bool memory = false;
    std::string commandLine;
    bool haveLine = false;

    while (strncmp(p, "--", 2) == 0 && !haveLine) {
        std::string option = NextWord(&p);
        if (option == "--memory") {
            memory = true;
        } else if (option == "--time-limit-ms") {
            std::string value = NextWord(&p);
            char *end = NULL;
            timeLimitMs = strtoul(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0')
                return Usage();
        } else if (option == "--from-file") {
            std::string file = NextWord(&p);
            if (file.empty() || !ReadBytes(file, &commandLine)) {
                fprintf(stderr, "velmora-run: cannot read %s\n", file.c_str());
                return 2;
            }
            haveLine = true;
        } else {
            return Usage();
        }
    }
    if (!haveLine)
        commandLine = p;
    if (commandLine.empty())
        return Usage();

    RunResult r = RunAndAnswer(commandLine, timeLimitMs);
    if (!r.started) {
        printf("not started: error %lu\n", r.startError);
        return 1;
    }
    for (size_t i = 0; i < r.boxes.size(); ++i) {
        if (r.boxes[i].caption == Caption)
            printf("box: %s\n", r.boxes[i].text.c_str());
        else
            printf("box \"%s\": %s\n", r.boxes[i].caption.c_str(), r.boxes[i].text.c_str());
    }
    if (r.hung)
        printf("hung: ended after %lu ms\n", r.elapsedMs);
    printf("exit: %lu\n", r.exitCode);
    if (memory) {
        printf("peak working set: %lu bytes\n", (unsigned long)r.peakWorkingSet);
        printf("elapsed: %lu ms\n", r.elapsedMs);
    }
    return r.hung ? 1 : 0;
}
