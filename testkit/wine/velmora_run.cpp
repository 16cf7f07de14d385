// velmora-run.exe: runs one command line exactly as written, presses OK on each of
// its message boxes and tells what they said and how the process ended.
//
//   velmora-run.exe [--memory] <command line>
//   velmora-run.exe [--memory] --from-file <file>
//
// The command line is the rest of velmora-run's own command line, byte for byte,
// after the options and the blanks that follow them; --from-file takes it from a
// file instead (all of its bytes), for lines a shell cannot pass unchanged.
// Prints "box: <text>" for each box captioned "Velmora pour Lotus Notes",
// "box \"<caption>\": <text>" for any other, then "exit: <code>".  With --memory it
// also prints the peak working set and the time taken.  Exits 0 when the process
// ended by itself, 1 when it did not start or was ended after 60 s, 2 on a bad option.
#include "testkit/wine/files.h"
#include "testkit/wine/harness.h"
#include "tools/common/args.h"
#include "tools/common/say.h"

#include <stdio.h>
#include <string.h>

static const char Caption[] = "Velmora pour Lotus Notes";

// Skips the program name as the classic rules have it, then `words` blank-delimited
// words, and the blanks after each.
static const char *After(const char *p, int words)
{
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"')
            ++p;
        if (*p == '"')
            ++p;
    }
    for (int k = 0; k <= words; ++k) {
        while ((unsigned char)*p > ' ')
            ++p;
        while (*p != '\0' && (unsigned char)*p <= ' ')
            ++p;
    }
    return p;
}

enum { OPT_MEMORY, OPT_FROM_FILE };
static const ArgOption Options[] = {
    {"--memory", OPT_MEMORY, ARG_FLAG, false},
    {"--from-file", OPT_FROM_FILE, ARG_VALUE, false},
};

static int Usage()
{
    fprintf(stderr, "usage: velmora-run.exe [--memory] (<command line> | --from-file <file>)\n");
    return 2;
}

int main(int argc, char **argv)
{
    ArgReader reader = ArgsOf(Options, sizeof Options / sizeof Options[0], argc, argv, 1, false);
    bool memory = false;
    std::string commandLine;
    bool haveLine = false;

    for (Arg a = NextArg(&reader); !haveLine && a.event != ARG_END; a = NextArg(&reader)) {
        if (strncmp(a.text, "--", 2) != 0) {
            --reader.next;      // the command line starts at the first word not an option
            break;
        }
        if (a.event != ARG_OPTION)
            return Usage();
        if (a.id == OPT_MEMORY) {
            memory = true;
        } else if (!ReadBytes(a.value, &commandLine)) {
            const Voice say = {stderr, "velmora-run", NULL};
            Say(&say, "cannot read %s", a.value);
            return 2;
        } else {
            haveLine = true;
        }
    }
    if (!haveLine)      // the options' words are plain: as many as the runtime split off
        commandLine = After(GetCommandLineA(), reader.next - 1);
    if (commandLine.empty())
        return Usage();

    RunResult r = RunAndAnswer(commandLine, 60000);
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
