#include "job_format.h"

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
    size_t p = 0;
    while (p < body.size()) {
        size_t end = body.find('\r', p);
        if (end == std::string::npos)
            end = body.size();
        lines.push_back(body.substr(p, end - p));
        p = end;
        if (p < body.size()) {
            ++p;
            if (p < body.size() && body[p] == '\n')
                ++p;
        }
    }
    return lines;
}

std::string RecordedName(const std::string &path)
{
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

Examination ExamineJob(const std::string &in)
{
    Examination r;
    r.fileSize = in.size();
    if (in.size() < JOB_HEADER_SIZE) {
        Finding f{Problem::ShortHeader, std::string()};
        f.size = in.size();
        r.findings.push_back(f);
        return r;
    }
    r.headerComplete = true;
    r.directSend = Get16(in, offsetof(JobHeader, directSend));
    r.extraCount = Get32(in, offsetof(JobHeader, extraCount));
    r.reserved = Get32(in, offsetof(JobHeader, listReference));
    for (const TextField &f : TextFields) {
        r.*f.found = ReadSlot(in, f.offset, f.slot);
        if (!(r.*f.found).terminated)
            r.findings.push_back(Finding{Problem::UnterminatedText, f.name});
    }

    uint64_t listBytes = in.size() - JOB_HEADER_SIZE;
    uint64_t slotsPresent = listBytes / JOB_EXTRA_SLOT;
    if (r.extraCount >= FirstOverflowingCount) {
        Finding f{Problem::ListSizeOverflow, std::string()};
        f.count = r.extraCount;
        r.findings.push_back(f);
    } else {
        uint64_t shown = slotsPresent < r.extraCount ? slotsPresent : r.extraCount;
        for (size_t i = 0; i < shown; ++i)
            r.extras.push_back(ReadSlot(in, JOB_HEADER_SIZE + i * JOB_EXTRA_SLOT, JOB_EXTRA_SLOT));
        if (slotsPresent < r.extraCount) {
            Finding f{Problem::ListShort, std::string()};
            f.count = r.extraCount;
            f.slotsPresent = slotsPresent;
            f.partialBytes = listBytes % JOB_EXTRA_SLOT;
            r.findings.push_back(f);
        }
        for (size_t i = 0; i < r.extras.size(); ++i) {
            if (!r.extras[i].terminated) {
                Finding f{Problem::UnterminatedExtra, std::string()};
                f.index = static_cast<uint32_t>(i + 1);
                r.findings.push_back(f);
            }
        }
        uint64_t used = static_cast<uint64_t>(r.extraCount) * JOB_EXTRA_SLOT;
        if (listBytes > used)
            r.notes.push_back(Note{Remark::TrailingBytes, listBytes - used});
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

std::string Describe(const Finding &f)
{
    switch (f.problem) {
    case Problem::ShortHeader:
        return "the file is " + std::to_string(f.size) + " bytes long, shorter than the " +
               std::to_string(JOB_HEADER_SIZE) + "-byte header";
    case Problem::UnterminatedText:
        return "the " + f.field + " has no NUL inside its slot (text not terminated)";
    case Problem::ListSizeOverflow:
        return "the extra count " + std::to_string(f.count) +
               " is too large: count x " + std::to_string(JOB_EXTRA_SLOT) +
               " does not fit 32 bits (the limit is " +
               std::to_string(FirstOverflowingCount - 1) + ")";
    case Problem::ListShort: {
        std::string s = "the extra count is " + std::to_string(f.count) + " but the file holds " +
                        std::to_string(f.slotsPresent) + " whole " +
                        std::to_string(JOB_EXTRA_SLOT) + "-byte slot" +
                        (f.slotsPresent == 1 ? "" : "s") + " after the header";
        if (f.partialBytes != 0)
            s += " (and " + std::to_string(f.partialBytes) + " bytes of a cut slot)";
        return s;
    }
    case Problem::UnterminatedExtra:
        return "extra " + std::to_string(f.index) + " has no NUL inside its " +
               std::to_string(JOB_EXTRA_SLOT) + "-byte slot (text not terminated)";
    }
    return std::string();
}

std::string Describe(const Note &n)
{
    switch (n.remark) {
    case Remark::TrailingBytes:
        return std::to_string(n.value) + " bytes after the extra list are never read";
    case Remark::ReservedNotZero: {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(n.value));
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
