// A job file read back the way velmora-notes.exe reads it (job/job_layout.h), saying
// why the program would refuse it and what is odd in it; velmora-job's `dump`.  The
// rules are the program's own (job/job_rules.h, job/memo_rules.h), and so are the
// reasons (job/refusal.h).  Writing a job is the encoder's (tools/common/job_encoder.h).
#pragma once

#include "job/job_layout.h"
#include "job/refusal.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velmora_job {

// One text slot as found in a file.  Without its NUL, `text` is the whole slot.
struct SlotText {
    std::string text;
    bool terminated = true;
};

struct Examination {
    uint64_t fileSize = 0;
    bool headerComplete = false;
    // The fields below hold values only when headerComplete.
    uint16_t directSend = 0;
    SlotText subject, body, attachment, documentName, sendTo;
    uint32_t extraCount = 0;
    uint32_t reserved = 0;
    std::vector<SlotText> extras;   // the whole slots present, at most extraCount
    // The program's refusals, each as its reader gives it: the first is why the
    // program refuses the file; the list is judged even after a refusal of the header,
    // as the program would judge it once the header is mended.  Empty: the program
    // reads the file.
    std::vector<Refusal> refusals;
    std::vector<std::string> notes;     // harmless oddities, in words
};

Examination ExamineJob(const std::string &in);
// Whether the program reads the examined job: no refusal.
inline bool Readable(const Examination &r)
{
    return r.refusals.empty();
}

// A refusal of the examined job in plain words.  Extras are numbered from 1 in words,
// as the dump lists them (a refusal's detail counts from 0).
std::string Describe(const Refusal &why, const Examination &r);

} // namespace velmora_job
