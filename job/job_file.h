// The job file: one mail to send, written by another program, read once and deleted
// when closed.  A fixed 3340-byte header, then `extraCount` path slots of 256 bytes.
#pragma once

#include <windows.h>

#include "job/job_layout.h"

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
