// The stand-in library's state: databases, notes and body buffers behind small
// integer handles, the note records it saves and the client variables in notes.ini.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

enum ObjectKind { OBJECT_DATABASE = 1, OBJECT_NOTE, OBJECT_BODY };
enum ItemKind { ITEM_TEXT, ITEM_BODY, ITEM_FILE };

struct Item {
    ItemKind kind;
    std::string name;
    std::string text;                   // ITEM_TEXT
    std::vector<std::string> lines;     // ITEM_BODY
    std::string recordedName;           // ITEM_FILE
    std::string sourcePath;             // ITEM_FILE
    std::string contents;               // ITEM_FILE: the bytes copied at attach time
};

struct Object {
    ObjectKind kind;
    bool open = true;
    std::string path;                   // database: the path as opened
    DWORD database = 0;                 // note: its database
    std::vector<Item> items;            // note: items in the order written
    std::vector<std::string> lines;     // body: its lines
    DWORD length = 0;                   // body: bytes of its lines plus 2 per line
    DWORD filesNotKept = 0;             // note: attachments counted only (NNOTES_LEAN)
};

// A handle for a new object, or 0.  Handles count up from 1 in creation order.
DWORD NewObject(ObjectKind kind);

// The open object of that kind behind `handle`, or NULL.
Object *FindObject(DWORD handle, ObjectKind kind);

// Writes the note as NNOTES_DIR\notes\note-<N>.txt, its attachments in note-<N>.files;
// returns N, or 0 when something could not be written.
unsigned SaveNoteRecord(const Object &note);

// Sets name=value in NNOTES_DIR\notes.ini, keeping one line per name (compared
// without regard to case) in order of first appearance.
void StoreClientVariable(const char *name, const char *value);

// Whether `path` names an existing file that is not a directory.
bool IsRegularFile(const char *path);

// NNOTES_LEAN=1, read at each call: attachments are checked and logged but neither
// read nor kept, so that the library's own memory stays flat however many there are.
bool LeanMode();
