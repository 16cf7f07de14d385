// The program's rules as tables of cases, each written once and read by every build
// that can show the rule: the host tests (GoogleTest over the fake layer), the
// end-to-end suites under Wine (ok()) and velmora-job's tests.  Every expectation is
// written here by hand from docs/job-format.md, never computed by the program's code.
// Each table says what its rows expect on each side.
#pragma once

#include "job/refusal.h"
#include "tools/common/job_encoder.h"

#include <stdint.h>

#include <string>
#include <vector>

// ---- job files that are refused, or read at the very limit -------------------------
// Wine (cases_hostile_job.cpp): every refused row shows box 9 and deletes the job, with the
// Notes runtime only started and ended (the rows that are read are sent whole by
// CaseHeaderSlotsAtLimit).  velmora-job (velmora_job_test.cpp): its examination gives
// the same first refusal, less REFUSED_LIST_UNAVAILABLE, since it allocates nothing.

enum JobText { NO_TEXT, SUBJECT, BODY, ATTACHMENT, DOCUMENT_NAME, SEND_TO };

struct JobRow {
    const char *what;           // for REFUSED_TEXT_UNTERMINATED, the text's name as refused
    JobText text;               // the header text made `length` bytes long
    size_t length;              // with the slot's size, the text has no NUL
    unsigned extras;            // extra paths in the list
    int fullExtra;              // the extra that fills its slot, -1 for none
    int64_t count;              // the count written, -1 for the number of extras
    uint64_t size;              // the file cut to this many bytes
    RefusalRule rule;
    unsigned long detail;
};

static const uint64_t WHOLE = UINT64_MAX;

static const JobRow JobRows[] = {
    {"an empty file", NO_TEXT, 0, 0, -1, -1, 0, REFUSED_HEADER_SHORT, 0},
    {"a header one byte short", NO_TEXT, 0, 0, -1, -1, 3339, REFUSED_HEADER_SHORT, 3339},
    {"subject", SUBJECT, 256, 2, -1, -1, WHOLE, REFUSED_TEXT_UNTERMINATED, 0},
    {"body", BODY, 2048, 2, -1, -1, WHOLE, REFUSED_TEXT_UNTERMINATED, 0},
    {"attachment", ATTACHMENT, 256, 2, -1, -1, WHOLE, REFUSED_TEXT_UNTERMINATED, 0},
    {"document name", DOCUMENT_NAME, 256, 2, -1, -1, WHOLE, REFUSED_TEXT_UNTERMINATED, 0},
    {"send-to", SEND_TO, 256, 2, -1, -1, WHOLE, REFUSED_TEXT_UNTERMINATED, 0},
    {"a subject one byte short of its slot", SUBJECT, 255, 0, -1, -1, WHOLE, REFUSED_NOT, 0},
    {"a body one byte short of its slot", BODY, 2047, 0, -1, -1, WHOLE, REFUSED_NOT, 0},
    {"an attachment one byte short of its slot", ATTACHMENT, 255, 0, -1, -1, WHOLE, REFUSED_NOT, 0},
    {"a document name one byte short", DOCUMENT_NAME, 255, 0, -1, -1, WHOLE, REFUSED_NOT, 0},
    {"a send-to one byte short of its slot", SEND_TO, 255, 0, -1, -1, WHOLE, REFUSED_NOT, 0},
    {"a count beyond the list", NO_TEXT, 0, 1, -1, 3, WHOLE, REFUSED_LIST_SHORT, 256},
    {"a list one byte short", NO_TEXT, 0, 2, -1, -1, 3340 + 511, REFUSED_LIST_SHORT, 511},
    {"1000 slots where the file holds 2", NO_TEXT, 0, 2, -1, 1000, WHOLE, REFUSED_LIST_SHORT, 512},
    // The fake gives 64 MB at most; under Wine the 256 MB are given and the file is short.
    {"0x00100000 slots, 256 MB", NO_TEXT, 0, 2, -1, 0x00100000, WHOLE, REFUSED_LIST_UNAVAILABLE, 0x00100000},
    {"0x00FFFFFF slots, almost 4 GB", NO_TEXT, 0, 2, -1, 0x00FFFFFF, WHOLE, REFUSED_LIST_UNAVAILABLE, 0x00FFFFFF},
    {"the first count whose size overflows", NO_TEXT, 0, 0, -1, 0x01000000, WHOLE, REFUSED_LIST_TOO_LARGE, 0x01000000},
    {"one more, its size wrapping to one slot", NO_TEXT, 0, 1, -1, 0x01000001, WHOLE, REFUSED_LIST_TOO_LARGE, 0x01000001},
    {"two more, wrapping to the two slots there", NO_TEXT, 0, 2, -1, 0x01000002, WHOLE, REFUSED_LIST_TOO_LARGE, 0x01000002},
    {"0xFFFFFFFF slots", NO_TEXT, 0, 0, -1, 0xFFFFFFFF, WHOLE, REFUSED_LIST_TOO_LARGE, 0xFFFFFFFF},
    {"the first extra filling its slot", NO_TEXT, 0, 2, 0, -1, WHOLE, REFUSED_EXTRA_UNTERMINATED, 0},
    {"the last extra filling its slot", NO_TEXT, 0, 2, 1, -1, WHOLE, REFUSED_EXTRA_UNTERMINATED, 1},
};

