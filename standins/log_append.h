// Appends to the equipment's logs (calls.log, the stand-in client's log), which the
// programs of a test write at the same time: sixteen runs of the program, sixteen
// clients.  Under Wine a handle opened with FILE_APPEND_DATA does not append
// atomically: two processes writing at the same moment can both write at the old end
// of the file, and a line is lost.  So each append takes a turn: a named mutex, held
// from opening the file to closing it.  The file itself stays shared, so a test can
// read it at any time.  Header only, so that each stand-in builds it in.  standin-check
// holds the turn itself and sees that an append waits for it.
#pragma once

#include <windows.h>

enum { LOG_TURN_WAIT_MS = 30000, LOG_OPEN_ATTEMPTS = 50, LOG_OPEN_RETRY_MS = 10 };

// Appends `size` bytes to the file at `path` (made when missing), now that it is this
// process's turn.  A reader that does not share writing keeps the file a moment.
inline bool AppendInTurn(const char *path, const char *data, DWORD size)
{
    HANDLE f = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < LOG_OPEN_ATTEMPTS && f == INVALID_HANDLE_VALUE; ++attempt) {
        f = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (f == INVALID_HANDLE_VALUE)
            Sleep(LOG_OPEN_RETRY_MS);
    }
    if (f == INVALID_HANDLE_VALUE)
        return false;
    DWORD done = 0, wrote = 0;
    while (done < size && WriteFile(f, data + done, size - done, &wrote, NULL) && wrote > 0)
        done += wrote;
    CloseHandle(f);
    return done == size;
}

// Appends `size` bytes to the file at `path`, whole, after every append that any
// process of the equipment made before.  False when they could not all be written.
inline bool AppendToLog(const char *path, const char *data, DWORD size)
{
    HANDLE turn = CreateMutexA(NULL, FALSE, "velmora-standins-log-append");
    if (turn == NULL)
        return false;
    bool good = false;
    // WAIT_ABANDONED: a process ended during its turn; the turn is ours all the same.
    DWORD waited = WaitForSingleObject(turn, LOG_TURN_WAIT_MS);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        good = AppendInTurn(path, data, size);
        ReleaseMutex(turn);
    }
    CloseHandle(turn);
    return good;
}
