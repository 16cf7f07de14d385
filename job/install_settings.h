// Where the installation put the Notes client program and the product database.
#pragma once

#include <windows.h>

struct InstallSettings {
    char clientPath[MAX_PATH];      // "LN_Appli": the Notes client executable
    char databasePath[MAX_PATH];    // "LN_Base": the product's Notes database
};

// Process-wide; reloaded at the start of every send command.
extern InstallSettings g_settings;

// Reads both paths from the registry, checks that they name something, and puts them
// in short form.  On false, MSG_NOT_INSTALLED has been shown.
bool LoadInstallSettings(void);
