// Command line of the stand-in Notes client.
//
//   notes-client.exe [options] [<database path>]
//     --window TITLE          a child window with that title (repeatable)
//     --grandchild TITLE      a window with that title inside a "Workspace" child
//     --disabled-ms N|never   keep the main window disabled that long, then enable it
//     --close-delay-ms N|never  how long a child takes to go after WM_CLOSE (0)
//     --lifetime-ms N|never   exit after that long
//
// Given a database path, as the program starts it ("<client> <database>"), it also
// opens a child titled "Velmora - <file name of the database>" and by default lives
// NOTES_CLIENT_LIFETIME_MS (1500 ms); without one it lives 60 s unless told.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

enum { NEVER = 0xFFFFFFFF };

struct ClientOptions {
    std::vector<std::string> windows;
    std::vector<std::string> grandchildren;
    std::string database;
    DWORD disabledMs;       // 0: never disabled
    DWORD closeDelayMs;     // NEVER: a closed child stays
    DWORD lifetimeMs;       // NEVER: runs until closed or ended
    std::string error;      // what was wrong with the command line, if anything
};

ClientOptions ParseClientOptions(int argc, char **argv);
