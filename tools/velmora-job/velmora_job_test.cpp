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

#define AT(field) offsetof(JobHeader, field)

namespace {


struct Outcome {
    int status;
    std::string out;
    std::string err;
};

Outcome Tool(const std::vector<std::string> &args, const std::string &input = std::string())
{
    std::istringstream in(input);
    std::ostringstream out, err;
    int status = RunTool(args, in, out, err);
    return Outcome{status, out.str(), err.str()};
}

class TempDir : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/velmora-job-test-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        dir_ = pattern;
    }
    void TearDown() override
    {
        for (const std::string &f : made_)
            std::remove(f.c_str());
        rmdir(dir_.c_str());
    }
    std::string Path(const std::string &name)
    {
        made_.push_back(dir_ + "/" + name);
        return made_.back();
    }
    static std::string Read(const std::string &path)
    {
        std::ifstream f(path, std::ios::binary);
        std::ostringstream s;
        s << f.rdbuf();
        return s.str();
    }
    static void Write(const std::string &path, const std::string &bytes)
    {
        std::ofstream f(path, std::ios::binary);
        f << bytes;
    }

private:
    std::string dir_;
    std::vector<std::string> made_;
};

// The text stored at `offset`, up to its NUL.
std::string TextAt(const std::string &bytes, size_t offset)
{
    return std::string(bytes.c_str() + offset);
}

uint32_t U32At(const std::string &b, size_t at)
{
    return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8 |
           static_cast<unsigned char>(b[at + 2]) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
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

bool HasNote(const Examination &r, Remark remark)
{
    for (const Note &n : r.notes) {
        if (n.remark == remark)
            return true;
    }
    return false;
}

} // namespace

// ---- writing -------------------------------------------------------------------

TEST(Encode, PutsEveryFieldAtItsOffsetAndZeroesTheRest)
{
    std::string b = EncodeJob(SampleJob());
    const size_t extra2 = JOB_HEADER_SIZE + JOB_EXTRA_SLOT;
    ASSERT_EQ(JOB_HEADER_SIZE + 2 * JOB_EXTRA_SLOT, b.size());
    EXPECT_EQ(1, b[AT(directSend)]);
    EXPECT_EQ(0, b[AT(directSend) + 1]);
    EXPECT_EQ("Devis [DOC] pour [USER]", TextAt(b, AT(subject)));
    EXPECT_EQ("Bonjour,\r\nci-joint le devis [DOC].", TextAt(b, AT(body)));
    EXPECT_EQ("C:\\Devis\\D-2024-017.pdf", TextAt(b, AT(attachment)));
    EXPECT_EQ("D-2024-017", TextAt(b, AT(documentName)));
    EXPECT_EQ("achats@client.example", TextAt(b, AT(sendTo)));
    EXPECT_EQ(2u, U32At(b, AT(extraCount)));
    EXPECT_EQ(0u, U32At(b, AT(listReference)));
    EXPECT_EQ("C:\\Devis\\conditions.pdf", TextAt(b, JOB_HEADER_SIZE));
    EXPECT_EQ("C:\\Plans\\plan.dwg", TextAt(b, extra2));

    // Every byte outside the texts is zero.
    Job job = SampleJob();
    std::string expected(b.size(), '\0');
    expected[AT(directSend)] = 1;
    expected[AT(extraCount)] = 2;
    const std::pair<size_t, const std::string *> texts[] = {
        {AT(subject), &job.subject},   {AT(body), &job.body},   {AT(attachment), &job.attachment},
        {AT(documentName), &job.documentName}, {AT(sendTo), &job.sendTo},
        {JOB_HEADER_SIZE, &job.extras[0]},     {extra2, &job.extras[1]},
    };
    for (const auto &t : texts)
        expected.replace(t.first, t.second->size(), *t.second);
    EXPECT_EQ(expected, b);
}

TEST(Encode, FlagAndCountAreLittleEndian)
{
    Job job;
    job.directSend = 0x0102;
    job.extras.assign(0x103, "x");
    std::string b = EncodeJob(job);
    EXPECT_EQ(0x02, b[AT(directSend)]);
    EXPECT_EQ(0x01, b[AT(directSend) + 1]);
    EXPECT_EQ(0x103u, U32At(b, AT(extraCount)));
    EXPECT_EQ(JOB_HEADER_SIZE + 0x103 * JOB_EXTRA_SLOT, b.size());
}

