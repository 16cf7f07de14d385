// Opening and reading job files written by someone else.
#include "job/job_file.h"
#include "tests/helpers.h"

namespace {

// Opens and reads `bytes` stored at JobPath; the handle is closed (deleting the file).
bool Load(const std::string &bytes, LoadedJob *job, Refusal *why)
{
    AddFile(JobPath, bytes);
    HANDLE file;
    *why = Refusal{REFUSED_NOT, nullptr, 0};
    bool ok = OpenJobFile(JobPath, job, &file, why) && ReadJob(file, job, why);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return ok;
}

void Release(LoadedJob *job)
{
    if (job->extraList)
        GlobalFree(job->extraList);
    job->extraList = nullptr;
}

} // namespace

TEST(JobFile, OpensForExclusiveReadingDeletedOnClose)
{
    InstallProduct();
    static LoadedJob job;
    memset(&job.header, 0xAB, sizeof job.header);
    AddFile(JobPath, EncodeJob(PlainJob()));
    HANDLE file;
    Refusal why;
    ASSERT_TRUE(OpenJobFile(JobPath, &job, &file, &why));
    EXPECT_EQ(std::string("CreateFileA ") + JobPath +
                  " access=0x80000000 share=0x0 disposition=3 flags=0x4000080",
              TheWorld().events.back());
    EXPECT_EQ(0, job.header.directSend);        // the image is zeroed before reading
    EXPECT_EQ(0, job.header.subject[0]);
    CloseHandle(file);
    EXPECT_FALSE(FileExists(JobPath));
}

TEST(JobFile, ReadsHeaderAndListWhole)
{
    InstallProduct();
    static LoadedJob job;
    Job f = PlainJob();
    f.directSend = 0x0102;
    f.extras = {"C:\\a.txt", "C:\\b.txt"};
    std::string bytes = EncodeJob(f);
    bytes[offsetof(JobHeader, listReference)] = '\x5A';     // junk there: no effect
    bytes += "trailing bytes are not read";
    Refusal why;
    ASSERT_TRUE(Load(bytes, &job, &why));
    EXPECT_EQ(0x0102, job.header.directSend);
    EXPECT_STREQ("Devis [DOC]", job.header.subject);
    EXPECT_STREQ("A12", job.header.documentName);
    EXPECT_EQ(2u, job.header.extraCount);
    ASSERT_NE(nullptr, job.extraList);
    EXPECT_STREQ("C:\\a.txt", job.extraList[0].path);
    EXPECT_STREQ("C:\\b.txt", job.extraList[1].path);
    const std::string list = std::to_string(2 * JOB_EXTRA_SLOT);
    EXPECT_EQ((std::vector<std::string>{"ReadFile " + std::to_string(JOB_HEADER_SIZE),
                                        "ReadFile " + list}),
              EventsStartingWith("ReadFile"));
    EXPECT_EQ(std::vector<std::string>{"GlobalAlloc 0x40 " + list}, EventsStartingWith("GlobalAlloc"));
    Release(&job);

    f.extras.clear();
    ASSERT_TRUE(Load(EncodeJob(f), &job, &why));        // the header alone, count 0
    EXPECT_EQ(nullptr, job.extraList);
    EXPECT_TRUE(Boxes().empty());
}

