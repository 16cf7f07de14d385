// standin-check.exe: checks the stand-in nNOTES.dll itself, so that what the
// end-to-end cases read in its records can be trusted.  The library is loaded by
// ordinal, as the program binds to it, and loaded afresh for each part so that each
// starts with no handles and no call counts.  Ends with "N passed, N failed".
#include "notes/notes_client.h"

#include "testkit/wine/check.h"
#include "testkit/wine/files.h"
#include "testkit/wine/harness.h"

// The stand-in loaded for one part, and its entries bound by the ordinals of the
// library's contract, so that a mistyped ordinal of the program's table fails here too.
struct StandinEntries {
    HMODULE module;
#define NOTES_CONTRACT(ordinal, entry) decltype(&::entry) entry;
#include "tests/pe/nnotes_contract.h"
#undef NOTES_CONTRACT
};

static std::string dir;     // NNOTES_DIR of the part running

template <typename F> static bool Bind(HMODULE module, int ordinal, F *f)
{
    *f = (F)(void *)GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
    return ok(*f != NULL, "ordinal %d is exported", ordinal);
}

static bool Load(StandinEntries *l, const char *part)
{
    g_caseName = part;
    dir = WorkRoot() + "\\standins " + part;
    DeleteTree(dir);
    MakeFolder(dir);
    SetEnvironmentVariableA("NNOTES_DIR", dir.c_str());
    SetEnvironmentVariableA("NNOTES_FAIL", NULL);
    l->module = LoadLibraryA("nNOTES.dll");
    if (!ok(l->module != NULL, "nNOTES.dll loads: error %lu", GetLastError()))
        return false;
    bool bound = true;
#define NOTES_CONTRACT(ordinal, entry) bound = Bind(l->module, ordinal, &l->entry) && bound;
#include "tests/pe/nnotes_contract.h"
#undef NOTES_CONTRACT
    return bound;
}

static void Unload(StandinEntries *l)
{
    if (l->module != NULL)
        FreeLibrary(l->module);
    DeleteTree(dir);
}

static std::vector<std::string> CallsLog()
{
    return FileLines(dir + "\\calls.log");
}

