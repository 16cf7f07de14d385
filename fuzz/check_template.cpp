// ExpandTemplate against the reference model, for any template, document name and user
// name.  Input: one byte of flags, then template, document name and user name, each
// ended by a NUL.
#include "fuzz/check.h"
#include "fuzz/model.h"
#include "job/template.h"

#include <sanitizer/allocator_interface.h>

enum {
    TO_OEM = 1,
    USER_NAME_FAILS = 2,
    NO_DOCUMENT_NAME = 4,       // documentName passed as null: taken as empty
};

std::string CheckTemplate(const uint8_t *data, size_t size)
{
    FuzzInput in = {data, size};
    unsigned flags = in.Byte();
    std::string templateText = in.Text();
    std::string documentName = in.Text();
    std::string userName = in.Text();

    ResetWorld();
    World &w = TheWorld();
    w.userName = userName;
    w.userNameFails = (flags & USER_NAME_FAILS) != 0;
    bool toOem = (flags & TO_OEM) != 0;
    bool noDocumentName = (flags & NO_DOCUMENT_NAME) != 0;

    // What the platform gives for the user name into a 256-byte buffer.
    std::string expectedUser = w.userNameFails || userName.size() >= 256 ? "" : userName;
    bool usedUser = false;
    std::string expected = ModelExpand(templateText, noDocumentName ? "" : documentName,
                                       expectedUser, &usedUser);
    if (toOem)
        expected = Oem(expected);
    w.events.clear();

    char *out = ExpandTemplate(templateText.c_str(),
                               noDocumentName ? nullptr : documentName.c_str(), toOem);
    Verdict v;
    if (templateText.empty()) {
        v.Expect(out == nullptr, "an empty template expanded to something");
    } else if (v.Expect(out != nullptr, "no expansion for a template")) {
        std::string got = out;
        if (got != expected)
            v.Fail("template " + Printable(templateText) + "\n  document " +
                   Printable(documentName) + "\n  user " + Printable(expectedUser) +
                   "\n  expected " + Printable(expected) + "\n  got      " + Printable(got));
        // Exactly sized: the text and its NUL.  Both builds run under the address
        // sanitizer, whose allocator knows each block's requested size.
        size_t allocated = __sanitizer_get_allocated_size(out);
        if (allocated != expected.size() + 1)
            v.Fail("output of " + std::to_string(expected.size()) + " characters in a block of " +
                   std::to_string(allocated));
        // Measuring and writing must see the same user name: asked once at most.
        size_t asked = EventsStartingWith("GetUserNameA").size();
        v.Expect(asked <= 1, "user name asked for more than once");
        v.Expect(!usedUser || asked == 1, "user placeholder replaced without asking the name");
        HeapFree(GetProcessHeap(), 0, out);
    }
    v.Expect(w.liveHeapBlocks == 0, "heap blocks left");
    return v.failure;
}