// The bytes of `row`, made from `job`: the row's text keeps its start and is filled
// to its length, the list has the row's number of extras (more named after the
// first when `job` has fewer).
inline std::string JobRowBytes(const JobRow &row, velmora_job::Job job)
{
    std::string *texts[] = {nullptr, &job.subject, &job.body, &job.attachment,
                            &job.documentName, &job.sendTo};
    if (row.text != NO_TEXT)
        texts[row.text]->resize(row.length, 'z');
    while (job.extras.size() < row.extras)
        job.extras.push_back("C:\\Annexes\\" + std::to_string(job.extras.size()) + ".txt");
    job.extras.resize(row.extras);
    if (row.fullExtra >= 0)
        job.extras[(size_t)row.fullExtra].resize(256, 'x');
    return velmora_job::EncodeJob(job, velmora_job::Unchecked(row.count, row.size));
}

// ---- body lines ---------------------------------------------------------------------
// The body template (with an empty document name) and the lines of the memo's body, an
// empty line as "".  Wine (cases_send.cpp): the lines the stand-in library stored.

struct BodyRow {
    const char *body;
    const char *lines[4];       // up to the first null
};

static const BodyRow BodyRows[] = {
    {"a\r\nb\r\n", {"a", "b"}},
    {"a\rb", {"a", "b"}},
    {"a\r\n", {"a"}},                           // a final line end starts no line
    {"a\r\r\nb", {"a", "", "b"}},
    {"a\nb\rc", {"a\nb", "c"}},                 // a bare LF stays inside its line
    {"\r\n\r\n", {"", ""}},
    {"\r\n\nb", {"", "\nb"}},
    {"[DOC]", {}},                              // expands to nothing: no line
};

// ---- the command tail ---------------------------------------------------------------
// A command line and the tail the program takes from it: the program's name and the
// blanks after it removed, by the classic rules, nothing else.  Wine
// (cases_startup.cpp), the program run on the line with its path given apart: with an
// empty tail, close mode with nothing running; with `job`, that job file sent;
// otherwise box 8 and the job at C:\job.tmp left alone.  On the host the fuzz target's
// seeds (fuzz/corpus/command_tail) hold these lines and those with a lead byte, which
// need a double-byte code page such as 932 that no suite runs under Wine.

struct CommandTailRow {
    const char *line;
    const char *tail;
    const char *job;            // Wine: the job file the tail names, or null
};