// Each malformed job: refused with its rule, and no read past a slot or a buffer.
TEST(JobFile, RefusesShortOrMalformedJobs)
{
    struct Case {
        const char *what;
        std::string bytes;
        bool listObtained;
        RefusalRule rule;
        unsigned long detail;
    };
    const Job f = PlainJob();
    Job one = f, two = f, unterminated = f;
    one.extras = {"C:\\a"};
    two.extras = {"C:\\a.txt", "C:\\b.txt"};
    unterminated.extras = {"C:\\a", std::string(JOB_EXTRA_SLOT, 'e')};
    const size_t header = JOB_HEADER_SIZE, slot = JOB_EXTRA_SLOT;
    const uint32_t over = JOB_FIRST_OVERFLOWING_COUNT;
    std::vector<Case> cases = {
        {"empty file", "", false, REFUSED_HEADER_SHORT, 0},
        {"one byte short", EncodeJob(f, Unchecked(-1, header - 1)), false, REFUSED_HEADER_SHORT, header - 1},
        {"count beyond the file", EncodeJob(one, Unchecked(3)), true, REFUSED_LIST_SHORT, slot},
        {"list one byte short", EncodeJob(two, Unchecked(-1, header + 2 * slot - 1)), true, REFUSED_LIST_SHORT, 2 * slot - 1},
        {"first count that overflows", EncodeJob(f, Unchecked(over)), false, REFUSED_LIST_TOO_LARGE, over},
        {"count 0xFFFFFFFF overflows", EncodeJob(f, Unchecked(0xFFFFFFFF)), false, REFUSED_LIST_TOO_LARGE, 0xFFFFFFFF},
        {"list too big to obtain (4 GB less a slot)", EncodeJob(f, Unchecked(over - 1)), false, REFUSED_LIST_UNAVAILABLE, over - 1},
        {"extra slot without NUL", EncodeJob(unterminated, Unchecked()), true, REFUSED_EXTRA_UNTERMINATED, 1},
    };
    static const struct {
        const char *name;
        std::string Job::*text;
    } slots[] = {{"subject", &Job::subject}, {"body", &Job::body}, {"attachment", &Job::attachment},
                 {"document name", &Job::documentName}, {"send-to", &Job::sendTo}};
    for (const auto &s : slots) {
        Job j = f;
        j.*s.text = std::string(JOB_HEADER_SIZE, 'z');      // cut to its slot, filling it
        cases.push_back({s.name, EncodeJob(j, Unchecked()), false, REFUSED_TEXT_UNTERMINATED, 0});
    }
    std::string unusedFilled = EncodeJob(f);    // the unread bytes may hold anything
    unusedFilled.replace(offsetof(JobHeader, unused), JOB_UNREAD_SIZE, JOB_UNREAD_SIZE, 'u');

    for (const Case &c : cases) {
        InstallProduct();
        static LoadedJob job;
        Refusal why;
        EXPECT_FALSE(Load(c.bytes, &job, &why)) << c.what;
        EXPECT_EQ(c.rule, why.rule) << c.what;
        EXPECT_EQ(c.detail, why.detail) << c.what;
        if (c.rule == REFUSED_TEXT_UNTERMINATED)
            EXPECT_STREQ(c.what, why.value);
        EXPECT_TRUE(Boxes().empty()) << c.what;
        EXPECT_EQ(c.listObtained, job.extraList != nullptr) << c.what;
        if (strstr(c.what, "overflows"))        // no allocation for a size that wrapped
            EXPECT_TRUE(EventsStartingWith("GlobalAlloc").empty()) << c.what;
        Release(&job);
        EXPECT_EQ(0, TheWorld().liveGlobalBlocks) << c.what;
        EXPECT_FALSE(FileExists(JobPath)) << c.what;
    }

    InstallProduct();
    static LoadedJob job;
    Refusal why;
    EXPECT_TRUE(Load(unusedFilled, &job, &why));
    EXPECT_TRUE(Boxes().empty());
}

TEST(JobFile, PathFromEveryQuotingForm)
{
    static const struct {
        const char *tail;
        const char *opened;         // the path CreateFileA must see
    } cases[] = {
        {"C:\\Temp\\job 1.tmp", "C:\\Temp\\job 1.tmp"},
        {"\"C:\\Temp\\job 1.tmp\"", "C:\\Temp\\job 1.tmp"},
        {"\"C:\\Temp\\job 1.tmp", "C:\\Temp\\job 1.tmp"},         // opening quote only
        {"C:\\Temp\\job 1.tmp\"", "C:\\Temp\\job 1.tmp\""},       // closing quote only: kept
        {"\"C:\\Temp\\job 1.tmp\" ", "C:\\Temp\\job 1.tmp\" "},   // blank after: both kept
        {"\"", ""},
        {"\"\"", ""},
    };
    for (const auto &c : cases) {
        InstallProduct();
        AddFile(JobPath, EncodeJob(PlainJob()));
        static LoadedJob job;
        HANDLE file;
        Refusal why = {REFUSED_NOT, nullptr, 0};
        bool opened = OpenJobFile(c.tail, &job, &file, &why);
        EXPECT_EQ(std::string("CreateFileA ") + c.opened +
                      " access=0x80000000 share=0x0 disposition=3 flags=0x4000080",
                  EventsStartingWith("CreateFileA").at(0))
            << "tail: " << c.tail;
        EXPECT_EQ(opened, std::string(c.opened) == JobPath) << c.tail;
        EXPECT_EQ(opened ? REFUSED_NOT : REFUSED_JOB_UNOPENABLE, why.rule) << c.tail;
        EXPECT_EQ(opened, file != INVALID_HANDLE_VALUE);
        if (opened)
            CloseHandle(file);
    }
}

