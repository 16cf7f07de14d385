// The job file as velmora-notes.exe reads it, laid out in job/job_layout.h.  This is
// the integrator's side: writing a job, and reading one back the way the program
// would, saying why it would be refused.  The rules are the program's own
// (job/job_rules.h, job/memo_rules.h), and so are the reasons (job/refusal.h).
#pragma once

#include "job/job_layout.h"
#include "job/refusal.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velmora_job {

// A job as an integrator describes it; texts are the bytes to store (Windows-1252).
struct Job {
    uint16_t directSend = 0;
    std::string subject;
    std::string body;
    std::string attachment;
    std::string documentName;
    std::string sendTo;
    std::vector<std::string> extras;
};

// Reasons a job cannot be written: one line per faulty field, naming the field,
// what it holds and what it may hold.  Empty when EncodeJob may be called.
std::vector<std::string> CheckJob(const Job &job);

// How EncodeJob writes.  Checked, the default, writes only a job CheckJob accepts and
// throws std::invalid_argument for any other.  Unchecked writes files malformed on
// purpose: each text is cut to its slot, so one that fills it has no NUL; `count`, when
// not -1, is written instead of the number of extras; the file is cut to `size` bytes.
struct Encoding {
    bool checked = true;
    int64_t count = -1;
    uint64_t size = UINT64_MAX;
};

// The unchecked encoding, writing `count` and cutting to `size` when given.
inline Encoding Unchecked(int64_t count = -1, uint64_t size = UINT64_MAX)
{
    Encoding how;
    how.checked = false;
    how.count = count;
    how.size = size;
    return how;
}

// The file's bytes.  Unused bytes are zero.
std::string EncodeJob(const Job &job, const Encoding &how = Encoding());

// The lines of a body as the program makes them (NextBodyLine): split at CR, a CR LF
// counting as a single line end; a bare LF stays inside its line; a final line end
// starts no line.  The body is its text up to its first NUL, as in the program.
std::vector<std::string> BodyLines(const std::string &body);

// The name an attachment is recorded under (the program's RecordedName): the part
// after the last backslash of the path, up to its first NUL.
std::string RecordedName(const std::string &path);

// One text slot as found in a file.  Without its NUL, `text` is the whole slot.
struct SlotText {
    std::string text;
    bool terminated = true;
};

// Harmless oddities worth knowing.
enum class Remark {
    TrailingBytes,          // size: bytes after the list
    ReservedNotZero,        // value: the list reference, meaningless in a file
    UnreadNotZero,          // some byte in 2..259 is not zero
    DirectSendIgnored,      // flag set, send-to empty
    NoAttachment,           // main attachment empty
};

struct Note {
    Remark remark;
    uint64_t value = 0;
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
    std::vector<Note> notes;

    bool Readable() const { return refusals.empty(); }
};

Examination ExamineJob(const std::string &in);

// Plain-words sentences for a refusal of the examined job and for notes.  Extras are
// numbered from 1 in words, as the dump lists them (a refusal's detail counts from 0).
std::string Describe(const Refusal &why, const Examination &r);
std::string Describe(const Note &n);

} // namespace velmora_job
