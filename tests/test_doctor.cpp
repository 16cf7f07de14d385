// velmora-doctor's decisions free of Windows (tools/velmora-doctor/decisions.h), each
// against a table written from the doctor's usage, the PE format and Windows' rules.
#include "tools/velmora-doctor/decisions.h"
#include "tests/helpers.h"

#include <string>
#include <vector>

TEST(Doctor, Options)
{
    static const struct {
        std::vector<const char *> args;
        Request request;
        bool json, open;
        const char *program, *job;
        unsigned long timeout;
        const char *givenClient, *givenDatabase;
    } cases[] = {
        {{}, REQUEST_CHECK, false, false, nullptr, nullptr, 60},
        {{"--json", "--open", "--program", "C:\\p.exe", "--job", "j.tmp", "--timeout", "1"},
         REQUEST_CHECK, true, true, "C:\\p.exe", "j.tmp", 1},
        {{"--timeout", "3600"}, REQUEST_CHECK, false, false, nullptr, nullptr, 3600},
        {{"--timeout", "0"}, REQUEST_BAD},
        {{"--timeout", "3601"}, REQUEST_BAD},
        {{"--timeout", "0060"}, REQUEST_CHECK, false, false, nullptr, nullptr, 60},
        {{"--timeout", "99999999999999999999"}, REQUEST_BAD},
        {{"--timeout", "-1"}, REQUEST_BAD},
        {{"--timeout", ""}, REQUEST_BAD},
        {{"--timeout"}, REQUEST_BAD},
        {{"--program"}, REQUEST_BAD},
        {{"--program", ""}, REQUEST_BAD},
        {{"--json", "--json"}, REQUEST_BAD},
        {{"--job", "a", "--job", "b"}, REQUEST_BAD},
        {{"--open", "extra"}, REQUEST_BAD},
        {{"--help"}, REQUEST_HELP},
        {{"/?"}, REQUEST_HELP},
        {{"--version"}, REQUEST_VERSION},
        {{"--version", "--json"}, REQUEST_BAD},
        {{"--json", "/?"}, REQUEST_BAD},
        // The installer's check: two paths, one of them possibly empty (not given).
        {{"--check-settings", "C:\\n.exe", "D:\\b.nsf"}, REQUEST_CHECK_SETTINGS, false, false,
         nullptr, nullptr, 60, "C:\\n.exe", "D:\\b.nsf"},
        {{"--check-settings", "", "D:\\b.nsf"}, REQUEST_CHECK_SETTINGS, false, false, nullptr,
         nullptr, 60, "", "D:\\b.nsf"},
        {{"--check-settings", "", ""}, REQUEST_BAD},
        {{"--check-settings", "C:\\n.exe"}, REQUEST_BAD},
        {{"--check-settings", "a", "b", "--json"}, REQUEST_BAD},
        {{"--json", "--check-settings", "a", "b"}, REQUEST_BAD},
        // The capture reads its own arguments; only first does the word name it.
        {{"--capture", "C:\\jobs", "C:\\kept"}, REQUEST_CAPTURE},
        {{"--json", "--capture", "C:\\jobs", "C:\\kept"}, REQUEST_BAD},
    };
    for (const auto &c : cases) {
        std::vector<char *> argv = {const_cast<char *>("velmora-doctor.exe")};
        for (const char *a : c.args)
            argv.push_back(const_cast<char *>(a));
        Options o;
        std::string line = ::testing::PrintToString(c.args);
        ASSERT_EQ(c.request, ParseOptions((int)argv.size(), argv.data(), &o)) << line;
        if (c.request != REQUEST_CHECK && c.request != REQUEST_CHECK_SETTINGS)
            continue;
        EXPECT_EQ(c.json, o.json) << line;
        EXPECT_EQ(c.open, o.open) << line;
        EXPECT_STREQ(c.program, o.program) << line;
        EXPECT_STREQ(c.job, o.job) << line;
        EXPECT_EQ(c.timeout, o.timeout) << line;
        EXPECT_STREQ(c.givenClient, o.givenClient) << line;
        EXPECT_STREQ(c.givenDatabase, o.givenDatabase) << line;
    }
}

// Machine 0x014C, optional-header magic 0x10B (PE32), characteristic 0x2000 a DLL
// (Microsoft's "PE Format" page).  The doctor's case of a 64-bit library patches the
// stand-in into an x86-64 image, a PE32+ one and one without IMAGE_FILE_DLL; here,
// what it does not make.
TEST(Doctor, ImageVerdicts)
{
    static const struct {
        ImageHeader header;
        ImageVerdict verdict;
    } cases[] = {
        {{false, 0x014C, 0x2102, 0x10B}, IMAGE_NOT_PE},
        {{true, 0x01C4, 0x2102, 0x10B}, IMAGE_NOT_I386},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.verdict, JudgeImage(&c.header)) << std::hex << c.header.machine << " "
                                                    << c.header.characteristics << " " << c.header.magic;
}

