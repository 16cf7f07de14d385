// The fake world the host build runs in: registry, files, windows, clock, message
// boxes and the Notes client library, all scripted by the test and all recorded.
//
// Every call of interest is appended to `events` as one line ("Sleep 200",
// "CloseHandle job", "SetTextItem Form=Document", ...) so a test can compare the
// sequence the program produced with the sequence it expects.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

struct FakeFile {
    std::string data;
    bool directory = false;
    int openHandles = 0;
    bool deleteOnClose = false;
    std::string shortPath;          // what GetShortPathNameA gives; empty: the path itself
    bool noShortForm = false;       // GetShortPathNameA fails
    DWORD heldUntil = 0;            // another process holds it open until this clock time
};

struct FakeWindow {
    std::string className;
    std::string title;
    int parent = -1;                // index of the parent, -1 for a top-level window
    DWORD disabledUntil = 0;        // clock time from which the window is enabled
    bool rejectedByIsWindow = false;
    long closeDelay = 0;            // ms between WM_CLOSE and the window going; -1 never
    long closedAt = -1;             // clock time the window goes, -1 not closing
};

struct FakeNotes {
    int failing = 0;                // which call of `failOperation` fails: 0 every call
    std::string failOperation;      // "" none, "*" every operation
    std::map<std::string, int> calls;   // calls so far, by operation
    std::map<std::string, std::string> variables;
    std::vector<std::string> bodyLines;
    DWORD bodyLength = 0;
    DWORD nextHandle = 0x100;
};

struct World {
    // registry: HKLM key and values, as raw bytes, in the 32-bit view a 32-bit program
    // reads, and in the 64-bit view (KEY_WOW64_64KEY), absent unless a test makes it
    bool keyExists = true;
    std::map<std::string, std::string> values;
    bool key64Exists = false;
    std::map<std::string, std::string> values64;
    std::map<std::string, DWORD> valueTypes;    // REG_SZ unless given, in both views
    std::map<std::string, std::string> environment;     // for %NAME% expansion
    bool expandAsksOneMore = false; // ExpandEnvironmentStringsA counts a byte past the
                                    // NUL, as some versions of Windows do
    // files, by exact path
    std::map<std::string, FakeFile> files;
    std::string modulePath = "C:\\Program Files\\Velmora\\velmora-notes.exe";
    SIZE_T globalAllocLimit = 64u << 20;
    int liveGlobalBlocks = 0;
    int liveHeapBlocks = 0;
    // windows, clock, user
    std::vector<FakeWindow> windows;
    DWORD now = 0;
    std::string userName = "dupont";
    bool userNameFails = false;
    std::string leadBytes;          // bytes the fake code page calls DBCS lead bytes
    // results
    DWORD lastError = 0;            // what GetLastError gives
    bool recordEvents = true;       // off for benchmarks: no cost per call
    std::vector<std::string> events;
    std::vector<UINT> boxes;        // message ids shown, in order
    std::vector<std::string> launched;
    FakeNotes notes;
};

World &TheWorld();
void ResetWorld();

// Scripting helpers.
void AddFile(const std::string &path, const std::string &data, const std::string &shortPath = "");
void AddDirectory(const std::string &path, const std::string &shortPath = "");
bool FileExists(const std::string &path);
int AddWindow(const std::string &className, const std::string &title, int parent = -1);
void FailNotes(const std::string &operation, int which = 0);

// The events that start with `prefix`, in order.
std::vector<std::string> EventsStartingWith(const std::string &prefix);
