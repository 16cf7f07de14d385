// Installation settings from the registry: both paths, or the reason they are unusable.
#include "job/install_settings.h"
#include "tests/helpers.h"

TEST(InstallSettings, ReadsTestsAndShortensBothPaths)
{
    InstallProduct();
    InstallSettings settings;
    Refusal why;
    ASSERT_TRUE(LoadInstallSettings(&settings, &why));
    EXPECT_STREQ(ClientShortPath, settings.clientPath);
    EXPECT_STREQ(DatabaseShortPath, settings.databasePath);
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
    InstallSettings settings;
    Refusal why;
    ASSERT_TRUE(LoadInstallSettings(&settings, &why));
    EXPECT_STREQ("C:\\notes.exe", settings.clientPath);
    EXPECT_STREQ(DatabasePath, settings.databasePath);
}

// Every way the settings can be unusable, with the rule that refuses and the value
// concerned; nothing shortened.
TEST(InstallSettings, RefusesMissingEmptyAbsentOrOversizedValues)
{
    struct Case {
        const char *what;
        void (*spoil)(World &);
        RefusalRule rule;
        const char *value;
        unsigned long detail;
    };
    static const Case cases[] = {
        {"no key", [](World &w) { w.keyExists = false; }, REFUSED_KEY_MISSING, nullptr, ERROR_FILE_NOT_FOUND},
        {"no LN_Base", [](World &w) { w.values.erase("LN_Base"); }, REFUSED_VALUE_MISSING, "LN_Base", ERROR_FILE_NOT_FOUND},
        {"no LN_Appli", [](World &w) { w.values.erase("LN_Appli"); }, REFUSED_VALUE_MISSING, "LN_Appli", ERROR_FILE_NOT_FOUND},
        {"empty LN_Appli", [](World &w) { w.values["LN_Appli"] = std::string(1, '\0'); }, REFUSED_VALUE_EMPTY, "LN_Appli", 0},
        {"zero-length LN_Base", [](World &w) { w.values["LN_Base"] = ""; }, REFUSED_VALUE_UNTERMINATED, "LN_Base", 0},
        {"client missing", [](World &w) { w.files.erase(ClientPath); }, REFUSED_VALUE_NAMES_NOTHING, "LN_Appli", ERROR_FILE_NOT_FOUND},
        {"database missing", [](World &w) { w.files.erase(DatabasePath); }, REFUSED_VALUE_NAMES_NOTHING, "LN_Base", ERROR_FILE_NOT_FOUND},
        {"LN_Base of 300 bytes, no NUL", [](World &w) { w.values["LN_Base"] = std::string(300, 'x'); }, REFUSED_VALUE_TOO_LONG, "LN_Base", 300},
        {"LN_Appli of 260 bytes, no NUL", [](World &w) { w.values["LN_Appli"] = std::string(260, 'x'); }, REFUSED_VALUE_UNTERMINATED, "LN_Appli", 260},
        {"LN_Base of 200 bytes, no NUL", [](World &w) { w.values["LN_Base"] = std::string(200, 'x'); }, REFUSED_VALUE_UNTERMINATED, "LN_Base", 200},
        {"LN_Appli of 261 bytes ending in NUL",
         [](World &w) { w.values["LN_Appli"] = std::string(260, 'x') + '\0'; }, REFUSED_VALUE_TOO_LONG, "LN_Appli", 261},
        {"both unusable: the client is told",
         [](World &w) { w.values.erase("LN_Base"); w.values["LN_Appli"] = ""; }, REFUSED_VALUE_UNTERMINATED, "LN_Appli", 0},
    };
    for (const Case &c : cases) {
        InstallProduct();
        c.spoil(TheWorld());
        AddFile(std::string(260, 'x'), "");         // a file the cut text would name
        AddFile(std::string(259, 'x'), "");
        InstallSettings settings;
        Refusal why;
        EXPECT_FALSE(LoadInstallSettings(&settings, &why)) << c.what;
        EXPECT_EQ(c.rule, why.rule) << c.what;
        EXPECT_STREQ(c.value, why.value) << c.what;
        EXPECT_EQ(c.detail, why.detail) << c.what;
        EXPECT_TRUE(EventsStartingWith("GetShortPathNameA").empty()) << c.what;
    }
}

TEST(InstallSettings, AcceptsAPathOf259Characters)
{
    InstallProduct();
    std::string longest = "C:\\" + std::string(256, 'n');
    TheWorld().values["LN_Appli"] = longest + '\0';     // 260 bytes with its NUL
    AddFile(longest, "MZ");
    InstallSettings settings;
    Refusal why;
    ASSERT_TRUE(LoadInstallSettings(&settings, &why));
    EXPECT_EQ(longest, settings.clientPath);
}

