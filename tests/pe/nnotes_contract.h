// The ordinals of nNOTES.dll that the program binds to, as the library publishes them,
// written here by hand, never from notes/nnotes_ordinals.h, so that an ordinal mistyped
// there fails check_exe.sh (the exe's imports) and standin-check (the stand-in's
// exports).  NOTES_CONTRACT(ordinal, entry), one a line; no include guard on purpose.
NOTES_CONTRACT(  13, EndNotesRuntime)
NOTES_CONTRACT(  15, InitNotesRuntime)
NOTES_CONTRACT( 401, SetClientVariable)
NOTES_CONTRACT(2001, CloseDatabase)
NOTES_CONTRACT(2005, OpenDatabase)
NOTES_CONTRACT(2008, CloseNote)
NOTES_CONTRACT(2009, CreateNote)
NOTES_CONTRACT(2013, SaveNote)
NOTES_CONTRACT(2072, AttachFile)
NOTES_CONTRACT(2183, SetTextItem)
NOTES_CONTRACT(3801, AddBodyToNote)
NOTES_CONTRACT(3806, AppendBodyLine)
NOTES_CONTRACT(3810, CreateBodyBuffer)
