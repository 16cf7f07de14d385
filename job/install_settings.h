// Where the installation put the Notes client program and the product database.
#pragma once

#include <windows.h>

#include "job/refusal.h"

struct InstallSettings {
    char clientPath[MAX_PATH];      // "LN_Appli": the Notes client executable
    char databasePath[MAX_PATH];    // "LN_Base": the product's Notes database
};

// HKEY_LOCAL_MACHINE\SettingsKey holds the two values.
extern const char SettingsKey[];
extern const char ClientValue[];
extern const char DatabaseValue[];

// Reads one path value of an open key into a MAX_PATH buffer.  Whatever the value's
// type, its bytes are the text.  On false the buffer is empty and `why` says what was
// wrong with the value: missing, too long for the buffer, or without a NUL.
bool ReadPathValue(HKEY key, const char *name, char path[MAX_PATH], Refusal *why);

// Reads both paths, checks that they name something, and puts them in short form.
// On false `why` tells the first rule that refused; nothing has been shown.
bool LoadInstallSettings(InstallSettings *settings, Refusal *why);
