// Job files for the program to send.
#include "tests/e2e/job_writer.h"

#include "tests/e2e/files.h"

bool WriteJobFile(const std::string &path, const Job &job, const velmora_job::Encoding &how)
{
    if (how.checked && !velmora_job::CheckJob(job).empty())
        return false;
    return WriteBytes(path, velmora_job::EncodeJob(job, how));
}
