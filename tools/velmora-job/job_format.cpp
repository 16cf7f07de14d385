#include "job_format.h"

#include "job/job_rules.h"
#include "job/memo_rules.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace velmora_job {

namespace {

#define SLOT_OF(field) offsetof(JobHeader, field), sizeof(JobHeader::field)

struct TextField {
    const char *name;
    std::string Job::*member;
    SlotText Examination::*found;
    size_t offset;
    size_t slot;
};

const TextField TextFields[] = {
    {"subject", &Job::subject, &Examination::subject, SLOT_OF(subject)},
    {"body", &Job::body, &Examination::body, SLOT_OF(body)},
    {"attachment", &Job::attachment, &Examination::attachment, SLOT_OF(attachment)},
    {"document", &Job::documentName, &Examination::documentName, SLOT_OF(documentName)},
    {"send-to", &Job::sendTo, &Examination::sendTo, SLOT_OF(sendTo)},
};

const uint64_t FirstOverflowingCount = JOB_FIRST_OVERFLOWING_COUNT;

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

void Put16(std::string *out, size_t at, uint16_t v)
{
    (*out)[at] = static_cast<char>(v & 0xFF);
    (*out)[at + 1] = static_cast<char>(v >> 8);
}

void Put32(std::string *out, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        (*out)[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

uint16_t Get16(const std::string &in, size_t at)
{
    return static_cast<uint16_t>(static_cast<unsigned char>(in[at]) |
                                 static_cast<unsigned char>(in[at + 1]) << 8);
}

uint32_t Get32(const std::string &in, size_t at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(in[at + i]);
    return v;
}

SlotText ReadSlot(const std::string &in, size_t at, size_t slot)
{
    SlotText t;
    const char *begin = in.data() + at;
    const void *nul = std::memchr(begin, '\0', slot);
    t.terminated = nul != nullptr;
    t.text.assign(begin, t.terminated ? static_cast<const char *>(nul) - begin : slot);
    return t;
}

} // namespace

std::vector<std::string> CheckJob(const Job &job)
{
    std::vector<std::string> problems;
    for (const TextField &f : TextFields) {
        std::string p = FitProblem(f.name, job.*f.member, f.slot);
        if (!p.empty())
            problems.push_back(p);
    }
    for (size_t i = 0; i < job.extras.size(); ++i) {
        std::string p = FitProblem("extra " + std::to_string(i + 1), job.extras[i], JOB_EXTRA_SLOT);
        if (!p.empty())
            problems.push_back(p);
    }
    if (job.extras.size() >= FirstOverflowingCount)
        problems.push_back("extras: " + std::to_string(job.extras.size()) +
                           " given, the program takes at most " +
                           std::to_string(FirstOverflowingCount - 1));
    return problems;
}

std::string EncodeJob(const Job &job, const Encoding &how)
{
    if (how.checked && (!CheckJob(job).empty() || how.count != -1 || how.size != UINT64_MAX))
        throw std::invalid_argument("EncodeJob: the job does not fit the file format");
    std::string out(JOB_HEADER_SIZE + job.extras.size() * JOB_EXTRA_SLOT, '\0');
    Put16(&out, offsetof(JobHeader, directSend), job.directSend);
    for (const TextField &f : TextFields)
        PutText(&out, f.offset, f.slot, job.*f.member);
    uint32_t count = how.count != -1 ? static_cast<uint32_t>(how.count)
                                     : static_cast<uint32_t>(job.extras.size());
    Put32(&out, offsetof(JobHeader, extraCount), count);
    for (size_t i = 0; i < job.extras.size(); ++i)
        PutText(&out, JOB_HEADER_SIZE + i * JOB_EXTRA_SLOT, JOB_EXTRA_SLOT, job.extras[i]);
    if (how.size < out.size())
        out.resize(static_cast<size_t>(how.size));
    return out;
}

std::vector<std::string> BodyLines(const std::string &body)
{
    std::vector<std::string> lines;
    BodyLine line;
    for (const char *at = body.c_str(); NextBodyLine(&at, &line);)
        lines.push_back(std::string(line.text, line.length));
    return lines;
}

std::string RecordedName(const std::string &path)
{
    return ::RecordedName(path.c_str());
}

Examination ExamineJob(const std::string &in)
{
    Examination r;
    r.fileSize = in.size();
    // What the program's reads would give, header then list, judged by its rules.
    JobHeader header;
    size_t whole = JOB_HEADER_SIZE;
    uint32_t got = static_cast<uint32_t>(in.size() < whole ? in.size() : whole);
    std::memset(&header, 0, sizeof header);
    std::memcpy(&header, in.data(), got);
    Refusal why = {REFUSED_NOT, nullptr, 0};
    if (!JudgeHeader(&header, got, &why))
        r.refusals.push_back(why);
    if (got < JOB_HEADER_SIZE)
        return r;
    r.headerComplete = true;
    r.directSend = Get16(in, offsetof(JobHeader, directSend));
    r.extraCount = Get32(in, offsetof(JobHeader, extraCount));
    r.reserved = Get32(in, offsetof(JobHeader, listReference));
    for (const TextField &f : TextFields)
        r.*f.found = ReadSlot(in, f.offset, f.slot);

    uint32_t size = 0;
    if (!JudgeListSize(r.extraCount, &size, &why)) {
        r.refusals.push_back(why);
    } else {
        uint64_t listBytes = in.size() - JOB_HEADER_SIZE;
        uint32_t listGot = static_cast<uint32_t>(listBytes < size ? listBytes : size);
        const ExtraAttachment *list =
            reinterpret_cast<const ExtraAttachment *>(in.data() + JOB_HEADER_SIZE);
        if (!JudgeList(list, r.extraCount, listGot, &why))
            r.refusals.push_back(why);
        for (uint32_t i = 0; i < listGot / JOB_EXTRA_SLOT; ++i)
            r.extras.push_back(ReadSlot(in, JOB_HEADER_SIZE + i * JOB_EXTRA_SLOT, JOB_EXTRA_SLOT));
        if (listBytes > size)
            r.notes.push_back(Note{Remark::TrailingBytes, listBytes - size});
    }

    if (r.reserved != 0)
        r.notes.push_back(Note{Remark::ReservedNotZero, r.reserved});
    for (size_t i = offsetof(JobHeader, unused); i < offsetof(JobHeader, subject); ++i) {
        if (in[i] != '\0') {
            r.notes.push_back(Note{Remark::UnreadNotZero, i});
            break;
        }
    }
    if (r.directSend != 0 && r.sendTo.terminated && r.sendTo.text.empty())
        r.notes.push_back(Note{Remark::DirectSendIgnored, r.directSend});
    if (r.attachment.terminated && r.attachment.text.empty())
        r.notes.push_back(Note{Remark::NoAttachment, 0});
    return r;
}

std::string Describe(const Refusal &why, const Examination &r)
{
    std::string detail = std::to_string(why.detail);
    switch (why.rule) {
    case REFUSED_HEADER_SHORT:
        return "the file is " + detail + " bytes long, shorter than the " +
               std::to_string(JOB_HEADER_SIZE) + "-byte header";
    case REFUSED_TEXT_UNTERMINATED:
        return std::string("the ") + why.value + " has no NUL inside its slot (text not terminated)";
    case REFUSED_LIST_TOO_LARGE:
        return "the extra count " + detail + " is too large: count x " +
               std::to_string(JOB_EXTRA_SLOT) + " does not fit 32 bits (the limit is " +
               std::to_string(FirstOverflowingCount - 1) + ")";
    case REFUSED_LIST_UNAVAILABLE:
        return "no memory for a list of " + detail + " extras";
    case REFUSED_LIST_SHORT: {
        unsigned long slots = why.detail / JOB_EXTRA_SLOT, partial = why.detail % JOB_EXTRA_SLOT;
        std::string s = "the extra count is " + std::to_string(r.extraCount) +
                        " but the file holds " + std::to_string(slots) + " whole " +
                        std::to_string(JOB_EXTRA_SLOT) + "-byte slot" + (slots == 1 ? "" : "s") +
                        " after the header";
        if (partial != 0)
            s += " (and " + std::to_string(partial) + " bytes of a cut slot)";
        return s;
    }
    case REFUSED_EXTRA_UNTERMINATED:
        return "extra " + std::to_string(why.detail + 1) + " (counting from 1) has no NUL inside its " +
               std::to_string(JOB_EXTRA_SLOT) + "-byte slot (text not terminated)";
    default:
        return "refused by rule " + std::to_string(static_cast<int>(why.rule));
    }
}

std::string Describe(const Note &n)
{
    switch (n.remark) {
    case Remark::TrailingBytes:
        return std::to_string(n.value) + " bytes after the extra list are never read";
    case Remark::ReservedNotZero: {
        char hex[16];
        (void)std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(n.value));
        return "offset " + std::to_string(offsetof(JobHeader, listReference)) + " holds " + hex +
               ", not zero; the program ignores it";
    }
    case Remark::UnreadNotZero:
        return "bytes " + std::to_string(offsetof(JobHeader, unused)) + "-" +
               std::to_string(offsetof(JobHeader, subject) - 1) +
               " are not all zero (first at offset " + std::to_string(n.value) +
               "); the program ignores them";
    case Remark::DirectSendIgnored:
        return "direct sending is asked for but the send-to is empty, so it is ignored";
    case Remark::NoAttachment:
        return "the main attachment is empty; the program still tries to attach it and "
               "reports that it cannot";
    }
    return std::string();
}

} // namespace velmora_job
