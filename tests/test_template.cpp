// Template expansion: placeholders, brackets that are not, the user name, sizes.  Long
// brackets, OEM conversion and the exact size of the output are the fuzz target's
// (fuzz/check_template.cpp), whose seeds are replayed with these tests.
#include "job/template.h"
#include "tests/helpers.h"

namespace {

std::string Expanded(const char *templateText, const char *documentName)
{
    char *text = ExpandTemplate(templateText, documentName, false);
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
        {"[USER] [nom] [NAME] [DoC]", "x", "dupont dupont dupont x"},
        {"Ref [DOC", "A12", "Ref [DOC"},                 // never closed
        {"[PAGE] [DOC ] [ DOC]", "A12", "[PAGE] [DOC ] [ DOC]"},
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

TEST(Template, UserNameFailureGivesAnEmptyName)
{
    ResetWorld();
    TheWorld().userNameFails = true;
    EXPECT_EQ("de  pour A12", Expanded("de [USER] pour [DOC]", "A12"));
    EXPECT_EQ(std::vector<std::string>{"GetUserNameA 256"}, EventsStartingWith("GetUserNameA"));
}

TEST(Template, OutputHoldsTheWholeExpansion)
{
    ResetWorld();
    TheWorld().userName = std::string(255, 'u');
    std::string users;
    for (int i = 0; i < 40; ++i)
        users += "[nom]";
    EXPECT_EQ(std::string(40 * 255, 'u'), Expanded(users.c_str(), ""));
    EXPECT_EQ(0, TheWorld().liveHeapBlocks);
}