TEST_F(TempDir, UncheckedWritesFilesMalformedOnPurpose)
{
    Job job = SampleJob();
    job.subject.assign(300, 'S');           // cut to its slot, which it fills: no NUL
    job.extras[1].assign(JOB_EXTRA_SLOT - 1, 'e');
    std::string b = EncodeJob(job, Unchecked(5));
    Examination r = ExamineJob(b);
    EXPECT_EQ(std::string(JOB_TEXT_SLOT, 'S'), r.subject.text);
    EXPECT_FALSE(r.subject.terminated);
    EXPECT_EQ(job.body, r.body.text);       // its neighbour is whole
    EXPECT_EQ(5u, r.extraCount);
    ASSERT_EQ(2u, r.extras.size());
    EXPECT_EQ(job.extras[1], r.extras[1].text);
    EXPECT_TRUE(b.substr(0, JOB_HEADER_SIZE - 1) ==
                EncodeJob(job, Unchecked(5, JOB_HEADER_SIZE - 1)));
    EXPECT_TRUE(b == EncodeJob(job, Unchecked(5, b.size() + 1)));   // cutting never lengthens

    // A checked encoding takes no lie, even about a job that fits.
    Encoding lie;
    lie.count = 2;
    EXPECT_EQ("", EncodeJob(SampleJob(), lie));

    // The command line writes the same bytes.
    std::string file = Path("job.vmj");
    ASSERT_EQ(0, Tool({"make", file, "--send-to", job.sendTo, "--subject", job.subject, "--body",
                       job.body, "--document", job.documentName, "--direct", "--attach",
                       job.attachment, "--extra", job.extras[0], "--extra", job.extras[1],
                       "--unchecked", "--count=5"})
                     .status);
    EXPECT_TRUE(b == Read(file));
    ASSERT_EQ(0, Tool({"make", file, "--size", "7"}).status);
    EXPECT_EQ(std::string(7, '\0'), Read(file));
}

TEST(Check, AcceptsTextsUpToTheirSlotLessOne)
{
    Job job;
    job.subject.assign(255, 's');
    job.body.assign(2047, 'b');
    job.attachment.assign(255, 'a');
    job.documentName.assign(255, 'd');
    job.sendTo.assign(255, 't');
    job.extras = {std::string(255, 'e')};
    EXPECT_TRUE(JobProblems(job).empty());
    Examination r = ExamineJob(EncodeJob(job));
    EXPECT_TRUE(Readable(r));
    EXPECT_EQ(job.body, r.body.text);
    EXPECT_EQ(job.extras[0], r.extras[0].text);
}

TEST(Check, RefusesEachTooLongTextNamingFieldLimitAndLength)
{
    Job job;
    job.subject.assign(256, 's');
    job.body.assign(2048, 'b');
    job.attachment.assign(300, 'a');
    job.documentName.assign(256, 'd');
    job.sendTo.assign(256, 't');
    job.extras = {"ok", std::string(256, 'e')};
    std::vector<std::string> p = JobProblems(job);
    ASSERT_EQ(6u, p.size());
    EXPECT_EQ("subject: 256 bytes given, at most 255 fit (a 256-byte slot ending with a NUL)",
              p[0]);
    EXPECT_EQ("body: 2048 bytes given, at most 2047 fit (a 2048-byte slot ending with a NUL)",
              p[1]);
    EXPECT_NE(std::string::npos, p[2].find("attachment: 300 bytes given, at most 255"));
    EXPECT_EQ(0u, p[3].find("document: 256"));
    EXPECT_EQ(0u, p[4].find("send-to: 256"));
    EXPECT_EQ(0u, p[5].find("extra 2: 256"));
    EXPECT_EQ("", EncodeJob(job));
}

TEST(Check, RefusesANulInsideAText)
{
    Job job;
    job.body = std::string("avant\0apres", 11);
    std::vector<std::string> p = JobProblems(job);
    ASSERT_EQ(1u, p.size());
    EXPECT_EQ(0u, p[0].find("body: holds a NUL byte at offset 5"));
}

