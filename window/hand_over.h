// Handing the saved memo over to the Notes client.
#pragma once

// Waits up to about 10 s for the Notes client to be free, closes the database window
// if open, arms the close variable with this program's path, and starts the client on
// the product database.  A client that stays busy gets MSG_NOTES_BUSY instead.
// Both paths are the short forms the installation settings give.
void HandOverToNotes(const char *clientPath, const char *databasePath);
