// Installation settings from the registry: both paths, or the reason they are unusable.
#include "job/install_settings.h"
#include "tests/helpers.h"
#include "tests/rule_tables.h"

TEST(InstallSettings, ReadsTestsAndShortensBothPaths)
{
    InstallProduct();
    InstallSettings settings;
    Refusal why;
    ASSERT_TRUE(LoadInstallSettings(&settings, &why));
    EXPECT_STREQ(ClientShortPath, settings.clientPath);
    EXPECT_STREQ(DatabaseShortPath, settings.databasePath);
    EXPECT_TRUE(TheWorld().boxes.empty());
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

// Every row of the settings table: refused with the rule and the value concerned and
// nothing shortened, or loaded at the limit.
TEST(InstallSettings, RefusesMissingEmptyAbsentOrOversizedValues)
{
    const std::string longest = "C:\\" + std::string(256, 'n');     // 259 bytes
    for (const SettingRow &row : SettingRows) {
        InstallProduct();
        World &w = TheWorld();
        AddFile(longest, "MZ");
        AddFile(longest + "x", "MZ");        // what a value cut or read further would name
        if (row.spoil == NO_KEY)
            w.keyExists = false;
        for (const char *name : {"LN_Appli", "LN_Base"}) {
            if (row.value == nullptr || (strcmp(row.value, name) != 0 && !row.both))
                continue;
            if (row.spoil == VALUE_MISSING)
                w.values.erase(name);
            else
                w.values[name] = SettingBytes(row, row.spoil == PADDED ? longest : w.values[name].c_str());
            w.valueTypes[name] = row.binary ? REG_BINARY : REG_SZ;
        }
        InstallSettings settings;
        Refusal why = {REFUSED_NOT, nullptr, 0};
        std::string what = SettingRowName(row);
        EXPECT_EQ(row.rule == REFUSED_NOT, LoadInstallSettings(&settings, &why)) << what;
        EXPECT_EQ(row.rule, why.rule) << what;
        EXPECT_STREQ(row.rule == REFUSED_NOT || row.spoil == NO_KEY ? nullptr : row.value, why.value)
            << what;
        EXPECT_EQ(row.detail, why.detail) << what;
        if (row.rule != REFUSED_NOT)
            EXPECT_TRUE(EventsStartingWith("GetShortPathNameA").empty()) << what;
        else if (strcmp(row.value, "LN_Appli") == 0)
            EXPECT_EQ(longest, settings.clientPath) << what;
        else
            EXPECT_EQ(longest, settings.databasePath) << what;
    }
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
