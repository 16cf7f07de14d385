// Reading a job file back as the program reads it: the header and the list judged by the
// program's own rules (job/job_rules.h), the texts found in their slots, the harmless
// oddities noted, and each refusal and note in plain words for `dump`.
#include "job_format.h"

#include "job/job_rules.h"

#include <cstdio>
#include <cstring>

namespace velmora_job {

namespace {

// A text as its slot holds it: up to its NUL, or the whole slot when it has none.
SlotText ReadSlot(const char *begin, size_t slot)
{
    SlotText t;
    const void *nul = std::memchr(begin, '\0', slot);
    t.terminated = nul != nullptr;
    t.text.assign(begin, t.terminated ? static_cast<const char *>(nul) - begin : slot);
    return t;
}

} // namespace

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
    r.directSend = header.directSend;
    r.extraCount = header.extraCount;
    r.reserved = header.listReference;
    r.subject = ReadSlot(header.subject, sizeof header.subject);
    r.body = ReadSlot(header.body, sizeof header.body);
    r.attachment = ReadSlot(header.attachment, sizeof header.attachment);
    r.documentName = ReadSlot(header.documentName, sizeof header.documentName);
    r.sendTo = ReadSlot(header.sendTo, sizeof header.sendTo);
    // The extra list, judged as the program judges it once the header is read.
    uint32_t size = 0;
    uint64_t listBytes = in.size() - JOB_HEADER_SIZE;
    if (!JudgeListSize(r.extraCount, &size, &why)) {
        r.refusals.push_back(why);
    } else {
        uint32_t listGot = static_cast<uint32_t>(listBytes < size ? listBytes : size);
        const ExtraAttachment *list =
            reinterpret_cast<const ExtraAttachment *>(in.data() + JOB_HEADER_SIZE);
        if (!JudgeList(list, r.extraCount, listGot, &why))
            r.refusals.push_back(why);
        for (uint32_t i = 0; i < listGot / JOB_EXTRA_SLOT; ++i)
            r.extras.push_back(ReadSlot(list[i].path, sizeof list[i].path));
        if (listBytes > size)
            r.notes.push_back(std::to_string(listBytes - size) +
                              " bytes after the extra list are never read");
    }
    // What the header holds that the program ignores or that does not do what it seems.
    char hex[16];
    (void)std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(r.reserved));
    if (r.reserved != 0)
        r.notes.push_back("offset " + std::to_string(offsetof(JobHeader, listReference)) +
                          " holds " + hex + ", not zero; the program ignores it");
    for (size_t i = 0; i < sizeof header.unused; ++i) {
        if (header.unused[i] != '\0') {
            r.notes.push_back("bytes " + std::to_string(offsetof(JobHeader, unused)) + "-" +
                              std::to_string(offsetof(JobHeader, subject) - 1) +
                              " are not all zero (first at offset " +
                              std::to_string(offsetof(JobHeader, unused) + i) +
                              "); the program ignores them");
            break;
        }
    }
    if (r.directSend != 0 && r.sendTo.terminated && r.sendTo.text.empty())
        r.notes.push_back("direct sending is asked for but the send-to is empty, so it is ignored");
    if (r.attachment.terminated && r.attachment.text.empty())
        r.notes.push_back("the main attachment is empty; the program still tries to attach it "
                          "and reports that it cannot");
    return r;
}

std::string Describe(const Refusal &why, const Examination &r)
{
    std::string detail = std::to_string(why.detail);
    std::string value = why.value != nullptr ? why.value : "";
    switch (why.rule) {
    case REFUSED_NOT:
        return "no refusal";
    // The installation's rules: the program's, not a job file's; ExamineJob gives none,
    // but every rule has its words, so that a new one is not left without.
    case REFUSED_KEY_MISSING:
        return "the installation's registry key cannot be opened (error " + detail + ")";
    case REFUSED_VALUE_MISSING:
        return "the value " + value + " is missing (error " + detail + ")";
    case REFUSED_VALUE_TOO_LONG:
        return "the value " + value + " is " + detail + " bytes, too long for 260 bytes";
    case REFUSED_VALUE_UNTERMINATED:
        return "the value " + value + " has no NUL";
    case REFUSED_EXPANSION_TOO_LONG:
        return "the value " + value + " expanded does not fit 260 bytes";
    case REFUSED_VALUE_EMPTY:
        return "the value " + value + " is empty";
    case REFUSED_VALUE_NAMES_NOTHING:
        return "the value " + value + " names no file or folder (error " + detail + ")";
    case REFUSED_PATH_TOO_LONG:
        return "the job's path is " + detail + " characters, too long for 260 bytes";
    case REFUSED_JOB_UNOPENABLE:
        return "the job file cannot be opened alone to be deleted (error " + detail + ")";
    case REFUSED_HEADER_SHORT:
        return "the file is " + detail + " bytes long, shorter than the " +
               std::to_string(JOB_HEADER_SIZE) + "-byte header";
    case REFUSED_TEXT_UNTERMINATED:
        return "the " + value + " has no NUL inside its slot (text not terminated)";
    case REFUSED_LIST_TOO_LARGE:
        return "the extra count " + detail + " is too large: count x " +
               std::to_string(JOB_EXTRA_SLOT) + " does not fit 32 bits (the limit is " +
               std::to_string(JOB_FIRST_OVERFLOWING_COUNT - 1) + ")";
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
    }
    return std::string();
}

} // namespace velmora_job
