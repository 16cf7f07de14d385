// The database window and the hand-over, on the fake clock: no real sleeping.
#include "tests/helpers.h"
#include "window/database_window.h"
#include "window/hand_over.h"
#include "window/launch_line.h"
#include "tests/rule_tables.h"

namespace {

const char SelfShort[] = "C:\\PROGRA~1\\Velmora\\VELMOR~1.EXE";

int NotesWindow()
{
    return AddWindow("NOTES", "Lotus Notes");
}

void HandOver()
{
    HandOverToNotes(ClientShortPath, DatabaseShortPath);
}

std::vector<std::string> Variables()
{
    return EventsStartingWith("SetClientVariable");
}

} // namespace

TEST(DatabaseWindow, FindsTheFirstDescendantWithThePrefix)
{
    ResetWorld();
    EXPECT_EQ(nullptr, FindDatabaseWindow());      // no Notes client at all
    int notes = NotesWindow();
    AddWindow("Other", "Velmora - elsewhere");     // not inside the Notes window
    int frame = AddWindow("Frame", "Espace de travail", notes);
    AddWindow("Doc", "Velmora -", frame);          // exactly the prefix: no
    AddWindow("Doc", "velmora - Stock", frame);    // other letter case: no
    AddWindow("Doc", "Velmora-Stock", frame);
    EXPECT_EQ(nullptr, FindDatabaseWindow());
    int database = AddWindow("Doc", "Velmora - Stock", frame);     // a grandchild
    AddWindow("Doc", "Velmora - Second", notes);
    EXPECT_EQ((HWND)(uintptr_t)(database + 1), FindDatabaseWindow());

    ResetWorld();
    notes = NotesWindow();
    int longTitle = AddWindow("Doc", "Velmora - " + std::string(290, 't'), notes);
    EXPECT_EQ((HWND)(uintptr_t)(longTitle + 1), FindDatabaseWindow());
}

TEST(DatabaseWindow, CloseModeClearsPostsAndDoesNotWait)
{
    ResetWorld();
    EXPECT_TRUE(CloseDatabaseWindow(false));
    EXPECT_TRUE(Variables().empty());

    ResetWorld();
    int notes = NotesWindow();
    AddWindow("Doc", "Velmora - Stock", notes);
    EXPECT_FALSE(CloseDatabaseWindow(false));
    EXPECT_EQ((std::vector<std::string>{"FindWindowA NOTES", "EnumChildWindows",
                                        "SetClientVariable $Velmora.closeNotes=",
                                        "PostMessageA 0x10 Velmora - Stock 0 0"}),
              TheWorld().events);
}

TEST(DatabaseWindow, WaitLooksAgainAfter200ms)
{
    for (long delay : {0L, 200L, 201L, -1L}) {
        ResetWorld();
        int notes = NotesWindow();
        int db = AddWindow("Doc", "Velmora - Stock", notes);
        TheWorld().windows[db].closeDelay = delay;
        bool gone = delay >= 0 && delay <= 200;
        EXPECT_EQ(gone, CloseDatabaseWindow(true)) << "delay " << delay;
        EXPECT_EQ(std::vector<std::string>{"Sleep 200"}, EventsStartingWith("Sleep"));
    }
}

TEST(HandOver, ClientNotRunningArmsAndStarts)
{
    InstallProduct();
    HandOver();
    EXPECT_EQ((std::vector<std::string>{
                  "FindWindowA NOTES",
                  "GetModuleFileNameA self 260",
                  "GetShortPathNameA C:\\Program Files\\Velmora\\velmora-notes.exe 260",
                  std::string("SetClientVariable $Velmora.closeNotes=") + SelfShort,
                  std::string("WinExec ") + ClientShortPath + " " + DatabaseShortPath + " show=1",
              }),
              TheWorld().events);
}

TEST(HandOver, WaitsWhileTheClientIsBusy)
{
    struct Case {
        DWORD disabledFor;
        size_t sleeps;
        bool started;
    } cases[] = {
        {3000, 15, true},           // free again at the 16th poll
        {9800, 49, true},           // free at the 50th poll
        {9801, 50, false},
        {60000, 50, false},
    };
    for (const Case &c : cases) {
        InstallProduct();
        int notes = NotesWindow();
        TheWorld().windows[notes].disabledUntil = c.disabledFor;
        HandOver();
        EXPECT_EQ(c.sleeps, EventsStartingWith("Sleep 200").size()) << c.disabledFor;
        EXPECT_EQ(c.started, !TheWorld().launched.empty()) << c.disabledFor;
        EXPECT_EQ(c.started ? std::vector<UINT>{} : std::vector<UINT>{MSG_NOTES_BUSY},
                  TheWorld().boxes);
        if (!c.started)
            EXPECT_TRUE(Variables().empty()) << c.disabledFor;
    }
}

// The database window cleared first; armed again only once its window has closed, and
// the client started either way.
TEST(HandOver, DatabaseWindowClosingOrNot)
{
    for (long delay : {0L, -1L}) {      // closes at once, or never
        InstallProduct();
        int db = AddWindow("Doc", "Velmora - Stock", NotesWindow());
        TheWorld().windows[db].closeDelay = delay;
        HandOver();
        std::string armed = delay == 0 ? SelfShort : "";
        std::vector<std::string> expected = {"SetClientVariable $Velmora.closeNotes="};
        if (delay == 0)
            expected.push_back("SetClientVariable $Velmora.closeNotes=" + armed);
        EXPECT_EQ(expected, Variables()) << delay;
        EXPECT_EQ(armed, TheWorld().notes.variables["$Velmora.closeNotes"]) << delay;
        EXPECT_EQ(1u, TheWorld().launched.size()) << delay;
    }
}

// Paths that keep a blank or a tab after shortening are quoted, with the backslashes
// before the closing quote doubled; others stay bare.  A program path too long for its
// buffer is cut, not overrun.  Under ANSI 932, whose lead bytes include 0x95, the
// character 0x95 0x5C ends in a trail byte that is no backslash.
TEST(HandOver, LaunchLineAndProgramPath)
{
    std::vector<LaunchLineRow> rows = LaunchLineRows();
    for (const LaunchLineRow &row : rows) {
        InstallProduct();
        TheWorld().leadBytes = "\x95";
        HandOverToNotes(row.client.c_str(), row.database.c_str());
        EXPECT_EQ(std::vector<std::string>{row.line}, TheWorld().launched) << row.line;
    }
    EXPECT_EQ(523u, rows[3].line.size());
    EXPECT_EQ(LAUNCH_LINE_SIZE - 1u, rows[6].line.size());

    InstallProduct();
    TheWorld().modulePath = "C:\\" + std::string(300, 'v');
    HandOver();
    EXPECT_EQ(std::vector<std::string>{"SetClientVariable $Velmora.closeNotes=C:\\" + std::string(256, 'v')},
              Variables());
}

TEST(HandOver, WindowThatIsWindowRejectsIsFoundButNotBusy)
{
    InstallProduct();
    int notes = NotesWindow();
    TheWorld().windows[notes].disabledUntil = 60000;
    TheWorld().windows[notes].rejectedByIsWindow = true;
    HandOver();
    EXPECT_TRUE(EventsStartingWith("Sleep").empty());
    EXPECT_EQ(1u, EventsStartingWith("EnumChildWindows").size());  // CloseDatabaseWindow ran
    EXPECT_EQ(1u, Variables().size());
    EXPECT_EQ(1u, TheWorld().launched.size());
}
