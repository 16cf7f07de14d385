// Job file bytes through OpenJobFile and ReadJob.  A job is either read, with every
// text ending inside its slot and a list of exactly `extraCount` slots holding the
// file's bytes, or refused with a reason and no box.  A count whose list
// size does not fit 32 bits is refused before any allocation.  The program's reason
// (rule, value, detail) is the one the documented format gives (ModelJob), so the
// program is right about why, not only about whether.
#include "fuzz/check.h"
#include "fuzz/model.h"
#include "job/job_file.h"

namespace {

const char Path[] = "C:\\Temp\\job.tmp";
const SIZE_T AllocLimit = 1u << 20;     // keeps runs fast; larger lists are refused
const size_t Slot = 256;              // one path of the list

std::string Reason(RefusalRule rule, const std::string &value, unsigned long detail)
{
    return "rule " + std::to_string(rule) + " value " + (value.empty() ? "none" : value) +
           " detail " + std::to_string(detail);
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
    ModelJobVerdict expected = ModelJob(bytes);
    uint32_t count = expected.count;
    // A list that is allocated, when the header passed and the list size fits: the fake
    // refuses one past its allocation limit, which is under 32 bits.
    bool allocated = count > 0 && (expected.rule == REFUSED_NOT ||
                                   expected.rule == REFUSED_LIST_SHORT ||
                                   expected.rule == REFUSED_EXTRA_UNTERMINATED);
    if (allocated && (uint64_t)count * Slot > AllocLimit)
        expected = ModelJobVerdict{REFUSED_LIST_UNAVAILABLE, "", count, count};
    std::string value = why.value != nullptr ? why.value : "";
    if (why.rule != expected.rule || value != expected.value || why.detail != expected.detail)
        v.Fail("the program's reason is " + Reason(why.rule, value, why.detail) +
               ", the format's " + Reason(expected.rule, expected.value, expected.detail));

    // Read exactly when the format reads it; then the header and list are the file's bytes,
    // whose texts the model found ended in their slots.
    v.Expect(read == (expected.rule == REFUSED_NOT), "read or refused against the rules");
    if (read) {
        v.Expect(memcmp(&job.header, bytes.data(), sizeof job.header) == 0,
                 "the header read differs from the file");
        v.Expect((count == 0) == (job.extraList == nullptr), "list present without a count");
        for (uint32_t i = 0; i < count && job.extraList != nullptr; ++i) {
            // Touching every slot lets the address sanitizer check the list's size.
            if (memcmp(job.extraList[i].path, bytes.data() + sizeof job.header + i * Slot, Slot) != 0)
                v.Fail("list slot " + std::to_string(i) + " differs from the file");
        }
    }

    // Of exactly the list's size, so never for a count whose size overflows 32 bits.
    for (const std::string &a : EventsStartingWith("GlobalAlloc")) {
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
