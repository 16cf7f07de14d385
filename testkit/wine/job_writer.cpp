// Job files for the program to send.
#include "testkit/wine/job_writer.h"

#include "testkit/wine/files.h"

bool WriteJobFile(const std::string &path, const Job &job, const velmora_job::Encoding &how)
{
    if (how.checked && !velmora_job::JobProblems(job).empty())
        return false;
    return WriteBytes(path, velmora_job::EncodeJob(job, how));
}
