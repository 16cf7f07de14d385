// Objects, saved note records and notes.ini of the stand-in nNOTES.dll.
#include "standins/nnotes/store.h"

#include "standins/nnotes/record.h"

#include <stdlib.h>

static std::vector<Object> objects;     // handle h is objects[h - 1]

DWORD NewObject(ObjectKind kind)
{
    Object o;
    o.kind = kind;
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

// NNOTES_SAVE_GATE=<n>: the saves of n runs wait for each other (30 s at most) and
// then go on together, so that a test sees saves that really run at the same time.
static void WaitForOtherSaves()
{
    char value[16];
    DWORD n = GetEnvironmentVariableA("NNOTES_SAVE_GATE", value, sizeof value);
    long runs = n > 0 && n < sizeof value ? strtol(value, NULL, 10) : 0;
    if (runs < 2)
        return;
    HANDLE arrived = CreateSemaphoreA(NULL, 0, runs, "velmora nnotes saves arrived");
    HANDLE open = CreateEventA(NULL, TRUE, FALSE, "velmora nnotes saves open");
    LONG before = 0;
    if (arrived != NULL && open != NULL && ReleaseSemaphore(arrived, 1, &before) &&
        before == runs - 1)
        SetEvent(open);
    if (open != NULL)
        WaitForSingleObject(open, 30000);
    // The handles stay open until the process ends, so that the gate outlives the
    // runs that have gone through it.
}

unsigned SaveNoteRecord(const Object &note)
{
    WaitForOtherSaves();
    std::string notesDir = StandinDir() + "\\notes";
    CreateDirectoryA(notesDir.c_str(), NULL);

    // The first free number, so that saves of several runs follow each other.  A number
    // is taken by creating its record, which only one of several runs saving at the same
    // time can do; the record is written in full below.
    unsigned n = 1;
    for (;; ++n) {
        HANDLE claim = CreateFileA((notesDir + "\\note-" + Number(n) + ".txt").c_str(),
                                   GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, NULL);
        if (claim != INVALID_HANDLE_VALUE) {
            CloseHandle(claim);
            break;
        }
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return 0;
    }
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
