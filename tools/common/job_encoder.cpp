// Writing job files: each text in its slot, the numbers little-endian, the extra list
// after the header (tools/common/job_encoder.h).
#include "tools/common/job_encoder.h"

namespace velmora_job {

namespace {

#define SLOT_OF(field) offsetof(JobHeader, field), sizeof(JobHeader::field)

struct TextSlot {
    const char *name;
    std::string Job::*member;
    size_t offset;
    size_t slot;
};

const TextSlot TextSlots[] = {
    {"subject", &Job::subject, SLOT_OF(subject)},
    {"body", &Job::body, SLOT_OF(body)},
    {"attachment", &Job::attachment, SLOT_OF(attachment)},
    {"document", &Job::documentName, SLOT_OF(documentName)},
    {"send-to", &Job::sendTo, SLOT_OF(sendTo)},
};

// What keeps `text` from its slot, or empty.
std::string FitProblem(const std::string &name, const std::string &text, size_t slot)
{
    size_t nul = text.find('\0');
    if (nul != std::string::npos)
        return name + ": holds a NUL byte at offset " + std::to_string(nul) +
               "; the program would stop reading the text there";
    if (text.size() >= slot)
        return name + ": " + std::to_string(text.size()) + " bytes given, at most " +
               std::to_string(slot - 1) + " fit (a " + std::to_string(slot) +
               "-byte slot ending with a NUL)";
    return std::string();
}

// `text` in the slot at `at`, cut to the slot: one that fills it keeps no NUL.
void PutText(std::string *out, size_t at, size_t slot, const std::string &text)
{
    out->replace(at, text.size() < slot ? text.size() : slot, text, 0, slot);
}

void PutNumber(std::string *out, size_t at, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        (*out)[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

} // namespace

std::vector<std::string> JobProblems(const Job &job)
{
    std::vector<std::string> problems;
    for (const TextSlot &f : TextSlots) {
        std::string p = FitProblem(f.name, job.*f.member, f.slot);
        if (!p.empty())
            problems.push_back(p);
    }
    for (size_t i = 0; i < job.extras.size(); ++i) {
        std::string p = FitProblem("extra " + std::to_string(i + 1), job.extras[i], JOB_EXTRA_SLOT);
        if (!p.empty())
            problems.push_back(p);
    }
    if (job.extras.size() >= JOB_FIRST_OVERFLOWING_COUNT)
        problems.push_back("extras: " + std::to_string(job.extras.size()) +
                           " given, the program takes at most " +
                           std::to_string(JOB_FIRST_OVERFLOWING_COUNT - 1));
    return problems;
}

std::string EncodeJob(const Job &job, const Encoding &how)
{
    if (how.checked && (!JobProblems(job).empty() || how.count != -1 || how.size != UINT64_MAX))
        return std::string();
    std::string out(JOB_HEADER_SIZE + job.extras.size() * JOB_EXTRA_SLOT, '\0');
    PutNumber(&out, offsetof(JobHeader, directSend), job.directSend, 2);
    for (const TextSlot &f : TextSlots)
        PutText(&out, f.offset, f.slot, job.*f.member);
    uint32_t count = how.count != -1 ? static_cast<uint32_t>(how.count)
                                     : static_cast<uint32_t>(job.extras.size());
    PutNumber(&out, offsetof(JobHeader, extraCount), count, 4);
    for (size_t i = 0; i < job.extras.size(); ++i)
        PutText(&out, JOB_HEADER_SIZE + i * JOB_EXTRA_SLOT, JOB_EXTRA_SLOT, job.extras[i]);
    if (how.size < out.size())
        out.resize(static_cast<size_t>(how.size));
    return out;
}

} // namespace velmora_job
