// The thirteen operations of the stand-in nNOTES.dll.  Each one is recorded in
// calls.log as "<Operation> <arguments> -> <status> <out values>", in call order,
// whether it succeeds or not; the operations that return nothing record the status
// they would have had.  The prototypes come from the program's own declaration of
// the library, so the compiler holds the two together; the ordinals come from the
// same .def file.
#include "notes/notes_client.h"

#include "standins/nnotes/failures.h"
#include "standins/nnotes/record.h"
#include "standins/nnotes/store.h"

static bool initialized = false;

// The status a call starts from: injected failure first, then the runtime's state.
static NotesStatus Precondition(const char *operation)
{
    if (CallFails(operation))
        return STATUS_INJECTED;
    return initialized ? STATUS_OK : STATUS_NOT_INITIALIZED;
}

static std::string Arrow(NotesStatus status)
{
    return " -> " + Number(status);
}

extern "C" {

// A crash handler of the library's own, as a real runtime may install one: it ends the
// process at once, saying nothing.
static LONG WINAPI EndSilently(EXCEPTION_POINTERS *)
{
    TerminateProcess(GetCurrentProcess(), 99);
    return EXCEPTION_EXECUTE_HANDLER;
}

NotesStatus NOTESAPI InitNotesRuntime(int argc, char **argv)
{
    Sleep(WaitMs("NNOTES_INIT_WAIT_MS"));
    if (OpenOverflows())
        SetUnhandledExceptionFilter(EndSilently);
    char count[16];
    wsprintfA(count, "%d", argc);
    std::string line = std::string("InitNotesRuntime argc=") + count;
    if (argv == NULL) {
        line += " argv=NULL";
    } else {
        for (int i = 0; i < argc && i < 64; ++i)
            line += " argv[" + Number((unsigned long)i) + "]=" + Quoted(argv[i]);
    }
    NotesStatus status = CallFails("InitNotesRuntime") ? STATUS_INJECTED : STATUS_OK;
    if (status == STATUS_OK)
        initialized = true;
    RecordCall(line + Arrow(status));
    return status;
}

void NOTESAPI EndNotesRuntime(void)
{
    NotesStatus status = Precondition("EndNotesRuntime");
    if (status == STATUS_OK)
        initialized = false;
    RecordCall("EndNotesRuntime" + Arrow(status));
}

void NOTESAPI SetClientVariable(const char *name, const char *value)
{
    NotesStatus status = Precondition("SetClientVariable");
    if (status == STATUS_OK && name == NULL)
        status = STATUS_BAD_ARGUMENT;
    if (status == STATUS_OK)
        StoreClientVariable(name, value);
    RecordCall("SetClientVariable name=" + Quoted(name) + " value=" + Quoted(value) +
               Arrow(status));
}

NotesStatus NOTESAPI OpenDatabase(const char *path, NotesHandle *db)
{
    if (OpenOverflows())
        OverflowStack(0);
    Sleep(WaitMs("NNOTES_OPEN_WAIT_MS"));
    NotesStatus status = Precondition("OpenDatabase");
    if (status == STATUS_OK && db == NULL)
        status = STATUS_BAD_ARGUMENT;
    if (status == STATUS_OK && !IsRegularFile(path))
        status = STATUS_NOT_FOUND;
    NotesHandle handle = 0;
    if (status == STATUS_OK) {
        handle = NewObject(OBJECT_DATABASE);
        FindObject(handle, OBJECT_DATABASE)->path = path;
    }
    if (db != NULL)
        *db = handle;
    RecordCall("OpenDatabase path=" + Quoted(path) + Arrow(status) + " db=" + Number(handle));
    return status;
}

// Closing a database or a note: the handle stops being valid.
static NotesStatus CloseObject(const char *operation, const char *argument, DWORD handle,
                               ObjectKind kind)
{
    NotesStatus status = Precondition(operation);
    Object *o = FindObject(handle, kind);
    if (status == STATUS_OK && o == NULL)
        status = STATUS_BAD_HANDLE;
    if (status == STATUS_OK)
        o->open = false;
    RecordCall(std::string(operation) + " " + argument + "=" + Number(handle) + Arrow(status));
    return status;
}

NotesStatus NOTESAPI CloseDatabase(NotesHandle db)
{
    return CloseObject("CloseDatabase", "db", db, OBJECT_DATABASE);
}

NotesStatus NOTESAPI CreateNote(NotesHandle db, NotesHandle *note)
{
    NotesStatus status = Precondition("CreateNote");
    if (status == STATUS_OK && note == NULL)
        status = STATUS_BAD_ARGUMENT;
    if (status == STATUS_OK && FindObject(db, OBJECT_DATABASE) == NULL)
        status = STATUS_BAD_HANDLE;
    NotesHandle handle = 0;
    if (status == STATUS_OK) {
        handle = NewObject(OBJECT_NOTE);
        FindObject(handle, OBJECT_NOTE)->database = db;
    }
    if (note != NULL)
        *note = handle;
    RecordCall("CreateNote db=" + Number(db) + Arrow(status) + " note=" + Number(handle));
    return status;
}

NotesStatus NOTESAPI CloseNote(NotesHandle note)
{
    return CloseObject("CloseNote", "note", note, OBJECT_NOTE);
}

NotesStatus NOTESAPI SetTextItem(NotesHandle note, const char *item, const char *text,
                                 WORD length)
{
    NotesStatus status = Precondition("SetTextItem");
    std::string value;
    if (text != NULL)
        value = length == NOTES_TEXT_TO_NUL ? std::string(text) : std::string(text, length);
    if (status == STATUS_OK && (item == NULL || text == NULL))
        status = STATUS_BAD_ARGUMENT;
    Object *o = FindObject(note, OBJECT_NOTE);
    if (status == STATUS_OK && o == NULL)
        status = STATUS_BAD_HANDLE;
    if (status == STATUS_OK) {
        Item i;
        i.kind = ITEM_TEXT;
        i.name = item;
        i.text = value;
        o->items.push_back(i);
    }
    RecordCall("SetTextItem note=" + Number(note) + " item=" + Quoted(item) + " text=" +
               (text == NULL ? std::string("NULL") : QuotedBytes(value.data(), value.size())) +
               " length=" + Number(length) + Arrow(status));
    return status;
}

NotesStatus NOTESAPI CreateBodyBuffer(NotesHandle *body, DWORD *length)
{
    NotesStatus status = Precondition("CreateBodyBuffer");
    if (status == STATUS_OK && (body == NULL || length == NULL))
        status = STATUS_BAD_ARGUMENT;
    NotesHandle handle = status == STATUS_OK ? NewObject(OBJECT_BODY) : 0;
    if (body != NULL)
        *body = handle;
    if (status == STATUS_OK)
        *length = 0;
    RecordCall("CreateBodyBuffer" + Arrow(status) + " body=" + Number(handle) +
               (status == STATUS_OK ? " length=0" : ""));
    return status;
}

NotesStatus NOTESAPI AppendBodyLine(NotesHandle body, DWORD *length, const char *line,
                                    WORD lineLength)
{
    NotesStatus status = Precondition("AppendBodyLine");
    std::string call = "AppendBodyLine body=" + Number(body) + " length=" +
                       (length == NULL ? std::string("NULL") : Number(*length)) + " line=" +
                       (line == NULL ? std::string("NULL") : QuotedBytes(line, lineLength)) +
                       " lineLength=" + Number(lineLength);
    if (status == STATUS_OK && (length == NULL || (line == NULL && lineLength != 0)))
        status = STATUS_BAD_ARGUMENT;
    Object *o = FindObject(body, OBJECT_BODY);
    if (status == STATUS_OK && o == NULL)
        status = STATUS_BAD_HANDLE;
    if (status == STATUS_OK) {
        o->lines.push_back(line == NULL ? std::string() : std::string(line, lineLength));
        o->length += lineLength + 2u;
        *length = o->length;
        call += Arrow(status) + " length=" + Number(o->length);
    } else {
        call += Arrow(status);
    }
    RecordCall(call);
    return status;
}

NotesStatus NOTESAPI AddBodyToNote(NotesHandle note, NotesHandle body, DWORD length,
                                   void *reserved)
{
    NotesStatus status = Precondition("AddBodyToNote");
    Object *n = FindObject(note, OBJECT_NOTE);
    Object *b = FindObject(body, OBJECT_BODY);
    if (status == STATUS_OK && (n == NULL || b == NULL))
        status = STATUS_BAD_HANDLE;
    if (status == STATUS_OK && length != b->length)
        status = STATUS_BAD_LENGTH;
    if (status == STATUS_OK) {
        Item i;
        i.kind = ITEM_BODY;
        i.name = "Body";
        i.lines = b->lines;
        n->items.push_back(i);
    }
    RecordCall("AddBodyToNote note=" + Number(note) + " body=" + Number(body) + " length=" +
               Number(length) + " reserved=" + (reserved == NULL ? "NULL" : "non-NULL") +
               Arrow(status));
    return status;
}

NotesStatus NOTESAPI AttachFile(NotesHandle note, const char *item, WORD itemLength,
                                const char *path, const char *recordedName, WORD encoding)
{
    NotesStatus status = Precondition("AttachFile");
    if (status == STATUS_OK && (item == NULL || path == NULL || recordedName == NULL))
        status = STATUS_BAD_ARGUMENT;
    Object *o = FindObject(note, OBJECT_NOTE);
    if (status == STATUS_OK && o == NULL)
        status = STATUS_BAD_HANDLE;
    Item i;
    bool lean = LeanMode();
    if (status == STATUS_OK &&
        (!IsRegularFile(path) || (!lean && !ReadWholeFile(path, &i.contents))))
        status = STATUS_NOT_FOUND;
    if (status == STATUS_OK && lean) {
        ++o->filesNotKept;
    } else if (status == STATUS_OK) {
        i.kind = ITEM_FILE;
        i.name.assign(item, itemLength);
        i.recordedName = recordedName;
        i.sourcePath = path;
        o->items.push_back(i);
    }
    RecordCall("AttachFile note=" + Number(note) + " item=" + QuotedBytes(item, itemLength) +
               " itemLength=" + Number(itemLength) + " path=" + Quoted(path) +
               " name=" + Quoted(recordedName) + " encoding=" + Number(encoding) +
               Arrow(status));
    return status;
}

NotesStatus NOTESAPI SaveNote(NotesHandle note, WORD flags)
{
    NotesStatus status = Precondition("SaveNote");
    Object *o = FindObject(note, OBJECT_NOTE);
    if (status == STATUS_OK && o == NULL)
        status = STATUS_BAD_HANDLE;
    unsigned saved = 0;
    if (status == STATUS_OK) {
        saved = SaveNoteRecord(*o);
        if (saved == 0)
            status = STATUS_WRITE_FAILED;
    }
    RecordCall("SaveNote note=" + Number(note) + " flags=" + Number(flags) + Arrow(status) +
               (saved != 0 ? " record=note-" + Number(saved) + ".txt" : std::string()));
    return status;
}

}
