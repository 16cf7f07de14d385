// ShowMessage: the program's one way of reporting anything.  Caption and text come
// from the French string table; the box has no owner and blocks until dismissed.
#include "resources/messages.h"

HINSTANCE g_instance;

int ShowMessage(MessageId id, UINT style)
{
    char caption[256];
    char text[512];

    caption[0] = text[0] = '\0';
    LoadStringA(g_instance, MSG_CAPTION, caption, sizeof caption);
    LoadStringA(g_instance, id, text, sizeof text);
    return MessageBoxA(NULL, text, caption, style);
}
