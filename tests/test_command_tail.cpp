// The command tail: program name and the blanks after it removed, nothing else.
#include "app/command_tail.h"
#include "tests/helpers.h"

TEST(CommandTail, FollowsTheClassicRules)
{
    static const struct {
        const char *line;
        const char *tail;
    } cases[] = {
        {"prog.exe C:\\job.tmp", "C:\\job.tmp"},
        {"\"C:\\Program Files\\prog.exe\" C:\\job.tmp", "C:\\job.tmp"},
        {"\"prog.exe\"x  ", "x  "},                       // no blank needed after the quote
        {"\"C:\\prog.exe C:\\job.tmp", ""},               // never closed: the whole line
        {"prog.exe", ""},
        {"prog.exe    ", ""},
        {"prog.exe \t \t", ""},
        {"prog.exe\tC:\\My Jobs\\job.tmp  ", "C:\\My Jobs\\job.tmp  "},   // trailing blanks stay
        {"prog.exe \"C:\\My Jobs\\job.tmp\"", "\"C:\\My Jobs\\job.tmp\""},
        {"C:\\d\xe9p\\prog.exe C:\\job.tmp", "C:\\job.tmp"},  // bytes over 0x7F are unsigned
        {"prog.exe \x01\x1f job", "job"},                 // every byte 1 to 32 is skipped
        {"\"\" job", "job"},
        {"", ""},
    };
    for (const auto &c : cases)
        EXPECT_STREQ(c.tail, CommandTail(c.line)) << "command line: " << c.line;
    EXPECT_STREQ("", CommandTail(nullptr));
}

TEST(CommandTail, LeadByteCarriesTheNextByteButNotTheEndOfLine)
{
    ResetWorld();
    TheWorld().leadBytes = "\x81";
    // The quote after a lead byte belongs to the character, not to the name's end.
    EXPECT_STREQ("job", CommandTail("\"a\x81\"b\" job"));
    // A lead byte as the last byte of the line does not take the NUL with it.
    EXPECT_STREQ("", CommandTail("\"a\x81"));
    TheWorld().leadBytes = "";
    EXPECT_STREQ("b\" job", CommandTail("\"a\x81\"b\" job"));
}
