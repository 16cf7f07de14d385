// The command tail, computed from the whole command line by the classic rules, so
// that a job path reaches the send command exactly as the caller wrote it.
//
// A quoted program name ends at the next double quote (removed with it) or at the
// end of the line; inside it a lead byte of the multibyte code page carries the next
// byte along unexamined.  An unquoted name ends at the first byte of value 32 or
// less.  Then bytes 1 to 32 are skipped.  Trailing blanks stay.  Bytes are compared
// unsigned: a name such as C:\dép\prog.exe must not end at its 'é'.
#include "app/command_tail.h"

#include <windows.h>

const char *CommandTail(const char *line)
{
    if (line == NULL)
        return "";

    const unsigned char *p = (const unsigned char *)line;
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"') {
            if (IsDBCSLeadByte(*p) && p[1] != '\0')
                ++p;
            ++p;
        }
        if (*p == '"')
            ++p;
    } else {
        while (*p > ' ')
            ++p;
    }
    while (*p != '\0' && *p <= ' ')
        ++p;
    return (const char *)p;
}
