// Opening and reading the job file.  The file comes from another program: every
// text must end inside its slot and the list size must be computable, or the job is
// refused as unreadable rather than read past its end.
#include "job/job_file.h"

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

static bool EndsInSlot(const char *text, size_t slot)
{
    return memchr(text, '\0', slot) != NULL;
}

// The first header text that does not end in its slot, or none.
static const char *UnterminatedText(const JobHeader *h)
{
    if (!EndsInSlot(h->subject, sizeof h->subject))
        return "subject";
    if (!EndsInSlot(h->body, sizeof h->body))
        return "body";
    if (!EndsInSlot(h->attachment, sizeof h->attachment))
        return "attachment";
    if (!EndsInSlot(h->documentName, sizeof h->documentName))
        return "document name";
    if (!EndsInSlot(h->sendTo, sizeof h->sendTo))
        return "send-to";
    return NULL;
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

// Reads `size` bytes with one call; `got` is how many came.
static bool ReadWhole(HANDLE file, void *buffer, DWORD size, DWORD *got)
{
    *got = 0;
    return ReadFile(file, buffer, size, got, NULL) && *got == size;
}

bool ReadJob(HANDLE file, LoadedJob *job, Refusal *why)
{
    DWORD got;
    job->extraList = NULL;
    if (!ReadWhole(file, &job->header, sizeof job->header, &got))
        return Refuse(why, REFUSED_HEADER_SHORT, NULL, got);
    const char *text = UnterminatedText(&job->header);
    if (text != NULL)
        return Refuse(why, REFUSED_TEXT_UNTERMINATED, text, 0);

    DWORD count = job->header.extraCount;
    if (count == 0)
        return true;
    if (count >= JOB_FIRST_OVERFLOWING_COUNT)
        return Refuse(why, REFUSED_LIST_TOO_LARGE, NULL, count);

    DWORD size = count * (DWORD)sizeof(ExtraAttachment);
    job->extraList = (ExtraAttachment *)GlobalAlloc(GMEM_ZEROINIT, size);
    if (job->extraList == NULL)
        return Refuse(why, REFUSED_LIST_UNAVAILABLE, NULL, count);
    if (!ReadWhole(file, job->extraList, size, &got))
        return Refuse(why, REFUSED_LIST_SHORT, NULL, got);
    for (DWORD i = 0; i < count; ++i) {
        if (!EndsInSlot(job->extraList[i].path, sizeof job->extraList[i].path))
            return Refuse(why, REFUSED_EXTRA_UNTERMINATED, NULL, i);
    }
    return true;
}