// The program reads the 32-bit view, the 64-bit one for a value missing there.
TEST(Doctor, ValueVerdictsAndFolders)
{
    EXPECT_EQ(VALUE_USED, JudgeValue(false, true, true, true));
    EXPECT_EQ(VALUE_NAMES_NOTHING, JudgeValue(false, true, true, false));
    EXPECT_EQ(VALUE_USED, JudgeValue(true, false, false, true));
    EXPECT_EQ(VALUE_USED, JudgeValue(true, true, true, true));
    EXPECT_EQ(VALUE_HIDDEN, JudgeValue(true, true, false, true));
    EXPECT_EQ(VALUE_HIDDEN, JudgeValue(true, true, false, false));

    EXPECT_TRUE(SameFolder("C:\\NOTES\\velmora-notes.exe", "c:\\notes\\NOTES.EXE"));
    EXPECT_FALSE(SameFolder("C:\\NOTES\\velmora-notes.exe", "C:\\NOTES\\SUB\\NOTES.EXE"));
    EXPECT_FALSE(SameFolder("C:\\NOTES2\\velmora-notes.exe", "C:\\NOTES\\NOTES.EXE"));
    EXPECT_FALSE(SameFolder("velmora-notes.exe", "NOTES.EXE"));
}

// The capture's names: how they are converted to the ANSI code page, and --match.
TEST(Doctor, CaptureNames)
{
    // WideCharToMultiByte: lpUsedDefaultChar "must be set to NULL" for CP_UTF8 (else
    // ERROR_INVALID_PARAMETER, and every name would be skipped), which is CP_ACP on a
    // machine using UTF-8 for ANSI; dwFlags is then 0 or WC_ERR_INVALID_CHARS (0x80).
    // Elsewhere best fit is off (WC_NO_BEST_FIT_CHARS, 0x400) and the default character
    // reported, so that a name the code page cannot hold is known.  Wine does not
    // enforce the NULL rule.
    // https://learn.microsoft.com/windows/win32/api/stringapiset/nf-stringapiset-widechartomultibyte
    static const struct {
        unsigned codePage;
        unsigned long flags;
        bool askUsedDefault;
    } conversions[] = {
        {65001, 0x80, false},
        {1252, 0x400, true},
    };
    for (const auto &c : conversions) {
        NameConversion got = ConversionFor(c.codePage);
        EXPECT_EQ(c.flags, got.flags) << c.codePage;
        EXPECT_EQ(c.askUsedDefault, got.askUsedDefault) << c.codePage;
    }

    static const struct {
        const char *pattern, *name;
        bool matches;
    } names[] = {
        {"memo*.tmp", "memo job 12.tmp", true},
        {"memo*.tmp", "MEMO.TMP", true},
        {"memo*.tmp", "memo job.tmp.bak", false},
        {"memo*.tmp", "xmemo.tmp", false},
        {"job?.tmp", "job1.tmp", true},
        {"job?.tmp", "job.tmp", false},
        {"*a*b", "aXbYab", true},           // the star takes more after a false start
        {"*a*b", "aXbYa", false},
        {"*", "", true},
        {"\xe9t\xe9*", "\xc9T\xc9 1", false},   // only ASCII letters fold
    };
    for (const auto &c : names)
        EXPECT_EQ(c.matches, NameMatches(c.pattern, c.name)) << c.pattern << " " << c.name;
}

// --open: the first reason that holds wins; an elevated run and a Windows without
// SetDefaultDllDirectories (Windows 7 without KB2533623) are warnings, exit code 0.
// The doctor's cases show a library tried, an unsound image, an elevated run and a
// library outside the program's folder; here, which reason wins when several hold.
// Wine has the call, and every Wine process is elevated: the old Windows is judged here
// only (learn.microsoft.com: "SetDefaultDllDirectories function", its requirements:
// Windows 7 and Server 2008 R2 with KB2533623).
TEST(Doctor, OpenRefusals)
{
    static const struct {
        OpenFacts facts;
        OpenRefusal refusal;
        Status status;
    } cases[] = {
        {{false, false, IMAGE_NOT_PE, true, false, false}, OPEN_NO_LIBRARY, STATUS_INFO},
        {{true, false, IMAGE_NOT_PE, true, false, false}, OPEN_SETTINGS_REFUSED, STATUS_INFO},
        {{true, true, IMAGE_NOT_PE32, true, false, false}, OPEN_IMAGE_UNSOUND, STATUS_PROBLEM},
        {{true, true, IMAGE_SOUND, true, false, false}, OPEN_ELEVATED, STATUS_WARNING},
        {{true, true, IMAGE_SOUND, false, false, false}, OPEN_SEARCH_UNRESTRICTED, STATUS_WARNING},
        {{true, true, IMAGE_SOUND, false, false, true}, OPEN_SEARCH_UNRESTRICTED, STATUS_WARNING},
    };
    for (const auto &c : cases) {
        OpenDecision d = DecideOpen(&c.facts);
        EXPECT_EQ(c.refusal, d.refusal) << c.refusal;
        EXPECT_EQ(c.status, d.status) << c.refusal;
    }
}