TEST_F(TempDir, MakeThenDumpRoundTrip)
{
    std::string job = Path("job.vmj");
    Outcome made = Tool({"make", job, "--send-to", "achats@client.example", "--subject",
                     "Devis [DOC] pour [USER]", "--body", "Bonjour,\nci-joint le devis [DOC].",
                     "--document", "D-2024-017", "--direct", "--attach",
                     "C:\\Devis\\D-2024-017.pdf", "--extra", "C:\\Devis\\conditions.pdf",
                     "--extra=C:\\Plans\\plan.dwg"});
    ASSERT_EQ(0, made.status) << made.err;
    EXPECT_EQ("", made.err);
    EXPECT_EQ(EncodeJob(SampleJob()), Read(job));

    Outcome dumped = Tool({"dump", job});
    EXPECT_EQ(0, dumped.status);
    EXPECT_EQ(job + ":\n"
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
                    "The program reads this job.\n",
              dumped.out);
}

TEST_F(TempDir, MakeWritesBodyLineEndsAsCrLfUnlessRaw)
{
    std::string job = Path("job.vmj");
    std::string file = Path("body.txt");
    // LF becomes CR LF; an existing CR LF and a lone CR are kept as they are.
    Write(file, "un\ndeux\r\ntrois\rquatre\n\n");
    ASSERT_EQ(0, Tool({"make", job, "--attach", "C:\\a", "--body-file", file}).status);
    EXPECT_EQ("un\r\ndeux\r\ntrois\rquatre\r\n\r\n", ExamineJob(Read(job)).body.text);

    ASSERT_EQ(0, Tool({"make", job, "--attach", "C:\\a", "--raw-body", "--body-file", file})
                     .status);
    EXPECT_EQ("un\ndeux\r\ntrois\rquatre\n\n", ExamineJob(Read(job)).body.text);

    ASSERT_EQ(0, Tool({"make", job, "--attach", "C:\\a", "--body", "a\nb"}).status);
    EXPECT_EQ("a\r\nb", ExamineJob(Read(job)).body.text);

    ASSERT_EQ(0, Tool({"make", job, "--attach", "C:\\a", "--body-file", "-"}, "x\ny").status);
    EXPECT_EQ("x\r\ny", ExamineJob(Read(job)).body.text);
}

TEST_F(TempDir, MakeMeasuresTheBodyAfterLineEndConversion)
{
    std::string job = Path("job.vmj");
    std::string body = std::string(2045, 'b') + "\n";     // 2046 given, 2047 written
    EXPECT_EQ(0, Tool({"make", job, "--attach", "C:\\a", "--body", body}).status);
    body = std::string(2046, 'b') + "\n";                 // 2047 given, 2048 written
    Outcome r = Tool({"make", job, "--attach", "C:\\a", "--body", body});
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.err.find("body: 2048 bytes given, at most 2047 fit"));
    EXPECT_EQ(0, Tool({"make", job, "--attach", "C:\\a", "--raw-body", "--body", body}).status);
}

TEST_F(TempDir, MakeRefusesTooLongTextsWithExitOneAndWritesNothing)
{
    std::string job = Path("job.vmj");
    Outcome r = Tool({"make", job, "--subject", std::string(256, 's'), "--extra",
                  std::string(400, 'e')});
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.err.find("subject: 256 bytes given, at most 255"));
    EXPECT_NE(std::string::npos, r.err.find("extra 1: 400 bytes given, at most 255"));
    EXPECT_FALSE(std::ifstream(job).good());
}

TEST_F(TempDir, MakeConvertsUtf8ToCp1252OnRequest)
{
    std::string job = Path("job.vmj");
    ASSERT_EQ(0, Tool({"make", job, "--utf8", "--subject", "Re\xC3\xA7u \xE2\x82\xAC",
                       "--attach", "C:\\D\xC3\xA9vis\\a.pdf", "--extra", "C:\\\xC5\x92uvre.txt",
                       "--body", "\xC3\xA9t\xC3\xA9"})
                     .status);
    Examination r = ExamineJob(Read(job));
    EXPECT_EQ("Re\xE7u \x80", r.subject.text);
    EXPECT_EQ("C:\\D\xE9vis\\a.pdf", r.attachment.text);
    EXPECT_EQ("C:\\\x8Cuvre.txt", r.extras.at(0).text);
    EXPECT_EQ("\xE9t\xE9", r.body.text);

    // Without --utf8 the bytes go in unchanged.
    ASSERT_EQ(0, Tool({"make", job, "--attach", "C:\\a", "--subject", "Re\xC3\xA7u"}).status);
    EXPECT_EQ("Re\xC3\xA7u", ExamineJob(Read(job)).subject.text);
}

