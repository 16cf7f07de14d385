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

// Reads one path value of an open key into a MAX_PATH buffer.  The bytes of the value
// are the text, whatever its type; a REG_EXPAND_SZ is then expanded.  On false the
// buffer is empty and `why` says what was wrong with the value: missing, too long for
// the buffer, without a NUL, or expanding past the buffer; on true `why` is
// REFUSED_NOT for that value.
bool ReadPathValue(HKEY key, const char *name, char path[MAX_PATH], Refusal *why);

// Judges a path given before it is written, by the installer's check: `text` as the
// REG_SZ value `name` would hold it, by the rules a value read must pass (fits the
// MAX_PATH buffer with its NUL, not empty, names an existing file or folder).  On
// false `why` says which refused; on true it is REFUSED_NOT for that value.
bool AcceptPathText(const char *name, const char *text, Refusal *why);

// Reads both paths, checks that they name something, and puts them in short form.
// Each value is read from the key's 32-bit view, the one this 32-bit program sees; a
// value missing there is read from the 64-bit view, where 64-bit tools write it.
// On false `why` tells the first rule that refused; nothing has been shown.
bool LoadInstallSettings(InstallSettings *settings, Refusal *why);
