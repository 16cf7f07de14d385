// Job files for the program to send, written by velmora-job's encoder: checked, as an
// integrator writes them, or unchecked for a file malformed on purpose.
#pragma once

#include "tools/common/job_encoder.h"

#include <string>

using velmora_job::Job;
using velmora_job::Unchecked;

// False when the file cannot be written, or when a checked job does not fit.
bool WriteJobFile(const std::string &path, const Job &job,
                  const velmora_job::Encoding &how = velmora_job::Encoding());
