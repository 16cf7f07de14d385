// Memo composition: the exact Notes calls, the body lines, attachments, failures.
#include "job/memo.h"
#include "tests/helpers.h"
#include "tests/rule_tables.h"

namespace {

// Composes a memo from `fields` and returns the Notes calls made, in order.
std::vector<std::string> Compose(const Job &fields, NotesHandle *note = nullptr)
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
    NotesHandle made = ComposeMemo(0x42, &job);
    if (note)
        *note = made;
    return TheWorld().events;
}

std::vector<std::string> Lines()
{
    return TheWorld().notes.bodyLines;
}

} // namespace

TEST(Memo, WritesItemsBodyAndAttachmentsInOrder)
{
    InstallProduct();
    Job f = PlainJob();
    f.directSend = 1;
    f.sendTo = "[doc]@example.com";
    f.subject = "Devis [DOC] de [USER] \xe9t\xe9";
    f.body = "Bonjour [NAME],\r\nvoici [DOC] \xe9t\xe9.\r\n";
    f.extras = {"C:\\Annexes\\plan.dwg", "notice.txt"};
    NotesHandle note = 0;
    std::vector<std::string> expected = {
        "CreateNote db=0x42",
        "SetTextItem Form=Document length=65535",
        "SetTextItem SendTo=A12@example.com length=65535",
        "GetUserNameA 256",
        "SetTextItem Subject=Devis A12 de dupont \x82t\x82 length=65535",
        "SetTextItem Velmora_DirectSend=1 length=65535",
        "GetUserNameA 256",
        "CreateBodyBuffer length=0",
        "AppendBodyLine 15",
        "AppendBodyLine 14",
        "AddBodyToNote length=33",
        "AttachFile $FILE/5 C:\\Devis\\A12.pdf as A12.pdf encoding=0xf00",
        "AttachFile $FILE/5 C:\\Annexes\\plan.dwg as plan.dwg encoding=0xf00",
        "AttachFile $FILE/5 notice.txt as notice.txt encoding=0xf00",
        "SaveNote flags=0",
    };
    EXPECT_EQ(expected, Compose(f, &note));
    EXPECT_NE(0u, note);
    EXPECT_EQ((std::vector<std::string>{"Bonjour dupont,", "voici A12 \xe9t\xe9."}), Lines());
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(0, TheWorld().liveHeapBlocks);
}

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
        std::vector<std::string> calls = Compose(f);
        EXPECT_EQ(lines, Lines()) << "body: " << row.body;
        EXPECT_EQ(1u, std::count(calls.begin(), calls.end(), "CreateBodyBuffer length=0"));
        EXPECT_EQ(1u, EventsStartingWith("AddBodyToNote").size());
    }
}

TEST(Memo, BodyLineLongerThan65535BytesGoesInPieces)
{
    InstallProduct();
    Job f = PlainJob();
    f.documentName = std::string(255, 'd');
    f.body = "x";
    for (int i = 0; i < 300; ++i)       // 76,500 bytes on one line after expansion
        f.body += "[DOC]";
    f.body += "\r\ny";
    Compose(f);
    std::string line = "x" + std::string(300 * 255, 'd');
    ASSERT_EQ(3u, Lines().size());
    EXPECT_EQ(line.substr(0, 65535), Lines()[0]);
    EXPECT_EQ(line.substr(65535), Lines()[1]);
    EXPECT_EQ("y", Lines()[2]);
}

TEST(Memo, ItemsWrittenOnlyWhenTheirTemplateIsThere)
{
    InstallProduct();
    Job f = PlainJob();
    f.directSend = 1;
    f.sendTo = "";
    f.subject = "";
    f.body = "";
    std::vector<std::string> calls = Compose(f);
    EXPECT_EQ((std::vector<std::string>{"SetTextItem Form=Document length=65535"}),
              EventsStartingWith("SetTextItem"));
    EXPECT_TRUE(EventsStartingWith("CreateBodyBuffer").empty());

    // A send-to that expands to nothing is still written, and the flag follows the
    // template as stored.
    InstallProduct();
    f.sendTo = "[DOC]";
    f.documentName = "";
    f.directSend = 0x0100;
    Compose(f);
    EXPECT_EQ((std::vector<std::string>{"SetTextItem Form=Document length=65535",
                                        "SetTextItem SendTo= length=65535",
                                        "SetTextItem Velmora_DirectSend=1 length=65535"}),
              EventsStartingWith("SetTextItem"));

    InstallProduct();
    f.directSend = 0;
    Compose(f);
    EXPECT_TRUE(EventsStartingWith("SetTextItem Velmora_DirectSend").empty());
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

TEST(Memo, FailuresAreShownAndTheMemoStillSaved)
{
    struct Case {
        const char *operation;
        std::vector<UINT> boxes;
        bool bodyLinesAppended;
    } cases[] = {
        {"CreateBodyBuffer", {MSG_CREATE_BODY_FAILED}, false},
        {"AddBodyToNote", {MSG_ADD_BODY_FAILED}, true},
        {"AttachFile", {MSG_ATTACH_FAILED, MSG_ATTACH_FAILED, MSG_ATTACH_FAILED}, true},
    };
    for (const Case &c : cases) {
        InstallProduct();
        FailNotes(c.operation);
        Job f = PlainJob();
        f.extras = {"C:\\a", "C:\\b"};
        NotesHandle note = 0;
        std::vector<std::string> calls = Compose(f, &note);
        EXPECT_NE(0u, note) << c.operation;
        EXPECT_EQ(c.boxes, Boxes()) << c.operation;
        EXPECT_EQ("SaveNote flags=0", calls.back()) << c.operation;
        EXPECT_EQ(3u, EventsStartingWith("AttachFile").size()) << c.operation;
        EXPECT_EQ(c.bodyLinesAppended, !EventsStartingWith("AppendBodyLine").empty());
        EXPECT_EQ(0, TheWorld().liveHeapBlocks) << c.operation;
    }

    // Only the second attachment fails: one box, in its place.
    InstallProduct();
    FailNotes("AttachFile", 2);
    Job f = PlainJob();
    f.extras = {"C:\\a", "C:\\b"};
    std::vector<std::string> calls = Compose(f);
    int box = EventIndex("MessageBox 6");
    EXPECT_EQ("AttachFile $FILE/5 C:\\a as a encoding=0xf00", calls.at(box - 1));
    EXPECT_EQ(std::vector<UINT>{MSG_ATTACH_FAILED}, Boxes());
}

TEST(Memo, NoteNotCreatedStopsEverything)
{
    InstallProduct();
    FailNotes("CreateNote");
    NotesHandle note = 1;
    std::vector<std::string> calls = Compose(PlainJob(), &note);
    EXPECT_EQ(0u, note);
    EXPECT_EQ((std::vector<std::string>{"CreateNote db=0x42", "MessageBox 3"}), calls);
}