// A memo written and saved the way the program does it, and the records it leaves.
static void CheckMemoRecords(StandinEntries *l)
{
    std::string database = dir + "\\My Base.nsf", attachment = dir + "\\a file.bin";
    WriteBytes(database, "db");
    WriteBytes(attachment, std::string("\x00\xff\r\n", 4));
    char arg0[] = "prog.exe", arg1[] = "C:\\a \"b\"\xe9";
    char *argv[] = {arg0, arg1, NULL};
    NotesHandle db = 99, note = 99, body = 99, missing = 99;
    DWORD length = 99;

    ok(l->InitNotesRuntime(2, argv) == 0, "InitNotesRuntime");
    ok(l->OpenDatabase((dir + "\\none.nsf").c_str(), &missing) != 0 && missing == 0,
       "a missing database is refused, its handle 0");
    ok(l->OpenDatabase(database.c_str(), &db) == 0 && db != 0, "a database file opens");
    ok(l->CreateNote(db, &note) == 0 && note != 0, "CreateNote");
    ok(l->SetTextItem(note, "Form", "Document", NOTES_TEXT_TO_NUL) == 0, "text to its NUL");
    ok(l->SetTextItem(note, "Raw", "a\0b\xe9xyz", 4) == 0, "text of a given length");
    std::string longText(13000, 'L');
    ok(l->SetTextItem(note, "Long", longText.c_str(), NOTES_TEXT_TO_NUL) == 0, "a long text");
    ok(l->CreateBodyBuffer(&body, &length) == 0 && body != 0 && length == 0, "CreateBodyBuffer");
    ok(l->AppendBodyLine(body, &length, "Hello", 5) == 0 && length == 7, "line 1: length %lu",
       length);
    ok(l->AppendBodyLine(body, &length, NULL, 0) == 0 && length == 9, "empty line: length %lu",
       length);
    ok(l->AppendBodyLine(body, &length, "x\ny", 3) == 0 && length == 14, "line 3: length %lu",
       length);
    ok(l->AddBodyToNote(note, body, length - 1, NULL) != 0, "a body length that does not add up");
    ok(l->AddBodyToNote(note, body, length, NULL) == 0, "AddBodyToNote");
    ok(l->AttachFile(note, "$FILE", 5, attachment.c_str(), "", 0x0F00) == 0, "empty name");
    ok(l->AttachFile(note, "$FILExx", 5, attachment.c_str(), "..\\a:b", 0x0F00) == 0, "odd name");
    ok(l->SaveNote(note, 0) == 0, "SaveNote");
    ok(l->CloseNote(note) == 0 && l->CloseDatabase(db) == 0, "closed");
    l->EndNotesRuntime();

    std::string a = Escaped(attachment);
    same_lines(CallsLog(), {
        "InitNotesRuntime argc=2 argv[0]=\"prog.exe\" argv[1]=\"C:\\x5Ca \\x22b\\x22\\xE9\" -> 0",
        "OpenDatabase path=\"" + Escaped(dir) + "\\x5Cnone.nsf\" -> 261 db=0",
        "OpenDatabase path=\"" + Escaped(database) + "\" -> 0 db=1",
        "CreateNote db=1 -> 0 note=2",
        "SetTextItem note=2 item=\"Form\" text=\"Document\" length=65535 -> 0",
        "SetTextItem note=2 item=\"Raw\" text=\"a\\x00b\\xE9\" length=4 -> 0",
        "SetTextItem note=2 item=\"Long\" text=\"" + longText + "\" length=65535 -> 0",
        "CreateBodyBuffer -> 0 body=3 length=0",
        "AppendBodyLine body=3 length=0 line=\"Hello\" lineLength=5 -> 0 length=7",
        "AppendBodyLine body=3 length=7 line=NULL lineLength=0 -> 0 length=9",
        "AppendBodyLine body=3 length=9 line=\"x\\x0Ay\" lineLength=3 -> 0 length=14",
        "AddBodyToNote note=2 body=3 length=13 reserved=NULL -> 263",
        "AddBodyToNote note=2 body=3 length=14 reserved=NULL -> 0",
        "AttachFile note=2 item=\"$FILE\" itemLength=5 path=\"" + a +
            "\" name=\"\" encoding=3840 -> 0",
        "AttachFile note=2 item=\"$FILE\" itemLength=5 path=\"" + a +
            "\" name=\"..\\x5Ca:b\" encoding=3840 -> 0",
        "SaveNote note=2 flags=0 -> 0 record=note-1.txt",
        "CloseNote note=2 -> 0",
        "CloseDatabase db=1 -> 0",
        "EndNotesRuntime -> 0"}, "calls.log");

    std::string expected = "database: " + database + "\r\n" + "Form: Document\r\n" +
                           std::string("Raw: a\0b\xe9\r\n", 11) + "Long: " + longText + "\r\n" +
                           "Body:\r\n  Hello\r\n  \r\n  x\ny\r\n" +
                           "$FILE:  <- " + attachment + "\r\n" +
                           "  copy: note-1.files\\1-unnamed\r\n" +
                           "$FILE: ..\\a:b <- " + attachment + "\r\n" +
                           "  copy: note-1.files\\2-.._a_b\r\n";
    std::string record;
    ReadBytes(dir + "\\notes\\note-1.txt", &record);
    same_text(record, expected, "note-1.txt");
}

