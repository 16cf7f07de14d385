// The job file's layout, the one statement of it: the program's reader, the
// integrator's tool (velmora-job) and the tests all take it from here.  Plain C++
// with fixed-width integers, no Windows header, so every build can include it.
//
// A job file is a fixed 3340-byte header, little-endian, then `extraCount` slots of
// 256 bytes, each the full path of one more file to attach.  Every text ends with a
// NUL inside its own slot.  Bytes after the list are not read.
#pragma once

#include <stddef.h>
#include <stdint.h>

enum {
    JOB_TEXT_SLOT = 256,        // subject, attachment, document name, send-to
    JOB_BODY_SLOT = 2048,       // body template
    JOB_UNREAD_SIZE = 258,      // bytes 2 to 259, never read by the program
    JOB_EXTRA_SLOT = 256,       // one path of the list after the header
    JOB_HEADER_SIZE = 3340,
};

// The first extra count whose list size, count x 256, does not fit 32 bits.
static const uint32_t JOB_FIRST_OVERFLOWING_COUNT = 0x01000000u;

// The header as it lies in the file.
struct JobHeader {
    uint16_t directSend;                    // non-zero: send without showing the memo
    char unused[JOB_UNREAD_SIZE];
    char subject[JOB_TEXT_SLOT];            // template
    char body[JOB_BODY_SLOT];               // template, lines end with CR or CR LF
    char attachment[JOB_TEXT_SLOT];         // full path of the main file
    char documentName[JOB_TEXT_SLOT];       // value of [DOC]
    char sendTo[JOB_TEXT_SLOT];             // template
    uint32_t extraCount;
    uint32_t listReference;                 // meaningless in the file, never used
};

static_assert(offsetof(JobHeader, directSend) == 0, "job header layout");
static_assert(offsetof(JobHeader, unused) == 2, "job header layout");
static_assert(offsetof(JobHeader, subject) == 260, "job header layout");
static_assert(offsetof(JobHeader, body) == 516, "job header layout");
static_assert(offsetof(JobHeader, attachment) == 2564, "job header layout");
static_assert(offsetof(JobHeader, documentName) == 2820, "job header layout");
static_assert(offsetof(JobHeader, sendTo) == 3076, "job header layout");
static_assert(offsetof(JobHeader, extraCount) == 3332, "job header layout");
static_assert(offsetof(JobHeader, listReference) == 3336, "job header layout");
static_assert(sizeof(JobHeader) == JOB_HEADER_SIZE, "job header layout");

// One slot of the list that follows the header.
struct ExtraAttachment {
    char path[JOB_EXTRA_SLOT];
};

static_assert(sizeof(ExtraAttachment) == JOB_EXTRA_SLOT, "job list layout");
static_assert(JOB_FIRST_OVERFLOWING_COUNT == 0xFFFFFFFFu / JOB_EXTRA_SLOT + 1, "job list size");
