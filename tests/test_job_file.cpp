// Opening and reading job files written by someone else.
#include "job/job_file.h"
#include "tests/helpers.h"

// The header and the list each in one read of its size; a value in the reserved field
// and bytes after the list change nothing.
TEST(JobFile, ReadsHeaderAndListWhole)
{
    InstallProduct();
    static LoadedJob job;
    Job f = PlainJob();
    f.extras = {"C:\\a.txt", "C:\\b.txt"};
    std::string bytes = EncodeJob(f);
    bytes[offsetof(JobHeader, listReference)] = '\x5A';
    AddFile(JobPath, bytes + "trailing bytes are not read");
    HANDLE file;
    Refusal why = {REFUSED_NOT, nullptr, 0};
    ASSERT_TRUE(OpenJobFile(JobPath, &job, &file, &why) && ReadJob(file, &job, &why));
    CloseHandle(file);
    EXPECT_STREQ("C:\\b.txt", job.extraList[1].path);
    EXPECT_EQ((std::vector<std::string>{"ReadFile 3340", "ReadFile 512"}), EventsStartingWith("ReadFile"));
    GlobalFree(job.extraList);
}

TEST(JobFile, OpenFailuresLeaveTheFileAlone)
{
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
    };
    for (const Case &c : cases) {
        InstallProduct();
        AddDirectory("C:\\Temp");
        AddFile(JobPath, EncodeJob(PlainJob()));
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
        EXPECT_TRUE(FileExists(JobPath)) << c.what;
    }
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
