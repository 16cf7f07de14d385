// The message catalogue: every report the user sees is one modal box, the caption
// string over the text string of a MessageId.
#pragma once

#include <windows.h>
#include "resources/resource.h"

typedef UINT MessageId;

// The module the strings are loaded from; WinMain stores it before anything else.
extern HINSTANCE g_instance;

int ShowMessage(MessageId id, UINT style);
