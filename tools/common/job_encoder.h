// Writing job files for velmora-notes.exe, as laid out in job/job_layout.h: the
// encoder that velmora-job's `make` and the test equipment share.  A checked job fits
// the format; an unchecked one is malformed on purpose, to try a reader.
#pragma once

#include "job/job_layout.h"

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
// what it holds and what it may hold.  Empty when the job fits.
std::vector<std::string> JobProblems(const Job &job);

// How EncodeJob writes.  Checked, the default, writes only a job that fits, with its
// own count and whole.  Unchecked writes files malformed on purpose: each text is cut to
// its slot, so one that fills it has no NUL; `count`, when not -1, is written instead
// of the number of extras; the file is cut to `size` bytes.
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

// The file's bytes; unused bytes are zero.  Empty (no job file is) for a checked
// encoding of a job that does not fit or of a count or size of its own.
std::string EncodeJob(const Job &job, const Encoding &how = Encoding());

} // namespace velmora_job
