// The job file: one mail to send, written by another program, read once and deleted
// when closed.  A fixed 3340-byte header, then `extraCount` path slots of 256 bytes.
#pragma once

#include <windows.h>
#include <stddef.h>

enum {
    JOB_TEXT_SLOT = 256,
    JOB_BODY_SLOT = 2048,
};

// The header as it lies in the file, little-endian.  Each text ends with a NUL
// inside its slot, or the job is refused.
struct JobHeader {
    WORD directSend;                        // non-zero: send without showing the memo
    char unused[258];
    char subject[JOB_TEXT_SLOT];            // template
    char body[JOB_BODY_SLOT];               // template, lines end with CR or CR LF
    char attachment[JOB_TEXT_SLOT];         // full path of the main file
    char documentName[JOB_TEXT_SLOT];       // value of [DOC]
    char sendTo[JOB_TEXT_SLOT];             // template
    DWORD extraCount;
    DWORD listReference;                    // meaningless in the file, never used
};

static_assert(offsetof(JobHeader, directSend) == 0, "job header layout");
static_assert(offsetof(JobHeader, subject) == 260, "job header layout");
static_assert(offsetof(JobHeader, body) == 516, "job header layout");
static_assert(offsetof(JobHeader, attachment) == 2564, "job header layout");
static_assert(offsetof(JobHeader, documentName) == 2820, "job header layout");
static_assert(offsetof(JobHeader, sendTo) == 3076, "job header layout");
static_assert(offsetof(JobHeader, extraCount) == 3332, "job header layout");
static_assert(offsetof(JobHeader, listReference) == 3336, "job header layout");
static_assert(sizeof(JobHeader) == 3340, "job header layout");

// One slot of the ExtraAttachmentList, which follows the header in the file.
struct ExtraAttachment {
    char path[JOB_TEXT_SLOT];
};

struct LoadedJob {
    JobHeader header;
    ExtraAttachment *extraList;     // the ExtraAttachmentList: extraCount slots
                                    // from GlobalAlloc, or none
};

// Opens the job file named by the command tail (quotes removed) for reading alone,
// deleted when closed, and zeroes the job.  On false MSG_OPEN_JOB_FAILED has been
// shown and *file is INVALID_HANDLE_VALUE.
bool OpenJobFile(const char *tail, LoadedJob *job, HANDLE *file);

// Reads the header and the list.  On false MSG_READ_JOB_FAILED has been shown; a list
// already obtained stays in job->extraList for the caller to free.
bool ReadJob(HANDLE file, LoadedJob *job);
