// The job file: one mail to send, written by another program, read once and deleted
// when closed.  Its layout is in job/job_layout.h.
#pragma once

#include <windows.h>

#include "job/job_layout.h"
#include "job/refusal.h"

struct LoadedJob {
    JobHeader header;
    ExtraAttachment *extraList;     // the ExtraAttachmentList: extraCount slots
                                    // from GlobalAlloc, or none
};

// Opens the job file named by the command tail (quotes removed) for reading alone,
// deleted when closed, and zeroes the job.  A file held by another process is tried
// again, 10 times 100 ms apart.  On false *file is INVALID_HANDLE_VALUE and
// `why` says why: the path does not fit, or the open failed.  Nothing is shown.
bool OpenJobFile(const char *tail, LoadedJob *job, HANDLE *file, Refusal *why);

// The same opening, deleting on close or not.  Without, as velmora-doctor opens a job
// it must keep, it asks for the same rights (reading, and the right to delete that
// deleting on close implies), with the same sharing and tries, and refuses a read-only
// file as Windows refuses it to the deleting open (ERROR_ACCESS_DENIED): both opens
// give the same verdict.
bool OpenJob(const char *tail, bool deleteOnClose, LoadedJob *job, HANDLE *file,
             Refusal *why);

// Reads the header and the list.  On false `why` says which rule refused the job; a
// list already obtained stays in job->extraList for the caller to free.
bool ReadJob(HANDLE file, LoadedJob *job, Refusal *why);