TEST_F(TempDir, MakeRefusesCharactersWithoutCp1252Byte)
{
    std::string job = Path("job.vmj");
    Outcome r = Tool({"make", job, "--utf8", "--attach", "C:\\a", "--subject",
                  "devis \xE4\xB8\xAD", "--extra", "ok", "--extra", "bad\xC3"});
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos,
              r.err.find("subject: character \xE4\xB8\xAD (U+4E2D) at offset 6 has no "
                         "Windows-1252 equivalent"));
    EXPECT_NE(std::string::npos, r.err.find("extra 2: byte 0xC3 at offset 3 is not valid UTF-8"));
    EXPECT_FALSE(std::ifstream(job).good());
}

TEST_F(TempDir, MakeWarnsAboutIgnoredDirectSendAndMissingAttachment)
{
    std::string job = Path("job.vmj");
    Outcome r = Tool({"make", job, "--direct"});
    EXPECT_EQ(0, r.status);
    EXPECT_NE(std::string::npos, r.err.find("--direct without --send-to"));
    EXPECT_NE(std::string::npos, r.err.find("no --attach"));
    Examination i = ExamineJob(Read(job));
    EXPECT_TRUE(Readable(i));
    EXPECT_TRUE(HasNote(i, REMARK_DIRECT_SEND_IGNORED));
    EXPECT_TRUE(HasNote(i, REMARK_NO_ATTACHMENT));
}

TEST_F(TempDir, UsageErrorsExitTwo)
{
    std::string job = Path("job.vmj");
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"send"},
        {"make"},
        {"make", job, "other"},
        {"make", job, "--colour"},
        {"make", job, "--subject"},
        {"make", job, "--body", "a", "--body-file", "b"},
        {"make", job, "--attach", "a", "--attach", "b"},
        {"make", job, "--body-file", Path("missing.txt")},
        {"dump"},
        {"dump", Path("missing.vmj")},
        {"dump", job, job},
        {"make", job, "--count", "-1"},
        {"make", job, "--count", "4294967296"},
        {"make", job, "--size", "12k"},
    };
    for (const auto &args : bad) {
        Outcome r = Tool(args);
        std::string joined;
        for (const auto &a : args)
            joined += a + " ";
        EXPECT_EQ(2, r.status) << joined;
        EXPECT_NE("", r.err) << joined;
    }
    EXPECT_FALSE(std::ifstream(job).good());
    Outcome help = Tool({"--help"});
    EXPECT_EQ(0, help.status);
    EXPECT_NE(std::string::npos, help.out.find("CR LF"));
}

// ---- reading -------------------------------------------------------------------

TEST(BodyLines, SplitAsTheProgramDoes)
{
    for (const BodyRow &row : BodyRows) {
        std::vector<std::string> lines;
        for (size_t i = 0; i < 4 && row.lines[i] != nullptr; ++i)
            lines.push_back(row.lines[i]);
        std::string body = row.body == std::string("[DOC]") ? "" : row.body;  // not expanded here
        EXPECT_EQ(lines, BodyLines(body)) << body;
    }
    for (const RecordedNameRow &row : RecordedNameRows)
        EXPECT_EQ(row.name, RecordedName(row.path)) << row.path;
}

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

