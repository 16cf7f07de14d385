// The tools' one way to say a line of their own: to a stream, after the tool's name,
// and copied into a report where there is one.  A line is cut past 4 KiB.
#pragma once

#include <stdio.h>

struct Voice {
    FILE *to;           // the line, ended by "\n"
    const char *name;   // "name: " before the line, or NULL for none
    FILE *copy;         // the same line ended by "\r\n" (a report), or NULL
};

void Say(const Voice *voice, const char *format, ...) __attribute__((format(printf, 2, 3)));
