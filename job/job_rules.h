// Whether a job file is readable, judged from the bytes read: the one statement of
// the rules, applied by the program's reader (job/job_file.cpp) and so by
// velmora-doctor, and by velmora-job's examination and the fuzz targets.  Free of
// Windows, like job_layout.h.  The reader reads the header, asks JudgeHeader, asks
// JudgeListSize how much list to read, reads it and asks JudgeList; a job passes when
// all three pass.  On success `why` is left as it was.
#pragma once

#include <stdint.h>

#include "job/job_layout.h"
#include "job/refusal.h"

// The header, of which `got` bytes came from the file: it must be whole, and each of
// its texts must end in its slot (the first that does not is named, "subject", "body",
// "attachment", "document name" or "send-to").
bool JudgeHeader(const JobHeader *header, uint32_t got, Refusal *why);

// The size of the list of `count` slots, 0 for none; refused when it does not fit
// 32 bits.
bool JudgeListSize(uint32_t count, uint32_t *size, Refusal *why);

// The list of `count` slots (a count JudgeListSize passed), of which `got` bytes came from the file: it must be whole
// (its slots are not looked at otherwise), and each path must end in its slot (the
// first that does not is told by its index from 0).
bool JudgeList(const ExtraAttachment *list, uint32_t count, uint32_t got, Refusal *why);
