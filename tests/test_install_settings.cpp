// Installation settings from the registry: both paths or message 7.
#include "job/install_settings.h"
#include "tests/helpers.h"

TEST(InstallSettings, ReadsTestsAndShortensBothPaths)
{
    InstallProduct();
    ASSERT_TRUE(LoadInstallSettings());
    EXPECT_STREQ(ClientShortPath, g_settings.clientPath);
    EXPECT_STREQ(DatabaseShortPath, g_settings.databasePath);
    EXPECT_TRUE(Boxes().empty());
    std::vector<std::string> expected = {
        "RegOpenKeyExA HKLM\\SOFTWARE\\Zabrel\\Velmora\\Stellwick options=0 access=0x20019",
        "RegQueryValueExA LN_Appli 260",
        "RegQueryValueExA LN_Base 260",
        "RegCloseKey",
        std::string("GetFileAttributesA ") + ClientPath,
        std::string("GetFileAttributesA ") + DatabasePath,
        std::string("GetShortPathNameA ") + ClientPath + " 260",
        std::string("GetShortPathNameA ") + DatabasePath + " 260",
    };
    EXPECT_EQ(expected, TheWorld().events);
}

TEST(InstallSettings, DirectoryPassesAndNoShortFormKeepsThePath)
{
    InstallProduct();
    TheWorld().files.erase(DatabasePath);
    AddDirectory(DatabasePath);
    TheWorld().values["LN_Appli"] = std::string("C:\\notes.exe") + '\0';
    AddFile("C:\\notes.exe", "MZ");
    TheWorld().files["C:\\notes.exe"].noShortForm = true;
    ASSERT_TRUE(LoadInstallSettings());
    EXPECT_STREQ("C:\\notes.exe", g_settings.clientPath);
    EXPECT_STREQ(DatabasePath, g_settings.databasePath);
}

// Every way the settings can be unusable: one message 7, nothing else done.
TEST(InstallSettings, RefusesMissingEmptyAbsentOrOversizedValues)
{
    struct Case {
        const char *what;
        void (*spoil)(World &);
    };
    static const Case cases[] = {
        {"no key", [](World &w) { w.keyExists = false; }},
        {"no LN_Base", [](World &w) { w.values.erase("LN_Base"); }},
        {"no LN_Appli", [](World &w) { w.values.erase("LN_Appli"); }},
        {"empty LN_Appli", [](World &w) { w.values["LN_Appli"] = std::string(1, '\0'); }},
        {"zero-length LN_Base", [](World &w) { w.values["LN_Base"] = ""; }},
        {"client missing", [](World &w) { w.files.erase(ClientPath); }},
        {"database missing", [](World &w) { w.files.erase(DatabasePath); }},
        {"LN_Base of 300 bytes, no NUL", [](World &w) { w.values["LN_Base"] = std::string(300, 'x'); }},
        {"LN_Appli of 260 bytes, no NUL", [](World &w) { w.values["LN_Appli"] = std::string(260, 'x'); }},
        {"LN_Base of 200 bytes, no NUL", [](World &w) { w.values["LN_Base"] = std::string(200, 'x'); }},
        {"LN_Appli of 261 bytes ending in NUL",
         [](World &w) { w.values["LN_Appli"] = std::string(260, 'x') + '\0'; }},
    };
    for (const Case &c : cases) {
        InstallProduct();
        c.spoil(TheWorld());
        AddFile(std::string(260, 'x'), "");         // a file the cut text would name
        AddFile(std::string(259, 'x'), "");
        EXPECT_FALSE(LoadInstallSettings()) << c.what;
        EXPECT_EQ(std::vector<UINT>{MSG_NOT_INSTALLED}, Boxes()) << c.what;
        EXPECT_TRUE(EventsStartingWith("GetShortPathNameA").empty()) << c.what;
    }
}

TEST(InstallSettings, AcceptsAPathOf259Characters)
{
    InstallProduct();
    std::string longest = "C:\\" + std::string(256, 'n');
    TheWorld().values["LN_Appli"] = longest + '\0';     // 260 bytes with its NUL
    AddFile(longest, "MZ");
    ASSERT_TRUE(LoadInstallSettings());
    EXPECT_EQ(longest, g_settings.clientPath);
}