// A path given to the installer, judged before it is written as the value read would
// be: it fits 260 bytes with its NUL, is not empty and names a file or a folder.
TEST(InstallSettings, JudgesAGivenPathAsTheValueItWouldBe)
{
    static const struct {
        std::string path;
        RefusalRule rule;
        unsigned long detail;
    } cases[] = {
        {ClientPath, REFUSED_NOT, 0},
        {"C:\\Notes\\Data", REFUSED_NOT, 0},
        {"C:\\Absent.nsf", REFUSED_VALUE_NAMES_NOTHING, ERROR_FILE_NOT_FOUND},
        {"", REFUSED_VALUE_EMPTY, 0},
        {"C:\\" + std::string(256, 'n'), REFUSED_NOT, 0},
        {"C:\\" + std::string(257, 'n'), REFUSED_VALUE_TOO_LONG, 261},
    };
    for (const auto &c : cases) {
        InstallProduct();
        AddDirectory("C:\\Notes\\Data");
        AddFile("C:\\" + std::string(256, 'n'), "");
        AddFile("C:\\" + std::string(257, 'n'), "");
        Refusal why;
        EXPECT_EQ(c.rule == REFUSED_NOT, AcceptPathText("LN_Base", c.path.c_str(), &why)) << c.path;
        EXPECT_EQ(c.rule, why.rule) << c.path;
        EXPECT_EQ(c.detail, why.detail) << c.path;
        EXPECT_STREQ("LN_Base", why.value) << c.path;
    }
}

// A LN_Appli of type REG_EXPAND_SZ whose expansion, an existing file, is `length`
// characters long.
static void ExpandsTo(World &w, size_t length)
{
    w.values["LN_Appli"] = std::string("%LONG%\\notes.exe") + '\0';
    w.valueTypes["LN_Appli"] = REG_EXPAND_SZ;
    w.environment["LONG"] = std::string(length - 10, 'l');
    AddFile(w.environment["LONG"] + "\\notes.exe", "MZ");
}

// A value missing from the 32-bit view is read from the 64-bit view, and only then; a
// REG_EXPAND_SZ is expanded, and refused when its expansion does not fit 260 bytes with
// its NUL, whether Windows counts that NUL alone or a byte more.
TEST(InstallSettings, SixtyFourBitViewAndExpandedValues)
{
    const std::string longest = std::string(249, 'l') + "\\notes.exe";
    struct Case {
        const char *what;
        void (*arrange)(World &);
        RefusalRule rule;
        unsigned long detail;
        std::string client;         // when loaded
    } cases[] = {
        {"both values in the 64-bit view only",
         [](World &w) { w.key64Exists = true; w.values64 = w.values; w.keyExists = false; },
         REFUSED_NOT, 0, ClientShortPath},
        {"LN_Base in the 64-bit view only",
         [](World &w) { w.key64Exists = true; w.values64["LN_Base"] = w.values["LN_Base"]; w.values.erase("LN_Base"); },
         REFUSED_NOT, 0, ClientShortPath},
        {"missing from both views: the 32-bit reason",
         [](World &w) { w.key64Exists = true; w.values.erase("LN_Base"); },
         REFUSED_VALUE_MISSING, ERROR_FILE_NOT_FOUND, ""},
        {"too long in the 32-bit view is not looked for elsewhere",
         [](World &w) { w.key64Exists = true; w.values64 = w.values; w.values["LN_Appli"] = std::string(300, 'x'); },
         REFUSED_VALUE_TOO_LONG, 300, ""},
        {"expanded",
         [](World &w) { w.values["LN_Appli"] = std::string("%NOTESDIR%\\notes.exe") + '\0';
                        w.valueTypes["LN_Appli"] = REG_EXPAND_SZ; w.environment["NOTESDIR"] = "C:\\Lotus"; },
         REFUSED_NOT, 0, "C:\\Lotus\\notes.exe"},
        {"expansion of 259 characters", [](World &w) { ExpandsTo(w, 259); }, REFUSED_NOT, 0, longest},
        {"expansion of 259 characters, counted one more",
         [](World &w) { ExpandsTo(w, 259); w.expandAsksOneMore = true; }, REFUSED_NOT, 0, longest},
        {"expansion of 260 characters", [](World &w) { ExpandsTo(w, 260); },
         REFUSED_EXPANSION_TOO_LONG, 261, ""},
        {"expansion of 260 characters, counted one more",
         [](World &w) { ExpandsTo(w, 260); w.expandAsksOneMore = true; },
         REFUSED_EXPANSION_TOO_LONG, 262, ""},
    };
    for (const Case &c : cases) {
        InstallProduct();
        AddFile("C:\\Lotus\\notes.exe", "MZ");
        c.arrange(TheWorld());
        InstallSettings settings;
        Refusal why = {REFUSED_NOT, nullptr, 0};
        EXPECT_EQ(c.rule == REFUSED_NOT, LoadInstallSettings(&settings, &why)) << c.what;
        EXPECT_EQ(c.rule, why.rule) << c.what;
        EXPECT_EQ(c.detail, why.detail) << c.what;
        if (!c.client.empty())
            EXPECT_EQ(c.client, settings.clientPath) << c.what;
    }
}
