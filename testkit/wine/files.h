// Files, folders, registry values and processes for the end-to-end tests.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

// Paths of any length, ANSI bytes (Windows-1252).
bool ReadBytes(const std::string &path, std::string *bytes);
bool WriteBytes(const std::string &path, const std::string &bytes);
bool FileExists(const std::string &path);       // a file or a folder
bool MakeFolder(const std::string &path);       // and its missing parents
// Deletes a file or a folder with what it holds, true when nothing is left; a link met
// on the way (FILE_ATTRIBUTE_REPARSE_POINT) is removed itself, never followed.
bool DeleteTree(const std::string &path);
std::string ShortPath(const std::string &path); // the path itself when it has none
std::wstring Wide(const std::string &path);     // from the ANSI code page
std::string OwnFolder();                        // the folder of this program
std::string SystemPath(const char *name);       // NAME in the system folder (System32)
std::string Quoted(const std::string &path);    // in double quotes, for a command line
// The folder the cases work in: VELMORA_WORK_ROOT, which velmora-check.exe sets to the
// folder it made for the run, or else "velmora e2e work" in the temporary folder.
std::string WorkRoot();

// The lines of a text, without their CR LF or LF; no empty last line for a final
// line end.
std::vector<std::string> Lines(const std::string &text);

// The lines of a file; none when it cannot be read.
std::vector<std::string> FileLines(const std::string &path);

// HKLM\SOFTWARE\Zabrel\Velmora\Stellwick: sets a REG_SZ value, or with NULL deletes
// it; RemoveSettingsKey deletes the key, and each parent that has neither a subkey nor a
// value and did not exist when this process first touched the settings.  `view` is 0 for the
// view this 32-bit program sees by default, KEY_WOW64_64KEY for the 64-bit one (the
// same under a 32-bit system).
bool SetSettingsValue(const char *name, const char *value, REGSAM view = 0);
// Sets a value of any type to exactly these bytes (RegSetValueExA), with no NUL added.
bool SetSettingsBytes(const char *name, DWORD type, const std::string &bytes, REGSAM view = 0);
void RemoveSettingsKey(REGSAM view = 0);
// Which parents exist now (bit 0 ...\\Zabrel\\Velmora, bit 1 ...\\Zabrel); what to take as
// found when the process first touched the settings (a run put back after it ended).
unsigned SettingsParentsFound(REGSAM view);
void PresumeSettingsParents(REGSAM view, unsigned found);
bool HasSettingsValue(const char *name, REGSAM view = 0);

// A running process whose image lies under `folder` (its long or short form), opened
// with `access` and SYNCHRONIZE, or NULL when there is none.
HANDLE OpenProcessUnder(const std::string &folder, DWORD access);
// Ends every process whose image lies under `folder` and waits for it; returns how
// many there were.
int EndProcessesUnder(const std::string &folder);
