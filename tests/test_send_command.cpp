// The send command: release order, the job file's fate, when the client is started.
#include "app/send_command.h"
#include "tests/helpers.h"

namespace {

// The events that show what became of the job, the Notes objects and the client.
std::vector<std::string> Outline()
{
    std::vector<std::string> outline;
    static const char *const kept[] = {"CreateFileA", "GlobalAlloc", "GlobalFree", "CloseHandle",
                                       "OpenDatabase", "CreateNote", "SaveNote", "CloseNote",
                                       "CloseDatabase", "MessageBox", "WinExec"};
    for (const std::string &e : TheWorld().events) {
        for (const char *k : kept) {
            if (e.compare(0, strlen(k), k) == 0)
                outline.push_back(e.substr(0, e.find(' ') == std::string::npos ? e.size() : e.find(' ')) +
                                  (e.compare(0, 10, "MessageBox") == 0 ? e.substr(10) : ""));
        }
    }
    return outline;
}

} // namespace

TEST(SendCommand, GoodJobReleasesInOrderThenHandsOver)
{
    InstallProduct();
    Job f = PlainJob();
    f.extras = {"C:\\Devis\\A12.pdf"};
    AddFile(JobPath, EncodeJob(f));
    RunSendCommand("\"C:\\Temp\\job 1.tmp\"");
    EXPECT_EQ((std::vector<std::string>{"CreateFileA", "GlobalAlloc", "OpenDatabase", "CreateNote",
                                        "SaveNote", "GlobalFree", "CloseHandle", "CloseNote",
                                        "CloseDatabase", "WinExec"}),
              Outline());
    EXPECT_EQ(std::string("OpenDatabase ") + DatabaseShortPath,
              EventsStartingWith("OpenDatabase").at(0));
    EXPECT_FALSE(FileExists(JobPath));
    EXPECT_TRUE(FileExists("C:\\Devis\\A12.pdf"));
    EXPECT_EQ(0, TheWorld().liveGlobalBlocks);
    EXPECT_EQ(std::vector<std::string>{std::string(ClientShortPath) + " " + DatabaseShortPath},
              TheWorld().launched);
}

// One row per failure: its box, the job file's fate, whether the client starts.
TEST(SendCommand, FailureTable)
{
    struct Case {
        const char *what;
        void (*spoil)();
        std::vector<UINT> boxes;
        bool jobFileLeft;
        bool handedOver;
    } cases[] = {
        {"settings", [] { TheWorld().values.erase("LN_Base"); }, {MSG_NOT_INSTALLED}, true, false},
        {"open", [] { TheWorld().files[JobPath].openHandles = 1; }, {MSG_OPEN_JOB_FAILED}, true, false},
        {"read", [] { TheWorld().files[JobPath].data.resize(3339); }, {MSG_READ_JOB_FAILED}, false, false},
        {"database", [] { FailNotes("OpenDatabase"); }, {MSG_DATABASE_NOT_FOUND}, false, false},
        {"note", [] { FailNotes("CreateNote"); }, {MSG_CREATE_MEMO_FAILED}, false, false},
        {"body", [] { FailNotes("AddBodyToNote"); }, {MSG_ADD_BODY_FAILED}, false, true},
        {"attachment", [] { FailNotes("AttachFile"); }, {MSG_ATTACH_FAILED}, false, true},
    };
    for (const Case &c : cases) {
        InstallProduct();
        AddFile(JobPath, EncodeJob(PlainJob()));
        c.spoil();
        RunSendCommand(JobPath);
        EXPECT_EQ(c.boxes, TheWorld().boxes) << c.what;
        EXPECT_EQ(c.jobFileLeft, FileExists(JobPath)) << c.what;
        EXPECT_EQ(c.handedOver, !TheWorld().launched.empty()) << c.what;
        EXPECT_TRUE(FileExists("C:\\Devis\\A12.pdf")) << c.what;
        // Whatever was obtained went back: no handle left open, no block, no database.
        EXPECT_EQ(EventsStartingWith("CreateNote").size() - (c.what == std::string("note")),
                  EventsStartingWith("CloseNote").size()) << c.what;
        EXPECT_EQ(EventsStartingWith("OpenDatabase").size() - (c.what == std::string("database")),
                  EventsStartingWith("CloseDatabase").size()) << c.what;
        if (FileExists(JobPath))
            EXPECT_EQ(c.what == std::string("open") ? 1 : 0, TheWorld().files[JobPath].openHandles);
    }
}

TEST(SendCommand, UnreadableListIsReleasedBeforeTheFileIsClosed)
{
    InstallProduct();
    Job f = PlainJob();
    f.extras = {"C:\\a"};
    AddFile(JobPath, EncodeJob(f, Unchecked(2)));
    RunSendCommand(JobPath);
    EXPECT_EQ((std::vector<std::string>{"CreateFileA", "GlobalAlloc", "MessageBox 9", "GlobalFree",
                                        "CloseHandle"}),
              Outline());
    EXPECT_EQ(0, TheWorld().liveGlobalBlocks);
}

TEST(SendCommand, SettingsReloadedOnEveryRun)
{
    InstallProduct();
    AddFile(JobPath, EncodeJob(PlainJob()));
    RunSendCommand(JobPath);
    ASSERT_EQ(1u, TheWorld().launched.size());
    TheWorld().values.erase("LN_Appli");
    AddFile(JobPath, EncodeJob(PlainJob()));
    RunSendCommand(JobPath);
    EXPECT_EQ(1u, TheWorld().launched.size());
    EXPECT_EQ(std::vector<UINT>{MSG_NOT_INSTALLED}, TheWorld().boxes);
}