// A refused setting against the package's record: a repair brings back only a value
// the package wrote and that is missing, with the product still installed; the text the
// package remembered is written back for any other text the program refuses that a
// new one mends.
TEST(Doctor, SettingFixes)
{
    static const struct {
        RefusalRule rule;
        ValueRecord record;     // wrote, remembered, productInstalled
        ValueFix fix;
    } cases[] = {
        {REFUSED_VALUE_MISSING, {true, true, true}, FIX_REPAIR},
        {REFUSED_KEY_MISSING, {true, false, true}, FIX_REPAIR},
        {REFUSED_VALUE_MISSING, {true, true, false}, FIX_WRITE_REMEMBERED},
        {REFUSED_VALUE_MISSING, {true, false, false}, FIX_NONE},
        {REFUSED_VALUE_MISSING, {false, false, true}, FIX_NONE},
        {REFUSED_VALUE_NAMES_NOTHING, {true, true, true}, FIX_WRITE_REMEMBERED},
        {REFUSED_VALUE_EMPTY, {true, true, true}, FIX_WRITE_REMEMBERED},
        {REFUSED_VALUE_UNTERMINATED, {true, true, false}, FIX_WRITE_REMEMBERED},
        {REFUSED_EXPANSION_TOO_LONG, {true, true, false}, FIX_WRITE_REMEMBERED},
        {REFUSED_VALUE_NAMES_NOTHING, {true, false, true}, FIX_NONE},
        {REFUSED_VALUE_TOO_LONG, {true, true, true}, FIX_NONE},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.fix, DecideValueFix(c.rule, &c.record))
            << c.rule << " " << c.record.wrote << c.record.remembered << c.record.productInstalled;

    // The command lines, whole (the doctor's cases run a plain one and the removal from
    // the 64-bit view): reg.exe reads "\\" before a closing quote as one backslash, so a
    // trailing one is doubled; '"' and cmd's '%' cannot be carried.
    static const struct {
        const char *name, *text, *command;
    } writes[] = {
        {"LN_Appli", "D:\\Lotus Notes\\", 
         "reg add \"HKLM\\SOFTWARE\\Zabrel\\Velmora\\Stellwick\" /v LN_Appli /t REG_SZ /d "
         "\"D:\\Lotus Notes\\\\\" /f /reg:32"},
        {"LN_Base", "C:\\a\"b.nsf", nullptr},
        {"LN_Base", "%HOMEDRIVE%\\b.nsf", nullptr},
        {"LN_Base", "", nullptr},
    };
    for (const auto &w : writes) {
        char out[600];
        bool made = WriteValueCommand(w.name, w.text, out, sizeof out);
        EXPECT_EQ(w.command != nullptr, made) << w.text;
        if (made && w.command != nullptr)
            EXPECT_STREQ(w.command, out);
    }
    char out[100];
    ASSERT_TRUE(RepairCommand("{0B6E6C5E-2F1A-5D2C-9A55-7C1B0E8F4A31}", out, sizeof out));
    EXPECT_STREQ("msiexec /fomus {0B6E6C5E-2F1A-5D2C-9A55-7C1B0E8F4A31} /qn /norestart", out);
    EXPECT_FALSE(RepairCommand("{0B6E6C5E-2F1A-5D2C-9A55-7C1B0E8F4A31}", out, 40));
    char small[20];
    EXPECT_FALSE(WriteValueCommand("LN_Base", "C:\\b.nsf", small, sizeof small));

    // Into the client's folder (with no product installed, the doctor's cases see the
    // line): the package of the release (x.y.z of x.y.z.0), the installed product removed
    // first, each step waited for; a folder ending in a backslash would escape msiexec's
    // closing quote.
    char line[600];
    ASSERT_TRUE(InstallIntoCommand("2.4.1.0", "C:\\Notes", "C:\\Notes\\notes.exe", "C:\\b.nsf",
                                   "{0B6E6C5E-2F1A-5D2C-9A55-7C1B0E8F4A31}", line, sizeof line));
    EXPECT_STREQ("start /wait msiexec /x {0B6E6C5E-2F1A-5D2C-9A55-7C1B0E8F4A31} /qn /norestart "
                 "&& start /wait msiexec /i velmora-notes-2.4.1.msi INSTALLDIR=\"C:\\Notes\" "
                 "LN_APPLI=\"C:\\Notes\\notes.exe\" LN_BASE=\"C:\\b.nsf\" /qn /norestart", line);
    EXPECT_FALSE(InstallIntoCommand("2.4.1.0", "C:\\", "C:\\notes.exe", "C:\\b.nsf", "", line,
                                    sizeof line));
    EXPECT_FALSE(InstallIntoCommand("2.4.1.0", "C:\\Notes", "C:\\Notes\\notes.exe",
                                    "C:\\100%.nsf", "", line, sizeof line));
}
