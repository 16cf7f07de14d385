// The tools' one way to say a line of their own (say.h).
#include "tools/common/say.h"

#include <stdarg.h>

// The line, formatted into `line` (cut past its size) once for every stream.
// NOLINTNEXTLINE(cert-dcl50-cpp): printf's own variadic form, checked by its attribute
void Say(const Voice *voice, const char *format, ...)
{
    char line[4096];
    va_list args;
    va_start(args, format);
    (void)vsnprintf(line, sizeof line, format, args);
    va_end(args);
    FILE *const streams[2] = {voice->to, voice->copy};
    const char *const ends[2] = {"\n", "\r\n"};
    for (int k = 0; k < 2 && streams[k] != NULL; ++k) {
        if (voice->name != NULL)
            (void)fprintf(streams[k], "%s: ", voice->name);
        (void)fprintf(streams[k], "%s%s", line, ends[k]);
        (void)fflush(streams[k]);
    }
}
