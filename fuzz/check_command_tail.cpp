// CommandTail against the reference model, then the job path OpenJobFile takes from
// that tail.  Input: a byte whose low two bits say how many lead bytes follow, those
// bytes, then the command line up to the first NUL.
#include "app/command_tail.h"
#include "fuzz/check.h"
#include "fuzz/model.h"
#include "job/job_file.h"

std::string CheckCommandTail(const uint8_t *data, size_t size)
{
    FuzzInput in = {data, size};
    std::string leadBytes = in.Take(in.Byte() & 3);
    std::string line = in.Text();

    ResetWorld();
    World &w = TheWorld();
    w.leadBytes = leadBytes;
    Verdict v;

    const char *tail = CommandTail(line.c_str());
    size_t expected = ModelCommandTail(line, leadBytes);
    if (tail < line.c_str() || tail > line.c_str() + line.size()) {
        v.Fail("the tail points outside the line " + Printable(line));
        return v.failure;
    }
    size_t at = (size_t)(tail - line.c_str());
    if (at != expected)
        v.Fail("line " + Printable(line) + " lead bytes " + Printable(leadBytes) +
               "\n  expected tail " + Printable(line.substr(expected)) + "\n  got " +
               Printable(line.substr(at)));
    v.Expect(CommandTail(nullptr) != nullptr && *CommandTail(nullptr) == '\0',
             "no empty tail for no line");

    // The job path: the file it names is opened, or a path too long for MAX_PATH is
    // refused before any file is tried.
    std::string path = ModelJobPath(tail);
    bool fits = path.size() < MAX_PATH;
    if (fits)
        AddFile(path, "job");
    w.events.clear();
    static LoadedJob job;
    memset(&job, 0xAB, sizeof job);
    HANDLE file = nullptr;      // the opening sets it, whatever happens
    Refusal why = {REFUSED_NOT, nullptr, 0};
    bool opened = OpenJobFile(tail, &job, &file, &why);
    std::vector<std::string> creates = EventsStartingWith("CreateFileA");
    if (fits) {
        // Read access, no sharing, an existing file, deleted when its handle is closed.
        std::string create = "CreateFileA " + path +
                             " access=0x80000000 share=0x0 disposition=3 flags=0x4000080";
        if (!opened)
            v.Fail("the job file " + Printable(path) + " did not open");
        if (creates.size() != 1 || creates[0] != create)
            v.Fail("tail " + Printable(tail) + ": expected path " + Printable(path) +
                   ", opened" + Joined(creates));
    } else {
        v.Expect(!opened && why.rule == REFUSED_PATH_TOO_LONG && why.detail == path.size(),
                 "a path of MAX_PATH characters or more not refused as too long");
        v.Expect(creates.empty(), "a file opened for a path of MAX_PATH characters or more");
        v.Expect(file == INVALID_HANDLE_VALUE, "a handle for a refused path");
    }
    static const JobHeader zero = JobHeader();
    v.Expect(memcmp(&job.header, &zero, sizeof zero) == 0 && job.extraList == nullptr,
             "the job not zeroed on opening");
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return v.failure;
}
