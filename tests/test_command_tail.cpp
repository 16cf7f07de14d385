// The command tail: program name and the blanks after it removed, nothing else.
#include "app/command_tail.h"
#include "tests/helpers.h"
#include "tests/rule_tables.h"

TEST(CommandTail, FollowsTheClassicRules)
{
    for (const CommandTailRow &row : CommandTailRows)
        EXPECT_STREQ(row.tail, CommandTail(row.line)) << "command line: " << row.line;
    EXPECT_STREQ("", CommandTail(""));
    EXPECT_STREQ("", CommandTail(nullptr));
}

TEST(CommandTail, LeadByteCarriesTheNextByteButNotTheEndOfLine)
{
    ResetWorld();
    TheWorld().leadBytes = "\x81";
    for (const CommandTailRow &row : LeadByteTailRows)
        EXPECT_STREQ(row.tail, CommandTail(row.line)) << "command line: " << row.line;
    TheWorld().leadBytes = "";
    EXPECT_STREQ("b\" job", CommandTail(LeadByteTailRows[0].line));
}
