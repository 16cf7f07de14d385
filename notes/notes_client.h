// The Notes client library, nNOTES.dll, as this program calls it.
//
// The library is imported by ordinal only.  The entries, their ordinals and their
// prototypes are the table of notes/nnotes_ordinals.h, expanded here into
// declarations; the build makes the import definition of the same table.
// Every operation is __stdcall.  Handles are opaque 32-bit values, 0 meaning none;
// a status is a 16-bit value of which only 0 (success) is told apart.
#pragma once

#include <windows.h>

#ifdef _WIN32
#define NOTESAPI __stdcall
#else
#define NOTESAPI
#endif

typedef WORD NotesStatus;
typedef DWORD NotesHandle;

enum {
    NOTES_TEXT_TO_NUL = 0xFFFF,         // SetTextItem length: the text runs to its NUL
    NOTES_ATTACH_ENCODING = 0x0F00,     // AttachFile encoding
};

extern "C" {
#define NOTES_ENTRY(ordinal, name, ret, params, bytes) ret NOTESAPI name params;
#include "notes/nnotes_ordinals.h"
#undef NOTES_ENTRY
}

#if defined(_WIN32) && !defined(_WIN64)
// What a __stdcall function pops: each parameter rounded up to 4 bytes.  The table's
// count makes the imported symbol, Name@count, that the calls must link to; checked
// here so that a wrong count is told at its entry rather than by the linker.
template <typename R, typename... A> constexpr unsigned NotesStackBytes(R(NOTESAPI *)(A...))
{
    return (0u + ... + (unsigned)((sizeof(A) + 3) / 4 * 4));
}
#define NOTES_ENTRY(ordinal, name, ret, params, bytes) \
    static_assert(NotesStackBytes(&(name)) == (bytes), \
                  #name ": its byte count in nnotes_ordinals.h is not its parameters'");
#include "notes/nnotes_ordinals.h"
#undef NOTES_ENTRY
#endif
