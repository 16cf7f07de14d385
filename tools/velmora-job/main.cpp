// velmora-job: the integrator's tool for velmora-notes.exe job files; the standard
// streams handed to the command line (cli.cpp), standard input kept byte for byte.
#include "cli.h"

#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char **argv)
{
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);    // a body read from standard input keeps its bytes
#endif
    std::vector<std::string> args(argv + 1, argv + argc);
    return velmora_job::RunTool(args, stdin, stdout, stderr);
}
