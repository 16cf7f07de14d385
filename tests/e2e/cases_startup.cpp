// Start-up and close mode: the command tail, closing the product database's window in
// a running Notes client, and the loader's box for a library that lacks an ordinal.
#include "tests/e2e/case_runner.h"
#include "tests/rule_tables.h"

#include <string.h>

static void CaseCommandTails(CaseEnv *e)
{
    // The command tail table (tests/rule_tables.h), each line run with the program
    // given apart (Wine could not find it from most of these lines): an empty tail is
    // close mode, a tail naming a job sends it, any other opens nothing.  The lines
    // name jobs at the root of C:, where a standard user may have made either path
    // first (a link, a file of theirs): the case refuses when one exists, and removes
    // only what it made.
    if (!ok(!FileExists("C:\\job.tmp") && CreateDirectoryA("C:\\My Jobs", NULL),
            "C:\\job.tmp and C:\\My Jobs do not exist: the case makes and removes them"))
        return;
    for (const CommandTailRow &row : CommandTailRows) {
        const char *jobs[] = {"C:\\job.tmp", "C:\\My Jobs\\job.tmp"};
        for (const char *job : jobs)
            WriteJobFile(job, PlainJob(*e));
        ForgetRun(*e);
        RunResult r = Run(row.line, e->program.c_str());
        std::string line = Escaped(row.line);
        if (*row.tail == '\0') {
            expect_outcome(r);
            same_lines(CallSummary(*e), InitAndEnd, ("close mode for " + line).c_str());
            ok(!FileExists(e->clientLog), "\"%s\": no Notes client is started", line.c_str());
        } else if (row.job != nullptr) {
            expect_outcome(r);
            ok(!FileExists(row.job) && CountCalls(*e, "SaveNote -> 0") == 1,
               "\"%s\": %s is sent", line.c_str(), row.job);
            EndStartedClients(*e);
        } else {
            expect_outcome(r, TextOpenJob);
            ok(CallSummary(*e) == InitAndEnd, "\"%s\": nothing sent", line.c_str());
        }
        for (const char *job : jobs)
            ok(FileExists(job) || job == std::string(row.job ? row.job : ""),
               "\"%s\": %s is left alone", line.c_str(), job);
        for (const char *job : jobs)
            DeleteFileA(job);
    }
    RemoveDirectoryA("C:\\My Jobs");
}

// Titles that look like the database window but are not: exactly the prefix, other
// letter case, no blank, the prefix not at the start, and a grandchild among them.
static void CaseCloseDatabaseWindow(CaseEnv *e)
{
    ExpectCloseMode(e, "--window \"Velmora -\" --window \"velmora - Stock\" "
                       "--window \"VELMORA - Stock\" --window \"Velmora-Stock\" "
                       "--window \"Stock - Velmora - x\" --window \"Velmora - Stock\" "
                       "--grandchild \"velmora - deep\" --close-delay-ms never",
                    "Velmora - Stock");
}

static void CaseCloseGrandchildWindow(CaseEnv *e)
{
    if (ExpectCloseMode(e, "--window \"Velmora -\" --grandchild \"Velmora - Deep\" "
                           "--close-delay-ms 0", "Velmora - Deep"))
        ok(WaitForClientEvent(e->runningLog, "destroyed: Velmora - Deep", 2000),
           "the database window goes");
}

static void CaseCloseNoDatabaseWindow(CaseEnv *e)
{
    ExpectCloseMode(e, "--window \"Velmora -\" --window \"velmora - stock\" "
                       "--window \"Velmora-Stock\" --window \"Notes - Velmora - x\" "
                       "--grandchild \"VELMORA - DEEP\" --close-delay-ms 0", NULL);
}

struct SystemBoxSearch {
    std::string captionStart;
    HWND found;
};

static BOOL CALLBACK FindSystemBox(HWND window, LPARAM param)
{
    SystemBoxSearch *search = (SystemBoxSearch *)param;
    char className[64], caption[512];
    if (IsWindowVisible(window) && GetClassNameA(window, className, sizeof className) > 0 &&
        lstrcmpA(className, "#32770") == 0 && GetWindowTextA(window, caption, sizeof caption) &&
        CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, caption,
                       (int)search->captionStart.size(), search->captionStart.data(),
                       (int)search->captionStart.size()) == CSTR_EQUAL) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

static void CaseLoaderBoxMissingOrdinal(CaseEnv *e)
{
    // The library beside the program lacks ordinal 2072: Windows's loader refuses the
    // program before any of its code runs, and, in the default error mode, says so in
    // a box of the system's (shown for the process, not by it), captioned with the
    // program's file name, e.g. "velmora-notes.exe - Ordinal Not Found"; the process
    // then ends with STATUS_ORDINAL_NOT_FOUND, 0xC0000138.
    // https://learn.microsoft.com/en-us/windows/win32/api/processthreadsapi/nf-processthreadsapi-createprocessa
    // (CREATE_DEFAULT_ERROR_MODE), https://learn.microsoft.com/en-us/openspecs/
    // windows_protocols/ms-erref/596a1078-e883-4972-9bbc-49e60bebca55 (0xC0000138)
    std::string library = e->programDir + "\\nNOTES.dll";
    ok(CopyFileA((OwnFolder() + "\\lacking-2072\\nNOTES.dll").c_str(), library.c_str(),
                 FALSE) != 0, "the library without 2072 put beside the program");
    PROCESS_INFORMATION process;
    if (!ok(StartProgram(QuotedProgram(*e), &process, CREATE_DEFAULT_ERROR_MODE),
            "the program starts: error %lu", GetLastError()))
        return;
    SystemBoxSearch search = {"velmora-notes.exe", NULL};
    for (int waited = 0; waited < 20000 && search.found == NULL; waited += 50) {
        if (WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0)
            break;
        EnumWindows(FindSystemBox, (LPARAM)&search);
    }
    char text[1024] = "";
    if (search.found != NULL)
        GetDlgItemTextA(search.found, 0xFFFF, text, sizeof text);
    ok(search.found != NULL && strstr(text, "2072") != NULL,
       "the loader's box, captioned with the program's name, names ordinal 2072: \"%s\"",
       text);
    if (search.found != NULL)
        PostMessageA(search.found, WM_COMMAND, IDOK, 0);
    bool ended = WaitForSingleObject(process.hProcess, 10000) == WAIT_OBJECT_0;
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    ok(ended && exitCode == 0xC0000138, "ended with 0xC0000138 once the box is answered: "
       "%s, 0x%lX", ended ? "ended" : "still running", exitCode);
    if (!ended)
        TerminateProcess(process.hProcess, 0xDEAD);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ok(!FileExists(e->nnotesDir + "\\calls.log"), "no Notes call was made");
}

// The cases of this file, each named here only, with what it needs of the machine
// (tests/e2e/case_runner.h).
static const CaseEntry Cases[] = {
    {"command_tails", CaseCommandTails},
    {"close_database_window", CaseCloseDatabaseWindow},
    {"close_grandchild_window", CaseCloseGrandchildWindow},
    {"close_no_database_window", CaseCloseNoDatabaseWindow},
    {"loader_box_missing_ordinal", CaseLoaderBoxMissingOrdinal, 0, 0, NEEDS_WINDOWS},
};
extern const CaseList StartupCases = {Cases, sizeof Cases / sizeof Cases[0]};
