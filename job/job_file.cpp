// Opening and reading the job file.  The file comes from another program: every
// text must end inside its slot and the list size must be computable, or the job is
// refused as unreadable rather than read past its end.
#include "job/job_file.h"

#include "app/messages.h"

#include <string.h>

// The job path is the tail, less an opening double quote and, after one, a closing
// double quote that is the tail's very last character.  False when it does not fit.
static bool JobPathFromTail(const char *tail, char path[MAX_PATH])
{
    int length = lstrlenA(tail);
    if (tail[0] == '"') {
        ++tail;
        --length;
        if (length > 0 && tail[length - 1] == '"')
            --length;
    }
    if (length >= MAX_PATH)
        return false;
    lstrcpynA(path, tail, length + 1);
    return true;
}

static bool EndsInSlot(const char *text, size_t slot)
{
    return memchr(text, '\0', slot) != NULL;
}

static bool HeaderTextsEndInSlots(const JobHeader *h)
{
    return EndsInSlot(h->subject, sizeof h->subject) && EndsInSlot(h->body, sizeof h->body) &&
           EndsInSlot(h->attachment, sizeof h->attachment) &&
           EndsInSlot(h->documentName, sizeof h->documentName) &&
           EndsInSlot(h->sendTo, sizeof h->sendTo);
}

bool OpenJobFile(const char *tail, LoadedJob *job, HANDLE *file)
{
    char path[MAX_PATH];
    bool fits = JobPathFromTail(tail, path);

    memset(&job->header, 0, sizeof job->header);
    job->extraList = NULL;
    *file = INVALID_HANDLE_VALUE;
    if (fits)
        *file = CreateFileA(path, GENERIC_READ, 0, NULL, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, NULL);
    if (*file == INVALID_HANDLE_VALUE) {
        ShowMessage(MSG_OPEN_JOB_FAILED, MB_OK);
        return false;
    }
    return true;
}

// Reads exactly `size` bytes with one call.
static bool ReadWhole(HANDLE file, void *buffer, DWORD size)
{
    DWORD got = 0;
    return ReadFile(file, buffer, size, &got, NULL) && got == size;
}

static bool Unreadable(void)
{
    ShowMessage(MSG_READ_JOB_FAILED, MB_OK);
    return false;
}

bool ReadJob(HANDLE file, LoadedJob *job)
{
    job->extraList = NULL;
    if (!ReadWhole(file, &job->header, sizeof job->header) || !HeaderTextsEndInSlots(&job->header))
        return Unreadable();

    DWORD count = job->header.extraCount;
    if (count == 0)
        return true;
    if (count > MAXDWORD / sizeof(ExtraAttachment))
        return Unreadable();

    DWORD size = count * (DWORD)sizeof(ExtraAttachment);
    job->extraList = (ExtraAttachment *)GlobalAlloc(GMEM_ZEROINIT, size);
    if (job->extraList == NULL || !ReadWhole(file, job->extraList, size))
        return Unreadable();
    for (DWORD i = 0; i < count; ++i) {
        if (!EndsInSlot(job->extraList[i].path, sizeof job->extraList[i].path))
            return Unreadable();
    }
    return true;
}
