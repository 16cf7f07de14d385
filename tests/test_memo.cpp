// Memo composition: the body lines and the names attachments are recorded under.  The
// whole sequence of calls, and failures, are the fuzz target's (fuzz/check_memo.cpp),
// whose seeds are replayed with these tests.
#include "job/memo.h"
#include "tests/helpers.h"
#include "tests/rule_tables.h"

namespace {

// Composes a memo from `fields`, its calls the only events.
void Compose(const Job &fields)
{
    static LoadedJob job;
    std::string bytes = EncodeJob(fields);
    memcpy(&job.header, bytes.data(), sizeof job.header);
    job.extraList = nullptr;
    std::vector<ExtraAttachment> extras(fields.extras.size());
    if (!extras.empty()) {
        memcpy(extras.data(), bytes.data() + sizeof job.header, extras.size() * sizeof extras[0]);
        job.extraList = extras.data();
    }

    TheWorld().events.clear();
    ComposeMemo(0x42, &job);
}

} // namespace

TEST(Memo, SplitsTheBodyAtCarriageReturns)
{
    for (const BodyRow &row : BodyRows) {
        std::vector<std::string> lines;
        for (size_t i = 0; i < 4 && row.lines[i] != nullptr; ++i)
            lines.push_back(*row.lines[i] != '\0' ? row.lines[i] : "NULL");  // no text
        InstallProduct();
        Job f = PlainJob();
        f.body = row.body;
        f.documentName = "";
        Compose(f);
        EXPECT_EQ(lines, TheWorld().notes.bodyLines) << "body: " << row.body;
        EXPECT_EQ(1u, EventsStartingWith("CreateBodyBuffer").size());
        EXPECT_EQ(1u, EventsStartingWith("AddBodyToNote").size());
    }
}

TEST(Memo, RecordedNamesAfterTheLastBackslash)
{
    InstallProduct();
    Job f = PlainJob();
    f.attachment = "";
    f.extras.clear();
    std::vector<std::string> expected = {"AttachFile $FILE/5  as  encoding=0xf00"};
    for (const RecordedNameRow &row : RecordedNameRows) {
        f.extras.push_back(row.path);
        expected.push_back(std::string("AttachFile $FILE/5 ") + row.path + " as " + row.name +
                           " encoding=0xf00");
    }
    Compose(f);
    EXPECT_EQ(expected, EventsStartingWith("AttachFile"));
}
