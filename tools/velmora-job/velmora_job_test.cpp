// velmora-job: job files written by `make` are laid out as the program reads them,
// and `dump` finds what the program would refuse.
#include "cli.h"
#include "job_format.h"
#include "text_codec.h"
#include "tests/rule_tables.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

using namespace velmora_job;

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"     // rows leave out what they need not say

namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

Outcome Tool(const std::vector<std::string> &args, const std::string &input = std::string())
{
    FILE *in = tmpfile();
    (void)fwrite(input.data(), 1, input.size(), in);
    rewind(in);
    char *out = nullptr, *err = nullptr;
    size_t outSize = 0, errSize = 0;
    FILE *outFile = open_memstream(&out, &outSize), *errFile = open_memstream(&err, &errSize);
    int status = RunTool(args, in, outFile, errFile);
    fclose(in), fclose(outFile), fclose(errFile);
    Outcome r = {status, std::string(out, outSize), std::string(err, errSize)};
    free(out), free(err);
    return r;
}

// A file of this process's own in the test's temporary folder; the tests remove it.
std::string TempPath(const std::string &name)
{
    return testing::TempDir() + "velmora-job-" + std::to_string(getpid()) + "-" + name;
}

std::string ReadBytes(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void WriteBytes(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

Job SampleJob()
{
    Job job;
    job.directSend = 1;
    job.subject = "Devis [DOC] pour [USER]";
    job.body = "Bonjour,\r\nci-joint le devis [DOC].";
    job.attachment = "C:\\Devis\\D-2024-017.pdf";
    job.documentName = "D-2024-017";
    job.sendTo = "achats@client.example";
    job.extras = {"C:\\Devis\\conditions.pdf", "C:\\Plans\\plan.dwg"};
    return job;
}

// One `make` (or faulty) command line.  OUT stands for the output file, BODY for a
// body file holding "un\ndeux\r\ntrois\rquatre\n\n", MISSING for a file that is not there.
struct MakeRow {
    std::vector<std::string> args;
    std::string input;                  // standard input
    int status;
    std::vector<std::string> said;      // each begins a line of stderr after the tool's
                                        // name; none: stderr stays empty
    Job job;                            // written, with `how`, when status is 0
    Encoding how = Encoding();
};

std::vector<MakeRow> MakeRows()
{
    const std::string body2046 = std::string(2045, 'b') + "\n", body2047 = 'b' + body2046;
    const Job sample = SampleJob();
    return {
        {{"make", "OUT", "--send-to", "achats@client.example", "--subject", "Devis [DOC] pour [USER]",
          "--body", "Bonjour,\nci-joint le devis [DOC].", "--document", "D-2024-017", "--direct",
          "--attach", "C:\\Devis\\D-2024-017.pdf", "--extra", "C:\\Devis\\conditions.pdf",
          "--extra=C:\\Plans\\plan.dwg"}, "", 0, {}, sample},
        // Each LF not after a CR becomes CR LF, unless --raw-body.
        {{"make", "OUT", "--attach", "C:\\a", "--body-file", "BODY"}, "", 0, {},
         {0, "", "un\r\ndeux\r\ntrois\rquatre\r\n\r\n", "C:\\a"}},
        {{"make", "OUT", "--attach", "C:\\a", "--raw-body", "--body-file", "BODY"}, "", 0, {},
         {0, "", "un\ndeux\r\ntrois\rquatre\n\n", "C:\\a"}},
        {{"make", "OUT", "--attach", "C:\\a", "--body-file", "-"}, "x\ny", 0, {}, {0, "", "x\r\ny", "C:\\a"}},
        // The body is measured once its line ends are made CR LF.
        {{"make", "OUT", "--attach", "C:\\a", "--body", body2046}, "", 0, {},
         {0, "", std::string(2045, 'b') + "\r\n", "C:\\a"}},
        {{"make", "OUT", "--attach", "C:\\a", "--body", body2047}, "", 1,
         {"body: 2048 bytes given, at most 2047 fit"}},
        {{"make", "OUT", "--attach", "C:\\a", "--raw-body", "--body", body2047}, "", 0, {},
         {0, "", body2047, "C:\\a"}},
        // UTF-8 converted to Windows-1252 with --utf8 only.
        {{"make", "OUT", "--utf8", "--subject", "Re\xC3\xA7u \xE2\x82\xAC", "--attach",
          "C:\\D\xC3\xA9vis\\a.pdf", "--extra", "C:\\\xC5\x92uvre.txt", "--body", "\xC3\xA9t\xC3\xA9"},
         "", 0, {}, {0, "Re\xE7u \x80", "\xE9t\xE9", "C:\\D\xE9vis\\a.pdf", "", "", {"C:\\\x8Cuvre.txt"}}},
        {{"make", "OUT", "--attach", "C:\\a", "--subject", "Re\xC3\xA7u"}, "", 0, {},
         {0, "Re\xC3\xA7u", "", "C:\\a"}},
        {{"make", "OUT", "--utf8", "--attach", "C:\\a", "--subject", "devis \xE4\xB8\xAD", "--extra",
          "ok", "--extra", "bad\xC3"}, "", 1,
         {"subject: character \xE4\xB8\xAD (U+4E2D) at offset 6 has no Windows-1252 equivalent",
          "extra 2: byte 0xC3 at offset 3 is not valid UTF-8"}},
        // A text fits its slot less the NUL's byte and holds no NUL of its own.
        {{"make", "OUT", "--subject", std::string(256, 's'), "--attach", std::string(300, 'a'), "--document",
          std::string(256, 'd'), "--send-to", std::string(256, 't'), "--extra", std::string(255, 'e'),
          "--extra", std::string(256, 'e'), "--body-file", "-"}, std::string("avant\0apres", 11), 1,
         {"subject: 256 bytes given, at most 255 fit (a 256-byte slot ending with a NUL)",
          "body: holds a NUL byte at offset 5; the program would stop reading the text there",
          "attachment: 300 bytes given, at most 255", "document: 256", "send-to: 256", "extra 2: 256"}},
        {{"make", "OUT", "--direct"}, "", 0,
         {"warning: --direct without --send-to", "warning: no --attach"}, {1}},
        // Malformed on purpose.
        {{"make", "OUT", "--size", "7"}, "", 0, {}, {}, Unchecked(-1, 7)},
        {{"make", "OUT", "--send-to", sample.sendTo, "--subject", std::string(300, 'S'), "--body",
          sample.body, "--attach", sample.attachment, "--extra", sample.extras[0], "--extra",
          std::string(255, 'e'), "--unchecked", "--count=5"}, "", 0, {},
         {0, std::string(300, 'S'), sample.body, sample.attachment, "", sample.sendTo,
          {sample.extras[0], std::string(255, 'e')}}, Unchecked(5)},
        // Usage errors.
        {{}, "", 2, {"no command"}},
        {{"send"}, "", 2, {"unknown command send"}},
        {{"make"}, "", 2, {"make needs the output file"}},
        {{"make", "OUT", "other"}, "", 2, {"more than one output file"}},
        {{"make", "OUT", "--colour"}, "", 2, {"unknown option --colour"}},
        {{"make", "OUT", "--subject"}, "", 2, {"--subject needs a value"}},
        {{"make", "OUT", "--body", "a", "--body-file", "b"}, "", 2, {"give the body once"}},
        {{"make", "OUT", "--attach", "a", "--attach", "b"}, "", 2, {"--attach given twice"}},
        {{"make", "OUT", "--body-file", "MISSING"}, "", 2, {"cannot read the body file"}},
        {{"make", "OUT", "--count", "-1"}, "", 2, {"--count: not a number"}},
        {{"make", "OUT", "--count", "4294967296"}, "", 2, {"--count: not a number"}},
        {{"make", "OUT", "--size", "12k"}, "", 2, {"--size: not a number"}},
        {{"dump"}, "", 2, {"dump needs a file"}},
        {{"dump", "MISSING"}, "", 2, {"cannot read"}},
        {{"dump", "OUT", "OUT"}, "", 2, {"dump takes one file"}},
    };
}

} // namespace

// ---- writing -------------------------------------------------------------------

// The offsets of docs/job-format.md, numbers little-endian, every other byte zero.
TEST(Encode, PutsEveryFieldAtItsOffsetAndZeroesTheRest)
{
    Job job = SampleJob();
    job.directSend = 0x0102;
    std::string expected(3340 + 2 * 256, '\0');
    expected[0] = 2, expected[1] = 1, expected[3332] = 2;
    const std::pair<size_t, const std::string *> texts[] = {
        {260, &job.subject},   {516, &job.body},       {2564, &job.attachment},
        {2820, &job.documentName}, {3076, &job.sendTo}, {3340, &job.extras[0]},
        {3596, &job.extras[1]},
    };
    for (const auto &t : texts)
        expected.replace(t.first, t.second->size(), *t.second);
    EXPECT_EQ(expected, EncodeJob(job));

    std::string b = EncodeJob(job, Unchecked(0x01020304, 3335));
    EXPECT_EQ(expected.substr(0, 3332) + "\x04\x03\x02", b);     // cut to 3335 bytes
    EXPECT_TRUE(expected == EncodeJob(job, Unchecked(-1, expected.size() + 1)));
    // A checked encoding takes no count or size of its own, even about a job that fits.
    Encoding lie;
    lie.count = 2;
    EXPECT_EQ("", EncodeJob(job, lie));
    job.subject.assign(300, 'S');       // refused, or cut to its slot, which it fills: no NUL
    EXPECT_EQ("", EncodeJob(job));
    EXPECT_EQ(expected.substr(0, 260) + std::string(256, 'S') + expected.substr(516),
              EncodeJob(job, Unchecked()));
}

TEST(Make, WritesTheJobOrSaysWhyNot)
{
    std::string out = TempPath("job.vmj"), body = TempPath("body.txt");
    std::string missing = TempPath("missing");
    WriteBytes(body, "un\ndeux\r\ntrois\rquatre\n\n");
    for (const MakeRow &row : MakeRows()) {
        std::vector<std::string> args = row.args;
        std::string line;
        for (std::string &a : args) {
            a = a == "OUT" ? out : a == "BODY" ? body : a == "MISSING" ? missing : a;
            line += a.substr(0, 40) + " ";
        }
        std::remove(out.c_str());
        Outcome r = Tool(args, row.input);
        EXPECT_EQ(row.status, r.status) << line << "\n" << r.err;
        for (const std::string &s : row.said)     // each on a line of its own, named
            EXPECT_NE(std::string::npos, ("\n" + r.err).find("\nvelmora-job: " + s))
                << line << "\n" << r.err;
        if (row.said.empty())
            EXPECT_EQ("", r.err) << line;
        if (row.status == 0)
            EXPECT_TRUE(EncodeJob(row.job, row.how) == ReadBytes(out)) << line;
        else
            EXPECT_FALSE(std::ifstream(out).good()) << line;
    }
    std::remove(out.c_str());
    std::remove(body.c_str());
    Outcome help = Tool({"--help"});
    EXPECT_EQ(0, help.status);
    EXPECT_NE(std::string::npos, help.out.find("CR LF"));
}

// ---- reading -------------------------------------------------------------------

// The examination refuses what the program refuses, for the same first reason.
TEST(Examine, RefusesAsTheProgramDoes)
{
    for (const JobRow &row : JobRows) {
        if (row.rule == REFUSED_LIST_UNAVAILABLE)
            continue;       // the examination allocates no list
        Examination r = ExamineJob(JobRowBytes(row, SampleJob()));
        ASSERT_EQ(row.rule == REFUSED_NOT, Readable(r)) << row.what;
        if (Readable(r))
            continue;
        EXPECT_EQ(row.rule, r.refusals[0].rule) << row.what;
        EXPECT_EQ(row.detail, r.refusals[0].detail) << row.what;
        if (row.rule == REFUSED_TEXT_UNTERMINATED)
            EXPECT_STREQ(row.what, r.refusals[0].value);
    }
}

// `dump` of a file: its exit status and its listing, whole when it starts with the size;
// the refusals in words, with what could still be read; harmless oddities as notes.
TEST(Dump, ListsTheFieldsAndWhyTheProgramWouldRefuse)
{
    Job subjectFull = SampleJob(), extraFull = SampleJob(), nonAscii, direct;
    direct.directSend = 1;
    std::string odd = EncodeJob(SampleJob()) + "tail";
    odd[3336] = '\x5A';        // the documented offsets: the reserved value, an unread byte
    odd[100] = 7;
    subjectFull.subject.assign(JOB_TEXT_SLOT, 'S');
    extraFull.extras[1].assign(JOB_EXTRA_SLOT, 'p');
    nonAscii.subject = "Re\xE7u \x80\x81\x9D\t";
    nonAscii.attachment = "C:\\a";
    const std::string refused = "The program refuses this job (\"Impossible de lire le fichier "
                                "ou format incorrect.\") and deletes the file:\n";
    const struct {
        std::string bytes;
        bool utf8;
        int status;
        std::string listing;
    } rows[] = {
        {EncodeJob(SampleJob()), false, 0,
         "  size:         3852 bytes\n"
         "  direct send:  0x0001 (yes)\n"
         "  subject:      \"Devis [DOC] pour [USER]\"\n"
         "  body:         2 lines\n"
         "     1: \"Bonjour,\"\n"
         "     2: \"ci-joint le devis [DOC].\"\n"
         "  attachment:   \"C:\\Devis\\D-2024-017.pdf\"  (recorded as \"D-2024-017.pdf\")\n"
         "  document:     \"D-2024-017\"\n"
         "  send-to:      \"achats@client.example\"\n"
         "  extra count:  2\n"
         "  extra 1:      \"C:\\Devis\\conditions.pdf\"  (recorded as \"conditions.pdf\")\n"
         "  extra 2:      \"C:\\Plans\\plan.dwg\"  (recorded as \"plan.dwg\")\n"
         "The program reads this job.\n"},
        {"short", false, 1, "  size:         5 bytes\n" + refused +
                                "  - the file is 5 bytes long, shorter than the 3340-byte header\n"},
        {EncodeJob(subjectFull, Unchecked(5)), false, 1,
         "\"" + std::string(JOB_TEXT_SLOT, 'S') + "\"  <- no NUL: the whole slot is shown\n"
         "  body:         2 lines\n"},
        {EncodeJob(subjectFull, Unchecked(5)), false, 1,
         refused + "  - the subject has no NUL inside its slot (text not terminated)\n"
                   "  - the extra count is 5 but the file holds 2 whole 256-byte slots after the header\n"},
        {EncodeJob(SampleJob(), Unchecked(3)) + std::string(JOB_EXTRA_SLOT - 1, 'x'), false, 1,
         "  extra 2:      \"C:\\Plans\\plan.dwg\"  (recorded as \"plan.dwg\")\n" + refused +
             "  - the extra count is 3 but the file holds 2 whole 256-byte slots after the header "
             "(and 255 bytes of a cut slot)\n"},
        {EncodeJob(extraFull, Unchecked()), false, 1,
         "  extra 2:      \"" + extraFull.extras[1] + "\"  <- no NUL: the whole slot is shown\n" +
             refused + "  - extra 2 (counting from 1) has no NUL inside its 256-byte slot (text not terminated)\n"},
        {odd, false, 0, "The program reads this job.\nNotes:\n"
                        "  - 4 bytes after the extra list are never read\n"
                        "  - offset 3336 holds 0x0000005A, not zero; the program ignores it\n"
                        "  - bytes 2-259 are not all zero (first at offset 100); the program ignores them\n"},
        // Bytes after the header count as trailing when there is no list.
        {EncodeJob(direct) + "x", false, 0, "Notes:\n  - 1 bytes after the extra list are never read\n"
                                          "  - direct sending is asked for but the send-to is empty, so it is ignored\n"
                                          "  - the main attachment is empty"},
        {EncodeJob(Job(), Unchecked(JOB_FIRST_OVERFLOWING_COUNT)), false, 1,
         "  - the extra count 16777216 is too large: count x 256 does not fit 32 bits (the limit is "
         "16777215)\n"},
        {EncodeJob(nonAscii), false, 0, "subject:      \"Re\\xE7u \\x80\\x81\\x9D\\t\""},
        {EncodeJob(nonAscii), true, 0, "subject:      \"Re\xC3\xA7u \xE2\x82\xAC\\x81\\x9D\\t\""},
    };
    std::string file = TempPath("dumped.vmj");
    for (const auto &row : rows) {
        WriteBytes(file, row.bytes);
        Outcome r = row.utf8 ? Tool({"dump", "--utf8", file}) : Tool({"dump", file});
        EXPECT_EQ(row.status, r.status) << row.listing;
        if (row.listing.compare(0, 7, "  size:") == 0)
            EXPECT_EQ(file + ":\n" + row.listing, r.out);
        else
            EXPECT_NE(std::string::npos, r.out.find(row.listing)) << r.out;
    }
    std::remove(file.c_str());
}

TEST(Codec, Utf8ToCp1252CoversTheWholeCodePage)
{
    // Every defined Windows-1252 byte survives the trip through UTF-8 display form.
    for (int b = 1; b < 256; ++b) {
        std::string byte(1, static_cast<char>(b));
        std::string shown = ShownBytes(byte, DISPLAY_UTF8);
        if (shown[0] == '\\')
            continue;       // escaped: control byte or undefined
        std::string back, error;
        ASSERT_TRUE(Utf8ToCp1252(shown, &back, &error)) << b << " " << error;
        EXPECT_EQ(byte, back) << b;
    }
    std::string out, error;
    EXPECT_FALSE(Utf8ToCp1252("\xC0\xA9", &out, &error));        // overlong
    EXPECT_FALSE(Utf8ToCp1252("\xED\xA0\x80", &out, &error));    // surrogate
    EXPECT_FALSE(Utf8ToCp1252("\xC2\x81", &out, &error));        // U+0081: no byte
    EXPECT_NE(std::string::npos, error.find("U+0081"));
    EXPECT_FALSE(Utf8ToCp1252("\xF0\x9F\x98\x80", &out, &error));
    EXPECT_NE(std::string::npos, error.find("U+1F600"));
}