static const CommandTailRow CommandTailRows[] = {
    {"prog.exe C:\\job.tmp", "C:\\job.tmp", "C:\\job.tmp"},
    {"\"C:\\Program Files\\prog.exe\" C:\\job.tmp", "C:\\job.tmp", "C:\\job.tmp"},
    {"\"prog.exe\"C:\\job.tmp", "C:\\job.tmp", "C:\\job.tmp"},  // no blank needed after the quote
    {"\"C:\\prog.exe C:\\job.tmp", "", nullptr},        // never closed: the whole line
    {"prog.exe", "", nullptr},
    {"prog.exe    ", "", nullptr},
    {"prog.exe \t \t", "", nullptr},
    // Trailing blanks stay in the tail; Windows drops them from the name it opens
    // (learn.microsoft.com/dotnet/standard/io/file-path-formats, "Trim characters").
    {"prog.exe\tC:\\job.tmp  ", "C:\\job.tmp  ", "C:\\job.tmp"},
    {"prog.exe \"C:\\My Jobs\\job.tmp\"", "\"C:\\My Jobs\\job.tmp\"", "C:\\My Jobs\\job.tmp"},
    {"C:\\d\xe9p\\prog.exe C:\\job.tmp", "C:\\job.tmp", "C:\\job.tmp"},  // bytes over 0x7F unsigned
    {"prog.exe \x01\x1f job", "job", nullptr},          // every byte 1 to 32 is skipped
    {"\"\" job", "job", nullptr},
};

// ---- the job path -------------------------------------------------------------------
// A command tail naming a job: `before`, a path of `length` bytes and `after`.  The
// path is the tail less one pair of quotes: a leading quote and, after one, a closing
// quote that ends the tail; it must be shorter than 260 bytes.  Wine
// (cases_hostile_job.cpp): a row that opens sends the job; any other shows box 8 and
// leaves the job, made at the path cut to 259 bytes.

enum { NO_PATH = 0, SHORT_PATH = 1 };   // lengths: none, and "<folder>\job 1.tmp"

struct JobPathRow {
    const char *before;
    size_t length;
    const char *after;
    RefusalRule rule;
};

static const JobPathRow JobPathRows[] = {
    {"", SHORT_PATH, "", REFUSED_NOT},
    {"\"", SHORT_PATH, "\"", REFUSED_NOT},
    {"\"", SHORT_PATH, "", REFUSED_NOT},                // an opening quote only
    {"", SHORT_PATH, "\"", REFUSED_JOB_UNOPENABLE},     // a closing quote only
    {"\"", SHORT_PATH, "\" ", REFUSED_JOB_UNOPENABLE},  // a blank after the quote
    {"\"", NO_PATH, "", REFUSED_JOB_UNOPENABLE},
    {"\"", NO_PATH, "\"", REFUSED_JOB_UNOPENABLE},
    {"", 259, "", REFUSED_NOT},
    {"\"", 259, "", REFUSED_NOT},                       // a 260-byte tail
    {"\"", 259, "\"", REFUSED_NOT},                     // a 261-byte tail
    {"", 259, " ", REFUSED_PATH_TOO_LONG},              // a blank after the path
    {"", 260, "", REFUSED_PATH_TOO_LONG},
    {"\"", 260, "\"", REFUSED_PATH_TOO_LONG},
    {"\"", 260, "", REFUSED_PATH_TOO_LONG},
    {"", 300, "", REFUSED_PATH_TOO_LONG},
    {"", 32000, "", REFUSED_PATH_TOO_LONG},
};

// The path of a row in `folder`, padded with 'j' to its length (also any long path the
// cases need).
inline std::string JobPathOfLength(const std::string &folder, size_t length)
{
    std::string path = folder + "\\job ";
    if (length == NO_PATH || length == SHORT_PATH)
        return length == NO_PATH ? "" : path + "1.tmp";
    return path + std::string(length > path.size() ? length - path.size() : 0, 'j');
}

// ---- the launch line ----------------------------------------------------------------
// The client's and the database's paths as the settings give them (already shortened)
// and the line the Notes client is started with: a path that keeps a blank or a tab is
// quoted, the backslashes that end it doubled inside the quotes.  Host (test_window.cpp):
// the line that reaches WinExec.  Under Wine every case that hands over checks the
// stand-in client's command line; Wine gives every long name a short alias, so a path
// that keeps a blank is shown on the host only.

