// The tools' one command-line parser: a table of the options a tool takes, read in
// order, one argument at a time.  The caller owns what each option means; the reader
// says which option came, with its value, or what is wrong with an argument.
#pragma once

#include <stdint.h>

enum ArgTakes { ARG_FLAG, ARG_VALUE };  // "--name"; "--name VALUE" (or "--name=VALUE")

struct ArgOption {
    const char *name;   // matched exactly: "--json", "/devices"
    int id;             // the caller's own value for it, given back in Arg::id
    ArgTakes takes;
    bool once;          // a second one is ARG_TWICE
};

enum ArgEvent {
    ARG_END,        // no argument left
    ARG_OPTION,     // an option of the table, with its value if it takes one
    ARG_OPERAND,    // "-", or an argument not starting with '-' that is no option
    ARG_UNKNOWN,    // starts with '-' but is no option of the table
    ARG_NO_VALUE,   // an option that takes a value, last on the line
    ARG_TWICE,      // an option given once already, with its value
};

struct Arg {
    ArgEvent event;
    int id;             // the option's id, for an option, ARG_NO_VALUE and ARG_TWICE
    const char *text;   // the argument as written ("--count=7"); NULL at ARG_END
    const char *value;  // the value of an option that takes one, or NULL
};

struct ArgReader {
    const ArgOption *options;
    int optionCount;            // at most 32
    int argc;
    const char *const *argv;
    int next;                   // the argument read next; the caller may move it back
    bool joined;                // "--name=VALUE" is read as the option and its value
    uint32_t seen;              // one bit per option of the table
};

// A reader of argv[first..argc) against `options`.
ArgReader ArgsOf(const ArgOption *options, int optionCount, int argc, const char *const *argv,
                 int first, bool joined);
Arg NextArg(ArgReader *r);

// A decimal number of digits alone, not empty, at most `limit`.
bool ArgNumber(const char *text, uint64_t limit, uint64_t *value);
