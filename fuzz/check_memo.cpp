// ComposeMemo over the fake Notes layer, for any header texts and attachments.  The
// whole sequence of Notes calls and boxes is compared with the one the rules give:
// items in their order, the body as the expanded template split into lines and pieces
// of at most 65535 bytes, attachments under their names, failures shown in place.
//
// Input: a byte choosing a Notes failure, a byte for which attachment fails, a byte of
// user name flags, then the job header and up to 8 list slots (short parts are
// zero-filled; every text is given a NUL at the end of its slot, as ReadJob guarantees
// for a job it reads).
#include "fuzz/check.h"
#include "fuzz/model.h"
#include "job/memo.h"
#include "resources/resource.h"

namespace {

const NotesHandle Database = 0x42;
const size_t MaxExtras = 8;

enum Failure { NONE, CREATE_NOTE, CREATE_BODY, ADD_BODY, ATTACH_EVERY, ATTACH_ONE, FAILURES };

// Up to three calls from the `at`th on.
std::vector<std::string> Around(const std::vector<std::string> &calls, size_t at)
{
    std::vector<std::string> some;
    for (size_t i = at; i < calls.size() && i < at + 3; ++i)
        some.push_back(calls[i]);
    return some;
}

std::string Box(UINT id)
{
    return "MessageBox " + std::to_string(id);
}

} // namespace

std::string CheckMemo(const uint8_t *data, size_t size)
{
    FuzzInput in = {data, size};
    Failure failure = (Failure)(in.Byte() % FAILURES);
    unsigned failingAttachment = in.Byte() % 4 + 1;
    unsigned userFlags = in.Byte();

    static LoadedJob job;
    memset(&job, 0, sizeof job);
    std::string header = in.Take(sizeof job.header);
    memcpy(&job.header, header.data(), header.size());
    JobHeader &h = job.header;
    h.subject[sizeof h.subject - 1] = h.body[sizeof h.body - 1] = '\0';
    h.attachment[sizeof h.attachment - 1] = h.documentName[sizeof h.documentName - 1] = '\0';
    h.sendTo[sizeof h.sendTo - 1] = '\0';
    std::vector<ExtraAttachment> extras;
    while (in.size > 0 && extras.size() < MaxExtras) {
        ExtraAttachment slot;
        memset(&slot, 0, sizeof slot);
        std::string bytes = in.Take(sizeof slot.path);
        memcpy(slot.path, bytes.data(), bytes.size());
        slot.path[sizeof slot.path - 1] = '\0';
        extras.push_back(slot);
    }
    h.extraCount = (DWORD)extras.size();
    job.extraList = extras.empty() ? nullptr : extras.data();

    ResetWorld();
    World &w = TheWorld();
    w.userNameFails = (userFlags & 1) != 0;
    if (userFlags & 2)
        w.userName = std::string(255, 'u');     // the longest a 256-byte buffer takes
    static const char *const failing[FAILURES] = {nullptr, "CreateNote", "CreateBodyBuffer",
                                                  "AddBodyToNote", "AttachFile", "AttachFile"};
    if (failing[failure] != nullptr)
        FailNotes(failing[failure], failure == ATTACH_ONE ? (int)failingAttachment : 0);
    std::string user = w.userNameFails ? "" : w.userName;

    // The calls the rules give, user name queries aside.
    std::vector<std::string> expected = {"CreateNote db=0x42"};  // Database
    std::vector<ModelPiece> pieces;
    std::string body;
    if (failure == CREATE_NOTE) {
        expected.push_back(Box(MSG_CREATE_MEMO_FAILED));
    } else {
        bool used;
        std::string document = h.documentName;
        expected.push_back("SetTextItem Form=Document length=65535");
        if (h.sendTo[0] != '\0')
            expected.push_back("SetTextItem SendTo=" +
                               Oem(ModelExpand(h.sendTo, document, user, &used)) +
                               " length=65535");
        if (h.subject[0] != '\0')
            expected.push_back("SetTextItem Subject=" +
                               Oem(ModelExpand(h.subject, document, user, &used)) +
                               " length=65535");
        if (h.sendTo[0] != '\0' && h.directSend != 0)
            expected.push_back("SetTextItem Velmora_DirectSend=1 length=65535");
        if (h.body[0] != '\0') {
            body = ModelExpand(h.body, document, user, &used);
            expected.push_back("CreateBodyBuffer length=0");
            if (failure == CREATE_BODY) {
                expected.push_back(Box(MSG_CREATE_BODY_FAILED));
            } else {
                pieces = ModelBodyPieces(body);
                DWORD length = 0;
                for (const ModelPiece &p : pieces) {
                    expected.push_back("AppendBodyLine " + std::to_string(p.text.size()));
                    length += (DWORD)p.text.size() + 2;
                }
                expected.push_back("AddBodyToNote length=" + std::to_string(length));
                if (failure == ADD_BODY)
                    expected.push_back(Box(MSG_ADD_BODY_FAILED));
            }
        }
        std::vector<std::string> paths = {h.attachment};
        for (const ExtraAttachment &e : extras)
            paths.push_back(e.path);
        for (size_t i = 0; i < paths.size(); ++i) {
            expected.push_back("AttachFile $FILE/5 " + paths[i] + " as " +
                               ModelRecordedName(paths[i]) +
                               " encoding=0xf00");
            if (failure == ATTACH_EVERY || (failure == ATTACH_ONE && i + 1 == failingAttachment))
                expected.push_back(Box(MSG_ATTACH_FAILED));
        }
        expected.push_back("SaveNote flags=0");
    }

    NotesHandle note = ComposeMemo(Database, &job);

    Verdict v;
    std::vector<std::string> calls;
    for (const std::string &e : w.events) {
        if (e.compare(0, 12, "GetUserNameA") != 0)
            calls.push_back(e);
    }
    if (calls != expected) {
        size_t i = 0;
        while (i < calls.size() && i < expected.size() && calls[i] == expected[i])
            ++i;
        v.Fail("call " + std::to_string(i) + " differs\n  expected" + Joined(Around(expected, i)) +
               "\n  got" + Joined(Around(calls, i)));
    }
    v.Expect((note == 0) == (failure == CREATE_NOTE), "note handle wrong for the failure");

    if (failure != CREATE_NOTE && failure != CREATE_BODY && h.body[0] != '\0') {
        const std::vector<std::string> &lines = w.notes.bodyLines;
        bool same = lines.size() == pieces.size();
        for (size_t i = 0; same && i < lines.size(); ++i)
            same = lines[i] == (pieces[i].null ? "NULL" : pieces[i].text);
        if (!same)
            v.Fail("body lines differ for body " + Printable(body) + "\n  got" + Joined(lines));
    }
    v.Expect(w.liveHeapBlocks == 0, "heap blocks left");
    return v.failure;
}
