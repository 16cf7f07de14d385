// The ordinal table of nNOTES.dll, the Notes client library: every entry this program
// imports, written once.  Each user defines NOTES_ENTRY, includes this file and
// undefines it; no include guard on purpose.
//   notes_client.h        the prototypes, and a check of each byte count
//   nnotes.def.in         the import definition, made in the build folder
//                         (the import library, the stand-in library)
//   the doctor            the ordinals it looks for in an installed library
//   tests/pe/check_exe.sh the exe's imports against the generated definition
//
// NOTES_ENTRY(ordinal, name, return type, (parameters), __stdcall argument bytes)
//
// The library exports these entries by ordinal alone, without names: the names are
// ours, the ordinals are the library's public contract.  Never renumber an entry:
// the program would call whatever else the library has at that number, with the
// wrong arguments, and an ordinal the library lacks keeps Windows from starting the
// program at all.  Never change a prototype either: the library is what it is.
// The byte count is what the callee pops, 4 for each parameter, and makes the
// symbol's @N; notes_client.h checks it against the parameters.
// The doctor names missing entries in this order.
NOTES_ENTRY(  15, InitNotesRuntime,  NotesStatus, (int argc, char **argv), 8)
NOTES_ENTRY(  13, EndNotesRuntime,   void,        (void), 0)
NOTES_ENTRY( 401, SetClientVariable, void,        (const char *name, const char *value), 8)
NOTES_ENTRY(2005, OpenDatabase,      NotesStatus, (const char *path, NotesHandle *db), 8)
NOTES_ENTRY(2001, CloseDatabase,     NotesStatus, (NotesHandle db), 4)
NOTES_ENTRY(2009, CreateNote,        NotesStatus, (NotesHandle db, NotesHandle *note), 8)
NOTES_ENTRY(2008, CloseNote,         NotesStatus, (NotesHandle note), 4)
NOTES_ENTRY(2183, SetTextItem,       NotesStatus, (NotesHandle note, const char *item,
                                                   const char *text, WORD length), 16)
NOTES_ENTRY(3810, CreateBodyBuffer,  NotesStatus, (NotesHandle *body, DWORD *length), 8)
NOTES_ENTRY(3806, AppendBodyLine,    NotesStatus, (NotesHandle body, DWORD *length,
                                                   const char *line, WORD lineLength), 16)
NOTES_ENTRY(3801, AddBodyToNote,     NotesStatus, (NotesHandle note, NotesHandle body,
                                                   DWORD length, void *reserved), 16)
NOTES_ENTRY(2072, AttachFile,        NotesStatus, (NotesHandle note, const char *item,
                                                   WORD itemLength, const char *path,
                                                   const char *recordedName,
                                                   WORD encoding), 24)
NOTES_ENTRY(2013, SaveNote,          NotesStatus, (NotesHandle note, WORD flags), 8)