// Handles that are not, or no longer, what a call needs; calls outside the runtime.
static void CheckHandlesAndState(StandinEntries *l)
{
    std::string database = dir + "\\db.nsf";
    WriteBytes(database, "db");
    NotesHandle db = 0, note = 0, body = 0;
    DWORD length = 0;
    ok(l->OpenDatabase(database.c_str(), &db) == 0x108 && db == 0,
       "OpenDatabase before the runtime");
    ok(l->InitNotesRuntime(0, NULL) == 0, "InitNotesRuntime without arguments");
    ok(l->OpenDatabase(database.c_str(), &db) == 0 && l->CreateNote(db, &note) == 0, "opened");
    ok(l->CreateNote(note, &body) == 0x104 && body == 0, "a note is no database");
    ok(l->SetTextItem(db, "Form", "x", NOTES_TEXT_TO_NUL) == 0x104, "a database is no note");
    ok(l->SetTextItem(77, "Form", "x", NOTES_TEXT_TO_NUL) == 0x104, "an unknown handle");
    ok(l->SetTextItem(note, NULL, "x", 1) == 0x106, "a null item name");
    ok(l->CreateBodyBuffer(NULL, &length) == 0x106, "a null body pointer");
    ok(l->CreateBodyBuffer(&body, &length) == 0 &&
           l->AppendBodyLine(body, &length, NULL, 3) == 0x106,
       "a null line with a length");
    ok(l->AddBodyToNote(note, db, 0, NULL) == 0x104, "a database is no body");
    ok(l->CloseNote(note) == 0 && l->CloseNote(note) == 0x104, "a note closes once");
    ok(l->SaveNote(note, 0) == 0x104, "a closed note cannot be saved");
    ok(l->CloseDatabase(db) == 0 && l->CreateNote(db, &note) == 0x104, "a closed database");
    l->EndNotesRuntime();
    l->SetClientVariable("x", "1");
    std::vector<std::string> calls = CallsLog();
    same_lines(std::vector<std::string>(calls.end() - 2, calls.end()),
               {"EndNotesRuntime -> 0",
                "SetClientVariable name=\"x\" value=\"1\" -> 264"},
               "calls after the runtime ended");
    ok(!FileExists(dir + "\\notes.ini"), "no variable is stored outside the runtime");
    ok(calls.size() > 2 && calls[1] == "InitNotesRuntime argc=0 argv=NULL -> 0",
       "InitNotesRuntime without arguments is recorded: %s",
       calls.size() > 1 ? calls[1].c_str() : "(none)");
}

// Every append to a log of the stand-ins waits for its turn, the named mutex
// "velmora-standins-log-append", held from opening the file to closing it: while this
// check holds the turn, the appender writes nothing; once it is let go, the line is
// there.  (With a mutex of each process's own, lines were lost when many wrote at once.)
static DWORD WINAPI AppendOutsideTheRuntime(void *library)
{
    ((StandinEntries *)library)->SetClientVariable("turn", "1");
    return 0;
}

static void CheckLogTurns(StandinEntries *l)
{
    HANDLE turn = CreateMutexA(NULL, FALSE, "velmora-standins-log-append");
    if (!ok(turn != NULL && WaitForSingleObject(turn, 30000) == WAIT_OBJECT_0, "turn taken"))
        return;
    HANDLE appender = CreateThread(NULL, 0, AppendOutsideTheRuntime, l, 0, NULL);
    ok(WaitForSingleObject(appender, 1000) == WAIT_TIMEOUT,
       "the appender waits while another holds the turn");
    ok(CallsLog().empty(), "nothing written while another holds the turn");
    ReleaseMutex(turn);
    ok(WaitForSingleObject(appender, 30000) == WAIT_OBJECT_0, "the appender ends");
    same_lines(CallsLog(), {"SetClientVariable name=\"turn\" value=\"1\" -> 264"},
               "the line written once the turn is let go");
    CloseHandle(appender);
    CloseHandle(turn);
}

int main()
{
    typedef void Part(StandinEntries *l);
    struct {
        const char *name;
        Part *check;
    } parts[] = {
        {"memo records", CheckMemoRecords},
        {"handles and state", CheckHandlesAndState},
        {"log turns", CheckLogTurns},
    };
    for (size_t i = 0; i < sizeof parts / sizeof parts[0]; ++i) {
        StandinEntries l;
        ZeroMemory(&l, sizeof l);
        if (Load(&l, parts[i].name))
            parts[i].check(&l);
        Unload(&l);
    }
    RemoveDirectoryA(WorkRoot().c_str());
    return CheckSummary();
}
