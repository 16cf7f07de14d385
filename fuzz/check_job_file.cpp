// Job file bytes through OpenJobFile and ReadJob.  A job is either read, with every
// text ending inside its slot and a list of exactly `extraCount` slots holding the
// file's bytes, or refused with a reason and no box.  A count whose list
// size does not fit 32 bits is refused before any allocation.
#include "fuzz/properties.h"
#include "fuzz/verdict.h"
#include "job/job_file.h"
#include "tests/fake/world.h"

namespace {

const char Path[] = "C:\\Temp\\job.tmp";
const SIZE_T AllocLimit = 1u << 20;     // keeps runs fast; larger lists are refused
const size_t HeaderSize = 3340;
const size_t Slot = 256;

struct TextSlot {
    size_t offset, size;
};
const TextSlot HeaderTexts[] = {{260, 256}, {516, 2048}, {2564, 256}, {2820, 256}, {3076, 256}};

bool EndsInside(const char *text, size_t size)
{
    return memchr(text, '\0', size) != nullptr;
}

uint32_t CountIn(const std::string &bytes)
{
    const unsigned char *p = (const unsigned char *)bytes.data() + 3332;
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

// Whether the rules accept these bytes as a job.
bool Acceptable(const std::string &bytes)
{
    if (bytes.size() < HeaderSize)
        return false;
    for (const TextSlot &t : HeaderTexts) {
        if (!EndsInside(bytes.data() + t.offset, t.size))
            return false;
    }
    uint64_t count = CountIn(bytes);
    uint64_t listSize = count * Slot;     // one past 32 bits is past the allocation limit too
    if (listSize > AllocLimit || bytes.size() < HeaderSize + listSize)
        return false;
    for (uint64_t i = 0; i < count; ++i) {
        if (!EndsInside(bytes.data() + HeaderSize + i * Slot, Slot))
            return false;
    }
    return true;
}

} // namespace

std::string CheckJobFile(const uint8_t *data, size_t size)
{
    std::string bytes((const char *)data, size);
    ResetWorld();
    World &w = TheWorld();
    w.globalAllocLimit = AllocLimit;
    AddFile(Path, bytes);

    static LoadedJob job;
    memset(&job, 0xAB, sizeof job);
    HANDLE file = INVALID_HANDLE_VALUE;
    Verdict v;
    Refusal why = {REFUSED_NOT, nullptr, 0};
    if (!v.Expect(OpenJobFile(Path, &job, &file, &why), "the job file did not open"))
        return v.failure;
    bool read = ReadJob(file, &job, &why);
    v.Expect(w.boxes.empty(), "a box shown by the reader");
    bool acceptable = Acceptable(bytes);
    uint32_t count = size >= HeaderSize ? CountIn(bytes) : 0;

    if (read) {
        v.Expect(acceptable, "read a job the rules refuse");
        v.Expect(why.rule == REFUSED_NOT, "a reason given for a job that was read");
        v.Expect(memcmp(&job.header, bytes.data(), HeaderSize) == 0,
                 "the header read differs from the file");
        const JobHeader &h = job.header;
        v.Expect(EndsInside(h.subject, sizeof h.subject) && EndsInside(h.body, sizeof h.body) &&
                     EndsInside(h.attachment, sizeof h.attachment) &&
                     EndsInside(h.documentName, sizeof h.documentName) &&
                     EndsInside(h.sendTo, sizeof h.sendTo),
                 "a header text of a job read does not end in its slot");
        v.Expect(h.extraCount == count, "the count read differs from the file");
        v.Expect((count == 0) == (job.extraList == nullptr), "list present without a count");
        for (uint32_t i = 0; i < count && job.extraList != nullptr; ++i) {
            // Touching every slot lets the address sanitizer check the list's size.
            const char *path = job.extraList[i].path;
            if (!EndsInside(path, Slot))
                v.Fail("list slot " + std::to_string(i) + " has no NUL");
            if (memcmp(path, bytes.data() + HeaderSize + i * Slot, Slot) != 0)
                v.Fail("list slot " + std::to_string(i) + " differs from the file");
        }
    } else {
        v.Expect(!acceptable, "refused a job the rules accept");
        v.Expect(why.rule >= REFUSED_HEADER_SHORT && why.rule <= REFUSED_EXTRA_UNTERMINATED,
                 "a refused job without a reason of the job's own");
    }

    std::vector<std::string> allocations = EventsStartingWith("GlobalAlloc");
    if (size >= HeaderSize && (uint64_t)count * Slot > 0xFFFFFFFFu && !allocations.empty())
        v.Fail("memory asked for a list whose size overflows:" + Joined(allocations));
    for (const std::string &a : allocations) {
        if (a != "GlobalAlloc 0x40 " + std::to_string((uint64_t)count * Slot))
            v.Fail("list allocation of the wrong size: " + a);
    }

    if (job.extraList != nullptr)
        GlobalFree(job.extraList);
    CloseHandle(file);
    v.Expect(w.liveGlobalBlocks == 0, "list memory left allocated");
    v.Expect(!FileExists(Path), "the job file was not deleted on close");
    return v.failure;
}
