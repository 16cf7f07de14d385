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

// Opening a job alone, deleting it on close (the program) or not (the doctor, which
// asks for the same rights): the same verdict either way, a file held by another
// process tried again 100 ms apart, and on a failure no handle and the file left alone.
TEST(JobFile, OpensAloneWithOrWithoutDeleting)
{
    struct Case {
        const char *what;
        const char *path;
        bool held;                  // open elsewhere throughout
        unsigned long heldUntil;    // or until this clock time
        unsigned long error;        // 0: opened
        size_t opens;               // only a file held elsewhere is tried again
    } cases[] = {
        {"free", JobPath, false, 0, 0, 1},
        {"held for 300 ms", JobPath, false, 300, 0, 4},
        {"held throughout", JobPath, true, 0, ERROR_SHARING_VIOLATION, 11},
        {"missing", "C:\\Temp\\nothing.tmp", false, 0, ERROR_FILE_NOT_FOUND, 1},
        {"a directory", "C:\\Temp", false, 0, ERROR_ACCESS_DENIED, 1},
    };
    for (const Case &c : cases) {
        for (bool deleting : {true, false}) {
            InstallProduct();
            AddDirectory("C:\\Temp");
            AddFile(JobPath, EncodeJob(PlainJob()));
            TheWorld().files[JobPath].openHandles = c.held ? 1 : 0;
            TheWorld().files[JobPath].heldUntil = c.heldUntil;
            static LoadedJob job;
            HANDLE file;
            Refusal why = {REFUSED_NOT, nullptr, 0};
            std::string what = std::string(c.what) + (deleting ? ", deleting" : ", kept");
            EXPECT_EQ(c.error == 0, OpenJob(c.path, deleting, &job, &file, &why)) << what;
            EXPECT_EQ(c.error == 0 ? REFUSED_NOT : REFUSED_JOB_UNOPENABLE, why.rule) << what;
            EXPECT_EQ(c.error, why.detail) << what;
            std::vector<std::string> opens = EventsStartingWith("CreateFileA");
            EXPECT_EQ(c.opens, opens.size()) << what;
            EXPECT_EQ(c.opens - 1, EventsStartingWith("Sleep 100").size()) << what;
            if (!deleting)      // the deleting open's line is the command tail fuzz target's
                EXPECT_EQ(std::string("CreateFileA ") + c.path +
                              " access=0x80010000 share=0x0 disposition=3 flags=0x80",
                          opens.at(0)) << what;
            if (c.error == 0)
                CloseHandle(file);
            else
                EXPECT_EQ(INVALID_HANDLE_VALUE, file) << what;
            EXPECT_EQ(!deleting || c.error != 0, FileExists(JobPath)) << what;
        }
    }
}
