// The tools' one way to say a line of their own (say.h).
#include "tools/common/say.h"

#include <stdarg.h>

static void SayTo(FILE *to, const char *name, const char *end, const char *format, va_list args)
{
    if (name != NULL)
        (void)fprintf(to, "%s: ", name);
    (void)vfprintf(to, format, args);
    (void)fputs(end, to);
    (void)fflush(to);
}

void Say(const Voice *voice, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    SayTo(voice->to, voice->name, "\n", format, args);
    va_end(args);
    if (voice->copy != NULL) {
        va_start(args, format);
        SayTo(voice->copy, voice->name, "\r\n", format, args);
        va_end(args);
    }
}