// And says why in words, with what it could still read.
TEST(Examine, SaysWhyInWords)
{
    EXPECT_FALSE(ExamineJob(std::string(100, '\0')).headerComplete);
    Job job = SampleJob();
    job.body.assign(JOB_BODY_SLOT, 'Z');
    Examination r = ExamineJob(EncodeJob(job, Unchecked()));
    EXPECT_EQ("the body has no NUL inside its slot (text not terminated)",
              Describe(r.refusals.at(0), r));
    EXPECT_TRUE(r.attachment.terminated);       // its neighbours are still read whole
    EXPECT_EQ(2u, r.extras.size());

    r = ExamineJob(EncodeJob(Job(), Unchecked(JOB_FIRST_OVERFLOWING_COUNT)));
    EXPECT_NE(std::string::npos, Describe(r.refusals.at(0), r).find("does not fit 32 bits"));
    EXPECT_EQ(JOB_FIRST_OVERFLOWING_COUNT, r.extraCount);

    std::string b = EncodeJob(SampleJob(), Unchecked(3));
    r = ExamineJob(b);
    EXPECT_EQ(2u, r.extras.size());     // the slots present are still shown
    EXPECT_EQ("the extra count is 3 but the file holds 2 whole 256-byte slots after the header",
              Describe(r.refusals.at(0), r));
    r = ExamineJob(b + std::string(JOB_EXTRA_SLOT - 1, 'x'));
    EXPECT_NE(std::string::npos, Describe(r.refusals.at(0), r).find("and 255 bytes of a cut slot"));

    job = SampleJob();
    job.extras[1].assign(JOB_EXTRA_SLOT, 'p');
    r = ExamineJob(EncodeJob(job, Unchecked()));
    EXPECT_EQ(0u, Describe(r.refusals.at(0), r).find("extra 2 (counting from 1) has no NUL"));
    EXPECT_FALSE(r.extras[1].terminated);
    EXPECT_EQ(job.extras[1], r.extras[1].text);
}

TEST(Examine, NotesHarmlessOddities)
{
    std::string b = EncodeJob(SampleJob());
    b[AT(listReference)] = '\x5A';
    b[AT(unused) + 98] = 7;
    b += "tail";
    Examination r = ExamineJob(b);
    EXPECT_TRUE(Readable(r));
    ASSERT_EQ(3u, r.notes.size());
    EXPECT_EQ("4 bytes after the extra list are never read", Describe(r.notes[0]));
    EXPECT_EQ("offset 3336 holds 0x0000005A, not zero; the program ignores it",
              Describe(r.notes[1]));
    EXPECT_EQ(REMARK_UNREAD_NOT_ZERO, r.notes[2].remark);
    EXPECT_EQ(AT(unused) + 98, r.notes[2].value);

    // Bytes after the header count as trailing when there is no list.
    EXPECT_TRUE(HasNote(ExamineJob(EncodeJob(Job()) + "x"), REMARK_TRAILING_BYTES));
    EXPECT_TRUE(ExamineJob(EncodeJob(SampleJob())).notes.empty());
}

TEST_F(TempDir, DumpOfAMalformedFileExitsOneAndSaysWhy)
{
    std::string job = Path("job.vmj");
    Job j = SampleJob();
    j.subject.assign(JOB_TEXT_SLOT, 'S');
    Write(job, EncodeJob(j, Unchecked(5)));
    Outcome r = Tool({"dump", job});
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.out.find("\"" + std::string(JOB_TEXT_SLOT, 'S') + "\"  <- no NUL"));
    EXPECT_NE(std::string::npos,
              r.out.find("The program refuses this job (\"Impossible de lire le fichier ou "
                         "format incorrect.\") and deletes the file:\n"
                         "  - the subject has no NUL inside its slot (text not terminated)\n"
                         "  - the extra count is 5 but the file holds 2 whole"));

    Write(job, "short");
    r = Tool({"dump", job});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(job + ":\n  size:         5 bytes\n"
                    "The program refuses this job (\"Impossible de lire le fichier ou format "
                    "incorrect.\") and deletes the file:\n"
                    "  - the file is 5 bytes long, shorter than the 3340-byte header\n",
              r.out);
}

TEST_F(TempDir, DumpShowsNonAsciiAsEscapesOrUtf8)
{
    std::string job = Path("job.vmj");
    Job j;
    j.subject = "Re\xE7u \x80\x81\t";
    j.attachment = "C:\\a";
    Write(job, EncodeJob(j));
    EXPECT_NE(std::string::npos,
              Tool({"dump", job}).out.find("subject:      \"Re\\xE7u \\x80\\x81\\t\""));
    EXPECT_NE(std::string::npos, Tool({"dump", "--utf8", job})
                                     .out.find("subject:      \"Re\xC3\xA7u \xE2\x82\xAC\\x81\\t\""));
}

TEST(Codec, Utf8ToCp1252CoversTheWholeCodePage)
{
    // Every defined Windows-1252 byte survives the trip through UTF-8 display form.
    for (int b = 1; b < 256; ++b) {
        std::string byte(1, static_cast<char>(b));
        std::string shown = ShownBytes(byte, DISPLAY_UTF8);
        if (shown.compare(0, 2, "\\x") == 0 || shown[0] == '\\')
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
