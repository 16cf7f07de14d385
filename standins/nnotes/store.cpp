// Objects, saved note records and notes.ini of the stand-in nNOTES.dll.
#include "standins/nnotes/store.h"

#include "standins/nnotes/record.h"

static std::vector<Object> objects;     // handle h is objects[h - 1]

DWORD NewObject(ObjectKind kind)
{
    Object o;
    o.kind = kind;
    o.open = true;
    o.database = 0;
    o.length = 0;
    o.filesNotKept = 0;
    objects.push_back(o);
    return (DWORD)objects.size();
}

Object *FindObject(DWORD handle, ObjectKind kind)
{
    if (handle == 0 || handle > objects.size())
        return NULL;
    Object *o = &objects[handle - 1];
    return o->kind == kind && o->open ? o : NULL;
}

bool LeanMode()
{
    char value[8];
    DWORD n = GetEnvironmentVariableA("NNOTES_LEAN", value, sizeof value);
    return n == 1 && value[0] == '1';
}

bool IsRegularFile(const char *path)
{
    if (path == NULL || path[0] == '\0')
        return false;
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A file name for the k-th attachment that any recorded name maps to safely:
// "<k>-" then the name with anything but letters, digits, '.', '-' and '_' made '_',
// at most 40 characters of it, never ending in a dot.
static std::string StoredFileName(unsigned k, const std::string &recordedName)
{
    std::string safe;
    for (size_t i = 0; i < recordedName.size() && safe.size() < 40; ++i) {
        char c = recordedName[i];
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                     (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        safe += plain ? c : '_';
    }
    if (safe.empty())
        safe = "unnamed";
    if (safe[safe.size() - 1] == '.')
        safe[safe.size() - 1] = '_';
    return Number(k) + "-" + safe;
}

unsigned SaveNoteRecord(const Object &note)
{
    std::string notesDir = StandinDir() + "\\notes";
    CreateDirectoryA(notesDir.c_str(), NULL);

    // The first free number, so that saves of several runs follow each other.
    unsigned n = 1;
    while (GetFileAttributesA((notesDir + "\\note-" + Number(n) + ".txt").c_str()) !=
           INVALID_FILE_ATTRIBUTES)
        ++n;
    std::string base = notesDir + "\\note-" + Number(n);

    const Object *db = FindObject(note.database, OBJECT_DATABASE);
    std::string record = "database: " + (db != NULL ? db->path : std::string("(closed)")) + "\r\n";
    unsigned k = 0;
    bool good = true;
    for (size_t i = 0; i < note.items.size(); ++i) {
        const Item &item = note.items[i];
        if (item.kind == ITEM_TEXT) {
            record += item.name + ": " + item.text + "\r\n";
        } else if (item.kind == ITEM_BODY) {
            record += item.name + ":\r\n";
            for (size_t j = 0; j < item.lines.size(); ++j)
                record += "  " + item.lines[j] + "\r\n";
        } else {
            std::string stored = StoredFileName(++k, item.recordedName);
            record += item.name + ": " + item.recordedName + " <- " + item.sourcePath + "\r\n";
            record += "  copy: note-" + Number(n) + ".files\\" + stored + "\r\n";
            CreateDirectoryA((base + ".files").c_str(), NULL);
            good = WriteWholeFile(base + ".files\\" + stored, item.contents) && good;
        }
    }
    if (note.filesNotKept != 0)
        record += "$FILE: " + Number(note.filesNotKept) + " attachments, not kept (NNOTES_LEAN)\r\n";
    good = WriteWholeFile(base + ".txt", record) && good;
    return good ? n : 0;
}

static bool SameNameIgnoringCase(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(),
                                                  (int)a.size(), b.data(), (int)b.size()) ==
                                       CSTR_EQUAL;
}

void StoreClientVariable(const char *name, const char *value)
{
    std::string path = StandinDir() + "\\notes.ini";
    std::string old;
    ReadWholeFile(path, &old);

    std::string setting = std::string(name) + "=" + (value != NULL ? value : "");
    std::string out;
    bool replaced = false;
    size_t at = 0;
    while (at < old.size()) {
        size_t end = old.find('\n', at);
        std::string line = old.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? old.size() : end + 1;
        if (!line.empty() && line[line.size() - 1] == '\r')
            line.erase(line.size() - 1);
        size_t equals = line.find('=');
        if (equals != std::string::npos && SameNameIgnoringCase(line.substr(0, equals), name)) {
            if (replaced)
                continue;
            line = setting;
            replaced = true;
        }
        out += line + "\r\n";
    }
    if (!replaced)
        out += setting + "\r\n";
    WriteWholeFile(path, out);
}
