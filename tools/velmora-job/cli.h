// The velmora-job command line: `make` writes a job file, `dump` shows one.
#pragma once

#include "job_format.h"
#include "text_codec.h"

#include "tools/common/job_encoder.h"

#include <cstdio>
#include <string>
#include <vector>

namespace velmora_job {

enum ExitCode {
    EXIT_DONE = 0,
    EXIT_REFUSED = 1,   // make: input that does not fit a job; dump: a malformed job
    EXIT_USAGE = 2,     // bad command line, or a file that cannot be read or written
};

// Runs one command; `args` excludes the program name.  `in` is read for
// `--body-file -`.
int RunTool(const std::vector<std::string> &args, FILE *in, FILE *out, FILE *err);

} // namespace velmora_job
