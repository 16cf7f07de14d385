// Memo composition: a loaded job becomes a saved note in the product database.
#pragma once

#include "job/job_file.h"
#include "notes/notes_client.h"

// Creates the note, writes its items, body and attachments, and saves it.  Returns the
// note, which the caller closes, or none (after MSG_CREATE_MEMO_FAILED) when the note
// cannot be created.  Every later failure is shown and passed over.
NotesHandle ComposeMemo(NotesHandle db, const LoadedJob *job);