struct LaunchLineRow {
    std::string client, database, line;
};

inline std::vector<LaunchLineRow> LaunchLineRows()
{
    const std::string longest = "C:\\Program Files\\" + std::string(242, 'n');   // 259 bytes
    const std::string slashes = " " + std::string(258, '\\');   // 259 bytes, all but one doubled
    const std::string doubled = "\"" + slashes + slashes.substr(1) + "\"";
    return {
        {"C:\\NOTES\\NOTES.EXE", "C:\\DATA\\VELMORA.NSF", "C:\\NOTES\\NOTES.EXE C:\\DATA\\VELMORA.NSF"},
        {"C:\\Lotus Notes\\notes.exe", "C:\\DATA\\VELMORA.NSF",
         "\"C:\\Lotus Notes\\notes.exe\" C:\\DATA\\VELMORA.NSF"},
        {"C:\\NOTES\\NOTES.EXE", "D:\\Data\tVelmora.nsf", "C:\\NOTES\\NOTES.EXE \"D:\\Data\tVelmora.nsf\""},
        {longest, longest, "\"" + longest + "\" \"" + longest + "\""},    // 523 bytes
        {"C:\\NOTES\\NOTES.EXE", "D:\\Velmora Data\\", "C:\\NOTES\\NOTES.EXE \"D:\\Velmora Data\\\\\""},
        {"C:\\Lotus Notes\\", "D:\\DATA\\\\", "\"C:\\Lotus Notes\\\\\" D:\\DATA\\\\"},
        {slashes, slashes, doubled + " " + doubled},   // the longest line there is
        // Under ANSI 932, whose lead bytes include 0x95, the character 0x95 0x5C ends in
        // a trail byte that is no backslash: only the real one after it is doubled.
        {"C:\\Lotus \x95\x5c", "D:\\Velmora \x95\x5c" "\\",
         "\"C:\\Lotus \x95\x5c" "\" \"D:\\Velmora \x95\x5c" "\\\\\""},
    };
}

// ---- the installation settings ------------------------------------------------------
// One value of the settings key spoiled (or the key missing), the other as installed.
// A padded value starts with the 259-byte path of an installed file, so that reading it
// to the end of the 260-byte buffer, or past it, would find an installation.  Host
// (test_install_settings.cpp): LoadInstallSettings's rule, value and detail, nothing
// shortened; REFUSED_NOT rows are loaded.  Wine (cases_hostile_run.cpp): each refused
// row shows box 7, leaves the job in place with the Notes runtime only started and
// ended, and velmora-doctor names `doctorRule` for the value; each row that loads
// sends the memo into the database named and starts the client named.

enum SettingSpoil {
    NO_KEY,
    VALUE_MISSING,
    NUL_ONLY,                   // a REG_SZ of its NUL alone
    NO_BYTES,                   // a REG_SZ of no bytes at all
    NAMES_NOTHING,              // the installed path and " absent"
    PADDED,                     // the 259-byte path, then 'x' up to `length` bytes
};

struct SettingRow {
    const char *value;          // "LN_Appli" or "LN_Base"; null for the key
    SettingSpoil spoil;
    bool both;                  // the other value spoiled the same way
    size_t length;              // PADDED: the value's bytes, its NUL included
    bool nul;                   // PADDED: ends with a NUL
    bool binary;                // PADDED: REG_BINARY rather than REG_SZ
    RefusalRule rule;
    unsigned long detail;
    const char *doctorRule;
};

