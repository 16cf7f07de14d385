// Job files from fields.  A job an integrator could write is written by velmora-job's
// own encoder, so the suite sends what integrators send; jobs that are malformed on
// purpose (a text filling its slot, a count that lies) are laid out here byte by byte.
#include "tests/e2e/job_writer.h"

#include "tests/e2e/files.h"
#include "job_format.h"

static void PutText(std::string *bytes, size_t offset, size_t slot, const std::string &text)
{
    bytes->replace(offset, text.size() < slot ? text.size() : slot, text, 0, slot);
}

static void PutLittleEndian(std::string *bytes, size_t offset, unsigned long value, int size)
{
    for (int i = 0; i < size; ++i)
        (*bytes)[offset + (size_t)i] = (char)((value >> (8 * i)) & 0xFF);
}

static std::string MalformedJobBytes(const JobFields &fields, long count)
{
    std::string bytes(JOB_HEADER_SIZE + JOB_SLOT_SIZE * fields.extras.size(), '\0');
    PutLittleEndian(&bytes, 0, fields.directSend, 2);
    PutText(&bytes, 260, 256, fields.subject);
    PutText(&bytes, 516, 2048, fields.body);
    PutText(&bytes, 2564, 256, fields.attachment);
    PutText(&bytes, 2820, 256, fields.document);
    PutText(&bytes, 3076, 256, fields.sendTo);
    PutLittleEndian(&bytes, 3332, count < 0 ? fields.extras.size() : (unsigned long)count, 4);
    for (size_t i = 0; i < fields.extras.size(); ++i)
        PutText(&bytes, JOB_HEADER_SIZE + JOB_SLOT_SIZE * i, JOB_SLOT_SIZE, fields.extras[i]);
    return bytes;
}

std::string JobBytes(const JobFields &fields, long count)
{
    velmora_job::Job job;
    job.directSend = fields.directSend;
    job.subject = fields.subject;
    job.body = fields.body;
    job.attachment = fields.attachment;
    job.documentName = fields.document;
    job.sendTo = fields.sendTo;
    job.extras = fields.extras;
    if (count < 0 && velmora_job::CheckJob(job).empty())
        return velmora_job::EncodeJob(job);
    return MalformedJobBytes(fields, count);
}

bool WriteJobFile(const std::string &path, const JobFields &fields, long count)
{
    return WriteBytes(path, JobBytes(fields, count));
}
