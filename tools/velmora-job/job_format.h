// The job file as velmora-notes.exe reads it: a 3340-byte little-endian header,
// then `extra count` attachment paths of 256 bytes each.  Every text ends with a NUL
// inside its slot.  This is the integrator's side: writing a job, and reading one
// back the way the program would, saying why it would be refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velmora_job {

// Offsets and sizes of the header's fields.
enum : size_t {
    DirectSendOffset = 0,       // 16-bit flag
    UnreadOffset = 2,           // 258 bytes the program never looks at
    UnreadSize = 258,
    SubjectOffset = 260,
    BodyOffset = 516,
    AttachmentOffset = 2564,
    DocumentOffset = 2820,
    SendToOffset = 3076,
    CountOffset = 3332,         // 32-bit count of extra attachments
    ReservedOffset = 3336,      // 32 bits, not used
    HeaderSize = 3340,
    TextSlot = 256,
    BodySlot = 2048,
    ExtraSlot = 256,
};

// A list whose size in bytes, count x 256, does not fit 32 bits is refused.
const uint32_t FirstOverflowingCount = 0x01000000;   // 16,777,216

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

// The file's bytes.  Unused bytes are zero.  Precondition: CheckJob(job) is empty;
// otherwise throws std::invalid_argument.
std::string EncodeJob(const Job &job);

// The lines of a body as the program makes them: split at CR, a CR LF counting as a
// single line end; a bare LF stays inside its line; a final line end starts no line.
std::vector<std::string> BodyLines(const std::string &body);

// The name an attachment is recorded under: the part after the last backslash.
std::string RecordedName(const std::string &path);

// One text slot as found in a file.  Without its NUL, `text` is the whole slot.
struct SlotText {
    std::string text;
    bool terminated = true;
};

// Why the program would refuse a file, in the order it finds out.
enum class Problem {
    ShortHeader,            // size: the file's length
    UnterminatedText,       // field: which header text
    ListSizeOverflow,       // count
    ListShort,              // count, slotsPresent, partialBytes
    UnterminatedExtra,      // index (1-based)
};

struct Finding {
    Problem problem;
    std::string field;
    uint64_t size = 0;
    uint32_t count = 0;
    uint64_t slotsPresent = 0;
    uint64_t partialBytes = 0;
    uint32_t index = 0;
};

// Harmless oddities worth knowing.
enum class Remark {
    TrailingBytes,          // size: bytes after the list
    ReservedNotZero,        // value at offset 3336
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
    std::vector<Finding> findings;  // empty: the program reads the file
    std::vector<Note> notes;

    bool Readable() const { return findings.empty(); }
};

Examination ExamineJob(const std::string &bytes);

// Plain-words sentences for findings and notes.
std::string Describe(const Finding &finding);
std::string Describe(const Note &note);

} // namespace velmora_job