TEST(JobFile, OpenFailuresLeaveTheFileAlone)
{
    std::string longest(259, 'p');
    struct Case {
        const char *what;
        std::string tail;
        bool held;
        RefusalRule rule;
        unsigned long detail;
        size_t opens;               // only a file held elsewhere is tried again
    } cases[] = {
        {"missing", "C:\\Temp\\nothing.tmp", false, REFUSED_JOB_UNOPENABLE, ERROR_FILE_NOT_FOUND, 1},
        {"held open elsewhere", JobPath, true, REFUSED_JOB_UNOPENABLE, ERROR_SHARING_VIOLATION, 11},
        {"a directory", "C:\\Temp", false, REFUSED_JOB_UNOPENABLE, ERROR_ACCESS_DENIED, 1},
        {"path of 260 characters", longest + "q", false, REFUSED_PATH_TOO_LONG, 260, 0},
        {"quoted path of 260 characters", "\"" + longest + "q\"", false, REFUSED_PATH_TOO_LONG, 260, 0},
    };
    for (const Case &c : cases) {
        InstallProduct();
        AddDirectory("C:\\Temp");
        AddFile(JobPath, EncodeJob(PlainJob()));
        AddFile(longest + "q", EncodeJob(PlainJob()));
        if (c.held)
            TheWorld().files[JobPath].openHandles = 1;
        static LoadedJob job;
        HANDLE file;
        Refusal why;
        EXPECT_FALSE(OpenJobFile(c.tail.c_str(), &job, &file, &why)) << c.what;
        EXPECT_EQ(INVALID_HANDLE_VALUE, file) << c.what;
        EXPECT_EQ(c.rule, why.rule) << c.what;
        EXPECT_EQ(c.detail, why.detail) << c.what;
        EXPECT_EQ(c.opens, EventsStartingWith("CreateFileA").size()) << c.what;
        EXPECT_EQ(c.opens ? c.opens - 1 : 0, EventsStartingWith("Sleep 100").size()) << c.what;
        EXPECT_TRUE(FileExists(JobPath) && FileExists(longest + "q")) << c.what;
    }

    // Held for 300 ms, as a scanner does with a fresh file: opened at the fourth try.
    InstallProduct();
    AddFile(JobPath, EncodeJob(PlainJob()));
    TheWorld().files[JobPath].heldUntil = 300;
    static LoadedJob held;
    HANDLE heldFile;
    Refusal heldWhy;
    EXPECT_TRUE(OpenJobFile(JobPath, &held, &heldFile, &heldWhy));
    EXPECT_EQ(4u, EventsStartingWith("CreateFileA").size());
    CloseHandle(heldFile);

    // 259 characters still fit their buffer with the NUL.
    InstallProduct();
    AddFile(longest, EncodeJob(PlainJob()));
    static LoadedJob job;
    HANDLE file;
    Refusal why;
    EXPECT_TRUE(OpenJobFile(("\"" + longest + "\"").c_str(), &job, &file, &why));
    CloseHandle(file);
}

// The doctor's opening: the program's rights, sharing and tries, and the file kept.
TEST(JobFile, OpenWithoutDeletingAsksTheSameAndKeepsTheFile)
{
    struct Case {
        const char *what;
        bool held;
        unsigned long heldUntil;
        bool opened;
        size_t opens;
    } cases[] = {
        {"free", false, 0, true, 1},
        {"held for 300 ms", false, 300, true, 4},
        {"held throughout", true, 0, false, 11},
    };
    for (const Case &c : cases) {
        InstallProduct();
        AddFile(JobPath, EncodeJob(PlainJob()));
        TheWorld().files[JobPath].openHandles = c.held ? 1 : 0;
        TheWorld().files[JobPath].heldUntil = c.heldUntil;
        static LoadedJob job;
        HANDLE file;
        Refusal why = {REFUSED_NOT, nullptr, 0};
        EXPECT_EQ(c.opened, OpenJob(JobPath, false, &job, &file, &why)) << c.what;
        std::vector<std::string> opens = EventsStartingWith("CreateFileA");
        EXPECT_EQ(c.opens, opens.size()) << c.what;
        EXPECT_EQ(std::string("CreateFileA ") + JobPath +
                      " access=0x80010000 share=0x0 disposition=3 flags=0x80",
                  opens.at(0)) << c.what;
        EXPECT_EQ(c.opened ? REFUSED_NOT : REFUSED_JOB_UNOPENABLE, why.rule) << c.what;
        if (c.opened)
            CloseHandle(file);
        EXPECT_TRUE(FileExists(JobPath)) << c.what;
    }
}
