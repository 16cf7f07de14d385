// The job file's rules: every text must end inside its slot and the list size must be
// computable, or the job is refused as unreadable rather than read past its end.
#include "job/job_rules.h"

#include <string.h>

static bool EndsInSlot(const char *text, size_t slot)
{
    return memchr(text, '\0', slot) != NULL;
}

bool JudgeHeader(const JobHeader *header, uint32_t got, Refusal *why)
{
    const JobHeader *h = header;
    if (got != sizeof *h)
        return Refuse(why, REFUSED_HEADER_SHORT, NULL, got);
    const char *text = NULL;
    if (!EndsInSlot(h->subject, sizeof h->subject))
        text = "subject";
    else if (!EndsInSlot(h->body, sizeof h->body))
        text = "body";
    else if (!EndsInSlot(h->attachment, sizeof h->attachment))
        text = "attachment";
    else if (!EndsInSlot(h->documentName, sizeof h->documentName))
        text = "document name";
    else if (!EndsInSlot(h->sendTo, sizeof h->sendTo))
        text = "send-to";
    return text == NULL || Refuse(why, REFUSED_TEXT_UNTERMINATED, text, 0);
}

bool JudgeListSize(uint32_t count, uint32_t *size, Refusal *why)
{
    *size = 0;
    if (count >= JOB_FIRST_OVERFLOWING_COUNT)
        return Refuse(why, REFUSED_LIST_TOO_LARGE, NULL, count);
    *size = count * (uint32_t)sizeof(ExtraAttachment);
    return true;
}

bool JudgeList(const ExtraAttachment *list, uint32_t count, uint32_t got, Refusal *why)
{
    if (got != count * (uint32_t)sizeof(ExtraAttachment))
        return Refuse(why, REFUSED_LIST_SHORT, NULL, got);
    for (uint32_t i = 0; i < count; ++i) {
        if (!EndsInSlot(list[i].path, sizeof list[i].path))
            return Refuse(why, REFUSED_EXTRA_UNTERMINATED, NULL, i);
    }
    return true;
}
