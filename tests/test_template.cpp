// Template expansion: placeholders, brackets that are not, OEM conversion, sizes.
#include "job/template.h"
#include "tests/helpers.h"

namespace {

std::string Expanded(const char *templateText, const char *documentName, bool toOem = false)
{
    char *text = ExpandTemplate(templateText, documentName, toOem);
    if (text == nullptr)
        return "<none>";
    std::string result = text;
    HeapFree(GetProcessHeap(), 0, text);
    return result;
}

} // namespace

TEST(Template, ReplacesPlaceholdersInAnyCase)
{
    ResetWorld();
    static const struct {
        const char *templateText, *documentName, *expected;
    } cases[] = {
        {"Devis [doc] pour [Name]", "A12", "Devis A12 pour dupont"},
        {"[USER] [nom] [NAME] [DoC]", "x", "dupont dupont dupont x"},
        {"Ref [DOC", "A12", "Ref [DOC"},                 // never closed
        {"[X[DOC]]", "A12", "[XA12]"},                   // nested in a non-placeholder
        {"[PAGE] [DOC ] [ DOC]", "A12", "[PAGE] [DOC ] [ DOC]"},
        {"[[DOC]]", "A12", "[A12]"},
        {"]]][DOC][", "A12", "]]]A12["},
        {"[DOC]", "[USER]", "[USER]"},                   // replacements are not scanned again
        {"[DOC]", "", ""},                               // empty, not none
        {"", "A12", "<none>"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.expected, Expanded(c.templateText, c.documentName))
            << "template: " << c.templateText;
    EXPECT_EQ("<none>", Expanded(nullptr, "A12"));
    EXPECT_EQ(0, TheWorld().liveHeapBlocks);
}

TEST(Template, SeesAClosingBracketAtMost254CharactersAway)
{
    ResetWorld();
    // "[" + 253 letters + "]" is a 255-character token: seen, and no placeholder.
    std::string seen = "[" + std::string(253, 'a') + "]";
    EXPECT_EQ(seen, Expanded(seen.c_str(), "A12"));
    // A [DOC] inside a long bracket pair is still found by the scan that goes on.
    std::string inner = "[" + std::string(300, 'b') + "[DOC]]";
    EXPECT_EQ("[" + std::string(300, 'b') + "A12]", Expanded(inner.c_str(), "A12"));
}

TEST(Template, UserNameFailureGivesAnEmptyName)
{
    ResetWorld();
    TheWorld().userNameFails = true;
    EXPECT_EQ("de  pour A12", Expanded("de [USER] pour [DOC]", "A12"));
    EXPECT_EQ(std::vector<std::string>{"GetUserNameA 256"}, EventsStartingWith("GetUserNameA"));
}

TEST(Template, OemConversionOnlyWhenAsked)
{
    ResetWorld();
    EXPECT_EQ("Re\x87u d\x82j\x85 \x80", Expanded("Re\xe7u d\xe9j\xe0 \xc7", "", true));
    EXPECT_EQ("D\xe9j\xe0 \xe9t\xe9", Expanded("D\xe9j\xe0 [DOC]", "\xe9t\xe9", false));
    // the document name is converted with the rest
    EXPECT_EQ("D\x82j\x85 \x82t\x82", Expanded("D\xe9j\xe0 [DOC]", "\xe9t\xe9", true));
}

TEST(Template, OutputHoldsTheWholeExpansion)
{
    ResetWorld();
    std::string fiftyOne;
    for (int i = 0; i < 51; ++i)
        fiftyOne += "[DOC]";
    std::string name(255, 'n');
    std::string out = Expanded(fiftyOne.c_str(), name.c_str());
    EXPECT_EQ(13005u, out.size());
    EXPECT_EQ(std::string(13005, 'n'), out);

    TheWorld().userName = std::string(255, 'u');
    std::string users;
    for (int i = 0; i < 40; ++i)
        users += "[nom]";
    EXPECT_EQ(std::string(40 * 255, 'u'), Expanded(users.c_str(), ""));
    EXPECT_EQ(0, TheWorld().liveHeapBlocks);
}
