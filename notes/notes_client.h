// The Notes client library, nNOTES.dll, as this program calls it.
//
// The library is imported by ordinal only (notes/nnotes.def makes the import
// library).  The ordinals are the library's public contract and other tools of ours
// bind to the same table: never renumber an entry, never change a prototype.
// tests/pe/check_exe.sh reads the "/* ordinal N */ ... Name(" lines below as the table
// and checks nnotes.def and the exe's imports against it.
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
/* ordinal   15 */ NotesStatus NOTESAPI InitNotesRuntime(int argc, char **argv);
/* ordinal   13 */ void NOTESAPI EndNotesRuntime(void);
/* ordinal  401 */ void NOTESAPI SetClientVariable(const char *name, const char *value);
/* ordinal 2005 */ NotesStatus NOTESAPI OpenDatabase(const char *path, NotesHandle *db);
/* ordinal 2001 */ NotesStatus NOTESAPI CloseDatabase(NotesHandle db);
/* ordinal 2009 */ NotesStatus NOTESAPI CreateNote(NotesHandle db, NotesHandle *note);
/* ordinal 2008 */ NotesStatus NOTESAPI CloseNote(NotesHandle note);
/* ordinal 2183 */ NotesStatus NOTESAPI SetTextItem(NotesHandle note, const char *item,
                                                    const char *text, WORD length);
/* ordinal 3810 */ NotesStatus NOTESAPI CreateBodyBuffer(NotesHandle *body, DWORD *length);
/* ordinal 3806 */ NotesStatus NOTESAPI AppendBodyLine(NotesHandle body, DWORD *length,
                                                       const char *line, WORD lineLength);
/* ordinal 3801 */ NotesStatus NOTESAPI AddBodyToNote(NotesHandle note, NotesHandle body,
                                                      DWORD length, void *reserved);
/* ordinal 2072 */ NotesStatus NOTESAPI AttachFile(NotesHandle note, const char *item,
                                                   WORD itemLength, const char *path,
                                                   const char *recordedName, WORD encoding);
/* ordinal 2013 */ NotesStatus NOTESAPI SaveNote(NotesHandle note, WORD flags);
}