static const SettingRow SettingRows[] = {
    {nullptr, NO_KEY, false, 0, false, false, REFUSED_KEY_MISSING, 2, "key_missing"},
    {"LN_Appli", VALUE_MISSING, false, 0, false, false, REFUSED_VALUE_MISSING, 2, "value_missing"},
    {"LN_Base", VALUE_MISSING, false, 0, false, false, REFUSED_VALUE_MISSING, 2, "value_missing"},
    {"LN_Appli", NUL_ONLY, true, 0, false, false, REFUSED_VALUE_EMPTY, 0, "value_empty"},  // the client first
    {"LN_Base", NO_BYTES, false, 0, false, false, REFUSED_VALUE_UNTERMINATED, 0, "value_unterminated"},
    {"LN_Appli", NO_BYTES, true, 0, false, false, REFUSED_VALUE_UNTERMINATED, 0, "value_unterminated"},
    {"LN_Appli", NAMES_NOTHING, false, 0, false, false, REFUSED_VALUE_NAMES_NOTHING, 2, "value_names_nothing"},
    {"LN_Base", NAMES_NOTHING, false, 0, false, false, REFUSED_VALUE_NAMES_NOTHING, 2, "value_names_nothing"},
    {"LN_Appli", PADDED, false, 300, false, false, REFUSED_VALUE_TOO_LONG, 300, "value_too_long"},
    {"LN_Appli", PADDED, false, 300, false, true, REFUSED_VALUE_TOO_LONG, 300, "value_too_long"},
    {"LN_Appli", PADDED, false, 260, false, false, REFUSED_VALUE_UNTERMINATED, 260, "value_unterminated"},
    {"LN_Appli", PADDED, false, 260, false, true, REFUSED_VALUE_UNTERMINATED, 260, "value_unterminated"},
    {"LN_Appli", PADDED, false, 259, false, false, REFUSED_VALUE_UNTERMINATED, 259, "value_unterminated"},
    {"LN_Appli", PADDED, false, 259, false, true, REFUSED_VALUE_UNTERMINATED, 259, "value_unterminated"},
    {"LN_Appli", PADDED, false, 261, true, false, REFUSED_VALUE_TOO_LONG, 261, "value_too_long"},
    {"LN_Appli", PADDED, true, 260, true, false, REFUSED_NOT, 0, nullptr},
    {"LN_Appli", PADDED, true, 260, true, true, REFUSED_NOT, 0, nullptr},
    {"LN_Base", PADDED, false, 300, false, false, REFUSED_VALUE_TOO_LONG, 300, "value_too_long"},
    {"LN_Base", PADDED, false, 300, false, true, REFUSED_VALUE_TOO_LONG, 300, "value_too_long"},
    {"LN_Base", PADDED, false, 260, false, false, REFUSED_VALUE_UNTERMINATED, 260, "value_unterminated"},
    {"LN_Base", PADDED, false, 260, false, true, REFUSED_VALUE_UNTERMINATED, 260, "value_unterminated"},
    {"LN_Base", PADDED, false, 259, false, false, REFUSED_VALUE_UNTERMINATED, 259, "value_unterminated"},
    {"LN_Base", PADDED, false, 259, false, true, REFUSED_VALUE_UNTERMINATED, 259, "value_unterminated"},
};

// The bytes of a spoiled value whose installed path is `path` (259 bytes for PADDED).
inline std::string SettingBytes(const SettingRow &row, const std::string &path)
{
    switch (row.spoil) {
    case NUL_ONLY: return std::string(1, '\0');
    case NAMES_NOTHING: return path + " absent" + '\0';
    case PADDED:
        return path + std::string(row.length - path.size() - row.nul, 'x') +
               std::string(row.nul, '\0');
    default: return "";
    }
}

// A text for the row in failure messages.
inline std::string SettingRowName(const SettingRow &row)
{
    static const char *const spoils[] = {"no key", "missing", "a NUL alone", "no bytes",
                                         "naming nothing", "padded"};
    std::string name = std::string(row.value ? row.value : "the key") + " " + spoils[row.spoil];
    if (row.spoil == PADDED)
        name += " to " + std::to_string(row.length) + (row.nul ? " with" : " without") +
                " a NUL" + (row.binary ? ", REG_BINARY" : "");
    return name + (row.both ? ", both values" : "");
}
