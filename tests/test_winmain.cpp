// WinMain: the Notes runtime around exactly one mode, and 0 whatever happens.
#include "app/winmain.h"
#include "tests/helpers.h"

namespace {

char g_program[] = "velmora-notes.exe";
char g_job[] = "C:\\job.tmp";
char *g_vector[] = {g_program, g_job, nullptr};

int StartProgram(const char *tail)
{
    g_argc = 2;
    g_argv = g_vector;
    return WinMain((HINSTANCE)(uintptr_t)0x400000, nullptr, (LPSTR)tail, 1);
}

} // namespace

TEST(WinMain, RuntimeThatCannotStartIsReportedOnce)
{
    InstallProduct();
    FailNotes("InitNotesRuntime");
    EXPECT_EQ(0, StartProgram("C:\\job.tmp"));
    EXPECT_EQ(std::vector<UINT>{MSG_NOTES_INIT_FAILED}, TheWorld().boxes);
    EXPECT_EQ((std::vector<std::string>{"InitNotesRuntime argc=2 velmora-notes.exe C:\\job.tmp",
                                        "MessageBox 11"}),
              TheWorld().events);
}

TEST(WinMain, ChoosesTheModeFromTheTail)
{
    for (const char *tail : {"", (const char *)nullptr}) {
        InstallProduct();
        EXPECT_EQ(0, StartProgram(tail));
        EXPECT_EQ((std::vector<std::string>{"InitNotesRuntime argc=2 velmora-notes.exe C:\\job.tmp",
                                            "FindWindowA NOTES", "EndNotesRuntime"}),
                  TheWorld().events);
    }

    InstallProduct();
    AddFile("C:\\job.tmp", EncodeJob(PlainJob()));
    EXPECT_EQ(0, StartProgram("C:\\job.tmp"));
    EXPECT_EQ(1u, TheWorld().launched.size());
    EXPECT_EQ("EndNotesRuntime", TheWorld().events.back());
    EXPECT_EQ(1u, EventsStartingWith("EndNotesRuntime").size());

    InstallProduct();           // a failing send still ends the runtime once
    EXPECT_EQ(0, StartProgram("C:\\missing.tmp"));
    EXPECT_EQ(std::vector<UINT>{MSG_OPEN_JOB_FAILED}, TheWorld().boxes);
    EXPECT_EQ("EndNotesRuntime", TheWorld().events.back());
}
