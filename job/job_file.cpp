// Opening and reading the job file.  The file comes from another program: what was
// read is judged by the job's rules (job/job_rules.h) before anything more is read or
// allocated.
#include "job/job_file.h"

#include "job/job_rules.h"

#include <string.h>

enum { OPEN_RETRIES = 10, OPEN_RETRY_INTERVAL_MS = 100 };

// The job path is the tail, less an opening double quote and, after one, a closing
// double quote that is the tail's very last character.  False when it does not fit.
static bool JobPathFromTail(const char *tail, char path[MAX_PATH], Refusal *why)
{
    int length = lstrlenA(tail);
    if (tail[0] == '"') {
        ++tail;
        --length;
        if (length > 0 && tail[length - 1] == '"')
            --length;
    }
    if (length >= MAX_PATH)
        return Refuse(why, REFUSED_PATH_TOO_LONG, NULL, (unsigned long)length);
    lstrcpynA(path, tail, length + 1);
    return true;
}

bool OpenJobFile(const char *tail, LoadedJob *job, HANDLE *file, Refusal *why)
{
    return OpenJob(tail, true, job, file, why);
}

bool OpenJob(const char *tail, bool deleteOnClose, LoadedJob *job, HANDLE *file,
             Refusal *why)
{
    char path[MAX_PATH];
    bool fits = JobPathFromTail(tail, path, why);

    memset(&job->header, 0, sizeof job->header);
    job->extraList = NULL;
    *file = INVALID_HANDLE_VALUE;
    if (!fits)
        return false;
    DWORD access = deleteOnClose ? GENERIC_READ : GENERIC_READ | DELETE;
    DWORD flags = FILE_ATTRIBUTE_NORMAL | (deleteOnClose ? FILE_FLAG_DELETE_ON_CLOSE : 0);
    // A scanner or indexer may hold a freshly written job for a moment: a sharing
    // violation is worth a few more tries, any other failure is final.
    for (int retries = 0;; ++retries) {
        *file = CreateFileA(path, access, 0, NULL, OPEN_EXISTING, flags, NULL);
        if (*file != INVALID_HANDLE_VALUE)
            break;
        DWORD error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION || retries == OPEN_RETRIES)
            return Refuse(why, REFUSED_JOB_UNOPENABLE, NULL, error);
        Sleep(OPEN_RETRY_INTERVAL_MS);
    }
    // Windows will not open a read-only file for deletion (ERROR_ACCESS_DENIED); an open
    // that does not delete would not tell.
    DWORD attributes = deleteOnClose ? 0 : GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        CloseHandle(*file);
        *file = INVALID_HANDLE_VALUE;
        return Refuse(why, REFUSED_JOB_UNOPENABLE, NULL, ERROR_ACCESS_DENIED);
    }
    return true;
}

// Reads at most `size` bytes with one call; returns how many came, none when the read
// failed.
static uint32_t Read(HANDLE file, void *buffer, uint32_t size)
{
    DWORD got = 0;
    return ReadFile(file, buffer, size, &got, NULL) ? (uint32_t)got : 0;
}

bool ReadJob(HANDLE file, LoadedJob *job, Refusal *why)
{
    job->extraList = NULL;
    uint32_t size;
    if (!JudgeHeader(&job->header, Read(file, &job->header, sizeof job->header), why) ||
        !JudgeListSize(job->header.extraCount, &size, why))
        return false;
    if (size == 0)
        return true;
    job->extraList = (ExtraAttachment *)GlobalAlloc(GMEM_ZEROINIT, size);
    if (job->extraList == NULL)
        return Refuse(why, REFUSED_LIST_UNAVAILABLE, NULL, job->header.extraCount);
    return JudgeList(job->extraList, job->header.extraCount, Read(file, job->extraList, size),
                     why);
}
