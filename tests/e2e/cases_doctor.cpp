// The installation doctor, velmora-doctor.exe, against the case's world: one case per
// family of verdicts (Cases, at the end).  Its JSON report is checked through exact
// pieces of its check objects, whose keys come in a fixed order.
#include "tests/e2e/case_runner.h"
#include "testkit/wine/machine.h"

// A doctor started with its output going to a file of the case folder.
struct DoctorProcess {
    PROCESS_INFORMATION process;
    std::string outPath;
    std::string output;
    DWORD exitCode;
};

// Starts `commandLine` as the user who sends mail (StartProgramAsUser), or with this
// process's own token.  A file of its own for each run: a process the doctor leaves
// behind may still hold the last one.
static bool StartDoctor(const CaseEnv &e, const std::string &commandLine, bool asUser,
                        DoctorProcess *run)
{
    static int runs;
    run->outPath = e.root + "\\doctor output " + std::to_string(++runs) + ".txt";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE out = CreateFileA(run->outPath.c_str(), GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS, 0, NULL);
    std::string why;
    bool started = asUser ? StartProgramAsUser(commandLine, &run->process, CREATE_NO_WINDOW, out,
                                               &why)
                          : StartProgram(commandLine, &run->process, CREATE_NO_WINDOW, out) ||
                                (why = "error " + std::to_string(GetLastError()), false);
    if (out != INVALID_HANDLE_VALUE)
        CloseHandle(out);
    return ok(started, "the doctor starts: %s (%s)", commandLine.c_str(), why.c_str());
}

// Waits for the doctor to end by itself, at most `limitMs`, then reads its output.
static void EndDoctor(DoctorProcess *run, DWORD limitMs)
{
    if (!ok(WaitForSingleObject(run->process.hProcess, limitMs) == WAIT_OBJECT_0,
            "the doctor ends within %lu s", limitMs / 1000))
        TerminateProcess(run->process.hProcess, 0xDEAD);
    run->exitCode = 0xFFFFFFFF;
    GetExitCodeProcess(run->process.hProcess, &run->exitCode);
    CloseHandle(run->process.hThread);
    CloseHandle(run->process.hProcess);
    ReadBytes(run->outPath, &run->output);
}

DoctorRun RunDoctor(const CaseEnv &e, const std::string &commandLine, bool ownToken)
{
    DoctorRun run = {0xFFFFFFFF, "", ""};
    DoctorProcess started;
    // With no user's token to run as, only --open needs one: the other checks run
    // elevated as well.
    const char *none = ownToken ? NULL : NoLinkedToken();
    if (none != NULL && commandLine.find(" --open") != std::string::npos) {
        run.skipped = none;
        printf("  skipped, the doctor cannot run as a user here: %s: %s\n", none,
               commandLine.c_str());
    } else if (StartDoctor(e, commandLine, !ownToken && none == NULL, &started)) {
        EndDoctor(&started, 30000);
        run.exitCode = started.exitCode;
        run.output = started.output;
    }
    return run;
}

std::string DoctorCommand(const CaseEnv &e, const std::string &options)
{
    return "\"" + OwnFolder() + "\\velmora-doctor.exe\" --program \"" + e.program + "\"" +
           (options.empty() ? "" : " " + options);
}

void ExpectReportAt(const char *file, int line, const DoctorRun &run, DWORD exitCode,
                    const std::vector<std::string> &pieces)
{
    if (!run.skipped.empty())
        return;
    OkAt(file, line, run.exitCode == exitCode, "doctor's exit code: got %lu, expected %lu",
         run.exitCode, exitCode);
    for (size_t i = 0; i < pieces.size(); ++i)
        OkAt(file, line, run.output.find(pieces[i]) != std::string::npos,
             "the doctor's report holds %s:\n%s", pieces[i].c_str(), run.output.c_str());
}

// ASCII text as the inside of a JSON string.
static std::string Json(const std::string &text)
{
    std::string out;
    for (char c : text)
        out += c == '\\' || c == '"' ? std::string(1, '\\') + c : std::string(1, c);
    return out;
}

// The doctor's file version x.y.z.0 in its JSON report.
static std::string DoctorVersion(const DoctorRun &run)
{
    size_t at = run.output.find("\"doctor\":\"");
    return at != std::string::npos
               ? run.output.substr(at + 10, run.output.find('"', at + 10) - at - 10)
               : "";
}

static void CaseDoctorSound(CaseEnv *e)
{
    // Beside the program, the doctor finds it and its library without being told.
    std::string doctor = e->programDir + "\\velmora-doctor.exe";
    ok(CopyFileA((OwnFolder() + "\\velmora-doctor.exe").c_str(), doctor.c_str(), FALSE) != 0,
       "the doctor is copied beside the program");
    Job f = PlainJob(*e);
    f.sendTo = "ventes@[DOC]";
    f.body = "Ligne 1\r\nLigne\n2\rfin";
    f.extras.push_back(e->jobDir + "\\absent.pdf");
    std::string job = e->jobDir + "\\memo job.tmp";
    WriteJobFile(job, f);
    KeptFile kept = KeepFile(job);

    DoctorRun run = RunDoctor(*e, "\"" + doctor + "\" --json --open --job \"" + job + "\"");
    expect_report(run, 1,
        "{\"check\":\"program\",\"status\":\"ok\",\"path\":\"" + Json(e->program) + "\"",
        "{\"check\":\"settings\",\"status\":\"ok\",\"rule\":\"none\",\"client\":\"" +
            Json(e->clientShort) + "\",\"database\":\"" + Json(e->databaseShort) + "\"",
        "\"path\":\"" + Json(e->client) + "\",\"exists\":\"file\",\"short\":\"" +
            Json(e->clientShort) + "\",\"quotes\":\"" +
            (e->clientShort.find(' ') != std::string::npos ? "yes" : "no") + "\",\"used\":\"yes\"",
        "{\"check\":\"launch\",\"status\":\"ok\",\"line\":\"" +
            Json(Launched(e->clientShort) + " " + Launched(e->databaseShort)) +
            "\",\"quotes\":\"" + (ExpectedClientStart(*e) ==
            "start: " + e->clientShort + " " + e->databaseShort ? "no" : "yes") + "\"",
        "{\"check\":\"library.found\",\"status\":\"ok\",\"place\":\"program_folder\"",
        "{\"check\":\"library.ordinals\",\"status\":\"ok\",\"missing\":\"\"",
        "{\"check\":\"open.database\",\"status\":\"ok\"",
        "{\"check\":\"client\",\"status\":\"info\",\"running\":\"no\"",
        "{\"check\":\"job.read\",\"status\":\"ok\",\"rule\":\"none\",\"extras\":1",
        "{\"check\":\"job.send_to\",\"status\":\"info\",\"length\":15,\"text\":"
            "\"Destinataires : ventes@Devis 17 (15 octets",
        "{\"check\":\"job.body\",\"status\":\"info\",\"line\":2,\"length\":7,\"text\":"
            "\"Corps, ligne 2 : Ligne<0A>2\"",
        "{\"check\":\"job.attachment\",\"status\":\"ok\",\"number\":1",
        "{\"check\":\"job.attachment\",\"status\":\"problem\",\"number\":2",
        "\"verdict\":\"problem\",\"problems\":1,");
    if (run.skipped.empty())
        same_lines(CallSummary(*e), {"InitNotesRuntime -> 0", "OpenDatabase -> 0",
                                 "CloseDatabase -> 0", "EndNotesRuntime -> 0"},
               "calls.log: --open starts, opens, closes and ends");
    expect_kept(kept, "the job file");

    // Without the job, sound: exit 0, one line per check in French, 1252 bytes.
    run = RunDoctor(*e, "\"" + doctor + "\"");
    std::vector<std::string> lines = Lines(run.output);
    ok(run.exitCode == 0 && !lines.empty() &&
           lines.back() == "Bilan : installation saine (0 avertissement).",
       "sound: exit code %lu, report:\n%s", run.exitCode, run.output.c_str());
    for (size_t i = 0; i + 1 < lines.size(); ++i)
        ok(lines[i].compare(0, 10, "OK        ") == 0 || lines[i].compare(0, 10, "INFO      ") == 0,
           "line %u is one check, sound: %s", (unsigned)i + 1, lines[i].c_str());
}

// reg.exe's `operation` on the package's record, in the 32-bit view where the package
// writes it; true when it exits 0.  The suite may run elevated: reg.exe and cmd.exe are
// taken from the system folder, never looked for in the suite's or the current folder
// (learn.microsoft.com: "CreateProcessA", its lpCommandLine search order).
static bool Record(const char *operation, const std::string &arguments = "")
{
    return RunAndAnswer(Quoted(SystemPath("reg.exe")) + " " + operation +
                            " \"HKLM\\SOFTWARE\\Zabrel\\Velmora\\Installer\" " + arguments +
                            " /reg:32",
                        30000).exitCode == 0;
}

// A fix the doctor printed ("reg ..."), run as an administrator pastes it into cmd.exe,
// with reg.exe named by its place in the system folder.
static RunResult RunFix(const std::string &fix)
{
    return RunAndAnswer(Quoted(SystemPath("cmd.exe")) + " /s /c \"" +
                            Quoted(SystemPath("reg.exe")) + fix.substr(3) + "\"",
                        30000);
}

// The rows of a console the doctor alone wrote to, each without its trailing blanks: a
// console made for it by this process, which the doctor inherits, read back once it has
// ended, then this process's own standard handles and console taken back.
static std::vector<std::wstring> ConsoleRows(const std::string &commandLine, bool asUser = false)
{
    std::vector<std::wstring> rows;
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE), out = GetStdHandle(STD_OUTPUT_HANDLE),
           error = GetStdHandle(STD_ERROR_HANDLE);
    FreeConsole();
    bool made = AllocConsole() != 0;
    if (made && GetConsoleWindow() != NULL)
        ShowWindow(GetConsoleWindow(), SW_HIDE);        // on Windows, no window flashes
    // The doctor is given the console as its standard output and error: a process
    // started with standard handles of its own (the check runner gives each suite a
    // log file) keeps them through AllocConsole, and a child would inherit the log.
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE console = made ? CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                        OPEN_EXISTING, 0, NULL)
                          : INVALID_HANDLE_VALUE;
    // Rows wider than any line: each line of the report is one row.
    COORD size = {1000, 200};
    bool sized = console != INVALID_HANDLE_VALUE && SetConsoleScreenBufferSize(console, size);
    PROCESS_INFORMATION process;
    CONSOLE_SCREEN_BUFFER_INFO info;
    std::string why;
    if (ok(sized, "a console of 1000 columns (made %d, error %lu)", made, GetLastError()) &&
        ok(asUser ? StartProgramAsUser(commandLine, &process, 0, console, &why)
                  : StartProgram(commandLine, &process, 0, console),
           "the doctor starts on the console %s", why.c_str())) {
        WaitForSingleObject(process.hProcess, 30000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    if (sized && GetConsoleScreenBufferInfo(console, &info)) {
        std::vector<WCHAR> row(info.dwSize.X);
        for (SHORT y = 0; y <= info.dwCursorPosition.Y && y < info.dwSize.Y; ++y) {
            DWORD read = 0;
            COORD at = {0, y};
            ReadConsoleOutputCharacterW(console, &row[0], info.dwSize.X, at, &read);
            std::wstring text(&row[0], read);
            text.erase(text.find_last_not_of(L' ') + 1);
            rows.push_back(text);
        }
    }
    if (console != INVALID_HANDLE_VALUE)
        CloseHandle(console);
    FreeConsole();
    AttachConsole(ATTACH_PARENT_PROCESS);
    SetStdHandle(STD_INPUT_HANDLE, in);
    SetStdHandle(STD_OUTPUT_HANDLE, out);
    SetStdHandle(STD_ERROR_HANDLE, error);
    return rows;
}

static void CaseDoctorMissingValue(CaseEnv *e)
{
    // On a console the report is written in UTF-16, whatever the console's code page:
    // each row holds the line as the redirected report has it in 1252, and nothing more.
    DoctorRun redirected = RunDoctor(*e, DoctorCommand(*e, ""));
    std::vector<std::string> lines = Lines(redirected.output);
    std::vector<std::wstring> rows = ConsoleRows(DoctorCommand(*e, ""));
    ok(rows.size() >= lines.size() && !lines.empty(), "%u rows on the console for %u lines",
       (unsigned)rows.size(), (unsigned)lines.size());
    for (size_t i = 0; i < lines.size() && i < rows.size(); ++i) {
        WCHAR wide[1100];
        int n = MultiByteToWideChar(1252, 0, lines[i].data(), (int)lines[i].size(), wide, 1100);
        ok(rows[i] == std::wstring(wide, n > 0 ? (size_t)n : 0), "console row %u is line %u: %s",
           (unsigned)i + 1, (unsigned)i + 1, lines[i].c_str());
    }
    for (size_t i = lines.size(); i < rows.size(); ++i)
        ok(rows[i].empty(), "console row %u is empty", (unsigned)i + 1);

    SetSettingsValue("LN_Base", NULL);
    DoctorRun run = RunDoctor(*e, DoctorCommand(*e, "--json"));
    expect_report(run, 1,
        "{\"check\":\"settings.value\",\"status\":\"info\",\"view\":\"32\",\"value\":\"LN_Base\","
        "\"rule\":\"value_missing\"",
        "{\"check\":\"settings\",\"status\":\"problem\",\"rule\":\"value_missing\",\"value\":"
        "\"LN_Base\",\"detail\":2,");
    // No package wrote it: a repair would not bring it back, and no command can know
    // the path.
    run = RunDoctor(*e, DoctorCommand(*e, ""));
    expect_report(run, 1,
        std::string("PROBL\xc8ME  R\xe9glages refus\xe9s par le programme, qui affichera \xab ") +
            TextNotInstalled + " \xbb : la valeur LN_Base est absente (erreur 2) ; \xe0 faire : "
            "le paquet d'installation n'a pas \xe9" "crit cette valeur, une r\xe9paration ne la "
            "remettrait pas : ajoutez-la (type REG_SZ) avec le chemin complet, ou r\xe9installez "
            "Velmora en donnant LN_APPLI et LN_BASE\r\nOK        ");

    // A package wrote it and is gone (its record left): the value is written back with
    // the text the package remembered, by the command printed, which works.
    bool made = !Record("query");
    if (!ok(Record("add", "/v WroteLN_Base /t REG_DWORD /d 1 /f") &&
                Record("add", "/v LN_Base /t REG_SZ /d \"" + e->database + "\" /f"),
            "the package's record is written"))
        return;
    run = RunDoctor(*e, DoctorCommand(*e, "--json"));
    std::string fix = "reg add \"HKLM\\SOFTWARE\\Zabrel\\Velmora\\Stellwick\" /v LN_Base /t "
                      "REG_SZ /d \"" + e->database + "\" /f /reg:32";
    expect_report(run, 1,
        "\"action\":\"\\u00e9" "crivez la valeur avec le chemin que le paquet d'installation y "
            "avait mis\",\"fix\":\"" + Json(fix) + "\"}");
    run = RunDoctor(*e, DoctorCommand(*e, ""));
    lines = Lines(run.output);
    size_t at = 0;
    while (at < lines.size() && lines[at].compare(0, 10, "PROBL\xc8ME  ") != 0)
        ++at;
    ok(at + 1 < lines.size() && lines[at + 1] == "          " + fix,
       "the command alone on the line after the problem's:\n%s", run.output.c_str());
    RunResult fixed = RunFix(fix);
    ok(fixed.exitCode == 0 && HasSettingsValue("LN_Base"), "the command ran: exit code %lu",
       fixed.exitCode);
    run = RunDoctor(*e, DoctorCommand(*e, "--json"));
    expect_report(run, 0, "{\"check\":\"settings\",\"status\":\"ok\"");
    Record("delete", "/v WroteLN_Base /f");
    Record("delete", "/v LN_Base /f");
    if (made)
        Record("delete", "/f");
}

static void CaseDoctorLibraryLacksOrdinal(CaseEnv *e)
{
    std::string library = e->programDir + "\\nNOTES.dll";
    ok(CopyFileA((OwnFolder() + "\\lacking-2072\\nNOTES.dll").c_str(), library.c_str(),
                 FALSE) != 0, "a library without ordinal 2072 replaces the stand-in");
    DoctorRun run = RunDoctor(*e, DoctorCommand(*e, "--json"));
    expect_report(run, 1,
        "{\"check\":\"library.image\",\"status\":\"ok\",\"machine\":\"0x014c\"",
        "{\"check\":\"library.ordinals\",\"status\":\"problem\",\"missing\":\"2072\","
        "\"expected\":13,\"text\":\"Il lui manque 1 des 13 ordinaux que le programme importe "
        ": 2072 (AttachFile)");
}

static void CaseDoctorBusyClient(CaseEnv *e)
{
    // Sound, but the client is busy right now: an exit code of its own.
    if (!StartRunningClient(e, "--window \"Velmora - Velmora.nsf\" --disabled-ms never"))
        return;
    DoctorRun run = RunDoctor(*e, DoctorCommand(*e, "--json"));
    expect_report(run, 3,
        "{\"check\":\"settings\",\"status\":\"ok\"",
        "{\"check\":\"client\",\"status\":\"busy\",\"running\":\"yes\",\"state\":\"busy\"",
        "{\"check\":\"client.database_window\",\"status\":\"info\",\"window\":\"open\","
        "\"title\":\"Velmora - Velmora.nsf\"",
        "\"verdict\":\"busy\",\"problems\":0,\"warnings\":0,\"busy\":1}");
}

static void CaseDoctorVersionAndWaits(CaseEnv *e)
{
    // --version alone; the same version for the program and the doctor in the report,
    // for an inventory (the stand-in library has no version).
    DoctorRun run = RunDoctor(*e, "\"" + OwnFolder() + "\\velmora-doctor.exe\" --version");
    const std::string &out = run.output;
    std::string version = out.size() > 17 ? out.substr(15, out.size() - 17) : "";
    ok(run.exitCode == 0 && out == "velmora-doctor " + version + "\r\n" && !version.empty(),
       "--version: exit code %lu, output %s", run.exitCode, out.c_str());

    // A library that waits, as for a password, longer than the doctor's limit: the doctor
    // gives up, says so, and calls the installation busy.
    SetEnv("NNOTES_INIT_WAIT_MS", "60000");
    DWORD start = GetTickCount();
    run = RunDoctor(*e, DoctorCommand(*e, "--json --open --timeout 2"));
    DWORD elapsed = GetTickCount() - start;
    SetEnv("NNOTES_INIT_WAIT_MS", NULL);
    expect_report(run, 3,
        "{\"check\":\"versions\",\"status\":\"info\",\"program\":\"" + version +
            "\",\"doctor\":\"" + version + "\",\"library\":\"\"",
        "{\"check\":\"open.runtime\",\"status\":\"busy\",\"text\":\"Le runtime Notes ne "
            "r\\u00e9pond pas en 2 s",
        "\"verdict\":\"busy\",\"problems\":0,\"warnings\":0,\"busy\":1}");
    ok(elapsed < 10000, "the doctor ends soon after its limit of 2 s: %lu ms", elapsed);

    // The runtime starts but the database does not open in time: the line names the
    // database, not the runtime.
    SetEnv("NNOTES_OPEN_WAIT_MS", "60000");
    run = RunDoctor(*e, DoctorCommand(*e, "--json --open --timeout 2"));
    SetEnv("NNOTES_OPEN_WAIT_MS", NULL);
    expect_report(run, 3,
        "{\"check\":\"open.database\",\"status\":\"busy\",\"text\":\"Runtime Notes "
            "d\\u00e9marr\\u00e9, mais la base ne s'ouvre pas en 2 s",
        "\"verdict\":\"busy\",\"problems\":0,\"warnings\":0,\"busy\":1}");
}

// Copies bin\marking's `name` into `folder` (as `as`, when given).
static bool CopyMarking(const std::string &name, const std::string &folder, const char *as = NULL)
{
    return CopyFileA((OwnFolder() + "\\marking\\" + name).c_str(),
                     (folder + "\\" + (as != NULL ? as : name)).c_str(), FALSE) != 0;
}

static std::vector<std::string> Marks(const std::vector<std::string> &folders)
{
    std::vector<std::string> found;
    for (const std::string &folder : folders) {
        for (const char *name : {"nNOTES.dll.mark", "velmora-mark.dll.mark", "velmora-late.dll.mark"}) {
            if (FileExists(folder + "\\" + name))
                found.push_back(folder + "\\" + name);
        }
    }
    return found;
}

static void CaseDoctorLibraryInCurrentFolder(CaseEnv *e)
{
    // The program's folder has no library; the folder the doctor is started from has one
    // that leaves a mark when loaded.  --open must not load it, nor take that folder for
    // the program's when --program names no file.
    const std::string &programDir = e->programDir;
    std::string current = e->root + "\\Downloads", tools = e->root + "\\Outils";
    ok(DeleteFileA((programDir + "\\nNOTES.dll").c_str()) && MakeFolder(current) &&
           MakeFolder(tools) && CopyMarking("velmora-mark.dll", current, "nNOTES.dll"),
       "a library in the current folder only");
    char before[MAX_PATH];
    GetCurrentDirectoryA(sizeof before, before);
    SetCurrentDirectoryA(current.c_str());
    DoctorRun run = RunDoctor(*e, DoctorCommand(*e, "--json --open"));
    expect_report(run, 1,
        "{\"check\":\"library.found\",\"status\":\"warning\",\"place\":\"current_folder\"",
        "{\"check\":\"open\",\"status\":\"problem\",\"text\":\"Ouverture de la base non "
            "essay\\u00e9e : le docteur ne charge pas " + Json(current) + "\\\\nNOTES.dll,");
    // --program must name a file: the current folder itself is bad usage, said once.
    run = RunDoctor(*e, "\"" + OwnFolder() + "\\velmora-doctor.exe\" --open --program .");
    ok(run.exitCode == 2 && Lines(run.output) == std::vector<std::string>{
           "velmora-doctor : --program . ne d\xe9signe aucun fichier ; aucune "
           "biblioth\xe8que n'est cherch\xe9" "e"},
       "--program naming no file: a usage problem said once; exit code %lu, output:\n%s",
       run.exitCode, run.output.c_str());
    same_lines(Marks({current}), {}, "the library of the current folder never ran");

    // Beside the program, a library that needs velmora-mark.dll at load time and
    // velmora-late.dll at run time, by bare name; both are also in the current folder
    // and beside a copy of the doctor.  Only the library's folder may give them.
    std::string doctor = "\"" + tools + "\\velmora-doctor.exe\" --json --open --program \"" +
                         e->program + "\"";
    ok(CopyFileA((OwnFolder() + "\\velmora-doctor.exe").c_str(),
                 (tools + "\\velmora-doctor.exe").c_str(), FALSE) &&
           DeleteFileA((current + "\\nNOTES.dll").c_str()) && CopyMarking("nNOTES.dll", programDir),
       "the doctor copied to a folder of its own, the needing library beside the program");
    for (const std::string &folder : {programDir, current, tools})
        ok(CopyMarking("velmora-mark.dll", folder) &&
               CopyMarking("velmora-mark.dll", folder, "velmora-late.dll"),
           "the siblings in %s", folder.c_str());
    run = RunDoctor(*e, doctor);
    same_lines(Marks({programDir, current, tools}),
               {programDir + "\\velmora-mark.dll.mark", programDir + "\\velmora-late.dll.mark"},
               "loaded at load time and at run time from the library's folder only");

    // Without the siblings in the library's folder, neither comes from elsewhere.
    for (const char *name : {"velmora-mark.dll.mark", "velmora-late.dll.mark", "velmora-late.dll"})
        DeleteFileA((programDir + "\\" + name).c_str());
    run = RunDoctor(*e, doctor);
    same_lines(Marks({programDir, current, tools}), {programDir + "\\velmora-mark.dll.mark"},
               "the sibling loaded at run time comes from nowhere else");
    DeleteFileA((programDir + "\\velmora-mark.dll.mark").c_str());
    DeleteFileA((programDir + "\\velmora-mark.dll").c_str());
    run = RunDoctor(*e, doctor);
    SetCurrentDirectoryA(before);
    expect_report(run, 1,
        "{\"check\":\"open.runtime\",\"status\":\"problem\",\"text\":\"" + Json(programDir) +
            "\\\\nNOTES.dll ne se charge pas (erreur 126) : une DLL dont elle d\\u00e9pend "
            "n'est ni dans son dossier ni dans System32 (recherche restreinte");
    same_lines(Marks({programDir, current, tools}), {},
               "the sibling needed at load time comes from nowhere else");

    // No library anywhere the program's import looks: beside a program outside the
    // client's folder the advice is to move the program; beside one already in the
    // folder LN_Appli names (its short form, as the program reads it), it is that no
    // Notes client is there.
    std::string none = "{\"check\":\"library.found\",\"status\":\"problem\",\"place\":"
                       "\"none\",\"path\":\"\",\"text\":\"nNOTES.dll introuvable : Windows "
                       "refusera de d\\u00e9marrer le programme\",\"action\":\"";
    SetCurrentDirectoryA(tools.c_str());
    DeleteFileA((programDir + "\\nNOTES.dll").c_str());
    run = RunDoctor(*e, DoctorCommand(*e, "--json"));
    // The command installs the package into the client's folder, with the settings the
    // program accepted (no product of the package is installed here to remove first).
    std::string clientFolder = e->client.substr(0, e->client.rfind('\\'));
    std::string version = DoctorVersion(run);
    expect_report(run, 1, none + "installez velmora-notes.exe dans le dossier du client Notes\","
        "\"fix\":\"" + Json("msiexec /i velmora-notes-" + version.substr(0, version.rfind('.')) +
            ".msi INSTALLDIR=\"" + clientFolder + "\" LN_APPLI=\"" + e->client +
            "\" LN_BASE=\"" + e->database + "\" /qn /norestart") + "\"}");
    std::string client = programDir + "\\notes-client.exe";
    ok(CopyFileA(e->client.c_str(), client.c_str(), FALSE) &&
           SetSettingsValue("LN_Appli", client.c_str()),
       "LN_Appli names a client beside the program");
    run = RunDoctor(*e, DoctorCommand(*e, "--json"));
    SetCurrentDirectoryA(before);
    expect_report(run, 1, none + "aucun client Notes n'est install\\u00e9 dans le dossier que "
                                 "nomme LN_Appli : installez ou r\\u00e9parez le client Notes, ou "
                                 "corrigez LN_Appli\"}");
}

static void CaseDoctorLibraryStuckOrCrashing(CaseEnv *e)
{
    // Elevated, --open runs nothing of the library's (it would run as administrator) and
    // says to run it as the user; every other check is made, and the installation is
    // sound.  Wine has no rights to cross: what it cannot show is that a library a
    // standard user planted beside the program would run with an administrator's rights
    // (learn.microsoft.com: "Dynamic-Link Library Security"; "TOKEN_ELEVATION").
    if (Elevated()) {
        DoctorRun run = RunDoctor(*e, DoctorCommand(*e, "--json --open"), true);
        expect_report(run, 0,
            "{\"check\":\"library.ordinals\",\"status\":\"ok\"",
            "{\"check\":\"open\",\"status\":\"warning\",\"text\":\"Ouverture de la base "
                "non essay\\u00e9" "e : le docteur tourne en administrateur",
            "\"action\":\"relancez le docteur avec --open en tant que l'utilisateur qui envoie "
                "les mails",
            "\"verdict\":\"sound\",\"problems\":0,\"warnings\":1,");
        same_lines(CallSummary(*e), {}, "calls.log: the library never ran elevated");
    } else {
        printf("  not elevated: the refusal of --open elevated is not seen here\n");
    }

    // A library that installs a crash handler of its own when its runtime starts, then
    // overflows its stack in OpenDatabase: the crash line and the summary still come
    // out, the JSON document closed.
    SetEnv("NNOTES_OPEN_OVERFLOW", "1");
    DoctorRun crashed = RunDoctor(*e, DoctorCommand(*e, "--json --open"));
    SetEnv("NNOTES_OPEN_OVERFLOW", NULL);
    expect_report(crashed, 1,
        "{\"check\":\"open.password\",\"status\":\"info\"",
        ",\n{\"check\":\"crash\",\"status\":\"problem\",\"text\":\"Le docteur s'arr\\u00eate "
            "sur l'exception 0xC00000FD pendant --open, dans le code de nNOTES.dll\",\"action\":"
            "\"r\\u00e9installez le client Notes, et signalez-le avec ce rapport\"}\n],"
            "\"verdict\":\"problem\",\"problems\":1,\"warnings\":0,\"busy\":0}\n");
    // On a console, in UTF-16, its code written in as well.
    if (crashed.skipped.empty()) {
        SetEnv("NNOTES_OPEN_OVERFLOW", "1");
        std::vector<std::wstring> rows = ConsoleRows(DoctorCommand(*e, "--open"), true);
        SetEnv("NNOTES_OPEN_OVERFLOW", NULL);
        while (!rows.empty() && rows.back().empty())
            rows.pop_back();
        ok(rows.size() >= 2 &&
               rows[rows.size() - 2] == L"PROBL\u00c8ME  Le docteur s'arr\u00eate sur "
                   L"l'exception 0xC00000FD pendant --open, dans le code de nNOTES.dll ; "
                   L"\u00e0 faire : r\u00e9installez le client Notes, et signalez-le avec ce "
                   L"rapport" &&
               rows.back() == L"Bilan : 1 probl\u00e8me, 0 avertissement.",
           "the crash line and the summary end the console's report (%u rows)",
           (unsigned)rows.size());
    }

    // A library whose loading waits 20 s: --timeout 1 bounds the load too, and the doctor
    // ends at once, its report whole.
    const std::string &programDir = e->programDir;
    ok(CopyMarking("nNOTES.dll", programDir) && CopyMarking("velmora-mark.dll", programDir) &&
           CopyMarking("velmora-mark.dll", programDir, "velmora-late.dll"),
       "the marking library beside the program");
    SetEnv("VELMORA_MARK_WAIT_MS", "20000");
    DWORD start = GetTickCount();
    DoctorRun run = RunDoctor(*e, DoctorCommand(*e, "--json --open --timeout 1"));
    DWORD elapsed = GetTickCount() - start;
    SetEnv("VELMORA_MARK_WAIT_MS", NULL);
    expect_report(run, 1,
        "{\"check\":\"open.load\",\"status\":\"problem\",\"text\":\"nNOTES.dll ne finit pas de "
            "se charger en 1 s",
        "\"verdict\":\"problem\",\"problems\":2,\"warnings\":0,\"busy\":0}\n");
    ok(elapsed < 4000, "the doctor ends soon after its limit of 1 s: %lu ms", elapsed);

    // A library that crashes in InitNotesRuntime: a problem said, then the summary.
    SetEnv("VELMORA_MARK_INIT", "crash");
    run = RunDoctor(*e, DoctorCommand(*e, "--open"));
    SetEnv("VELMORA_MARK_INIT", NULL);
    std::vector<std::string> lines = Lines(run.output);
    ok(!run.skipped.empty() || (run.exitCode == 1 && lines.size() >= 2 &&
           lines[lines.size() - 2] == "PROBL\xc8ME  Le docteur s'arr\xeate sur l'exception "
                                      "0xC0000005 pendant --open, dans le code de nNOTES.dll ; "
                                      "\xe0 faire : r\xe9installez le client Notes, et signalez-le "
                                      "avec ce rapport" &&
           lines.back() == "Bilan : 2 probl\xe8mes, 0 avertissement."),
       "a crash in the library: exit code %lu, report:\n%s", run.exitCode, run.output.c_str());
}

static void CaseDoctorLibrary64Bit(CaseEnv *e)
{
    // The stand-in as images that cannot be the program's library: x86-64, i386 with a
    // PE32+ optional header, an i386 PE32 without IMAGE_FILE_DLL.  --open loads none.
    std::string library = e->programDir + "\\nNOTES.dll";
    std::string bytes;
    DWORD pe = ReadBytes(library, &bytes) && bytes.size() > 0x40
                   ? *(const DWORD *)(bytes.data() + 0x3C) : 0;
    if (!ok(pe > 0 && pe + 26 <= bytes.size() && bytes.compare(pe, 4, "PE\0\0", 4) == 0,
            "the stand-in is a PE image"))
        return;
    unsigned characteristics = (unsigned char)bytes[pe + 22] | (unsigned char)bytes[pe + 23] << 8;

    // The program's version is read from its image only as the image check reads a
    // library: i386 with a PE32 optional header.  Its own, then with the magic of PE32+
    // (whose optional header the version reader would misread): none.
    DoctorRun run = RunDoctor(*e, DoctorCommand(*e, "--json"));
    std::string version = DoctorVersion(run);
    expect_report(run, 0, "\"program\":\"" + version + "\",\"doctor\":\"" + version + "\"");
    std::string program;
    DWORD programPe = ReadBytes(e->program, &program) && program.size() > 0x40
                          ? *(const DWORD *)(program.data() + 0x3C) : 0;
    ok(!version.empty() && programPe > 0 && programPe + 26 <= program.size() &&
           program.compare(programPe + 24, 2, "\x0B\x01", 2) == 0 &&
           WriteBytes(e->program, program.replace(programPe + 24, 2, "\x0B\x02", 2)),
       "the program's version is %s, and its magic is made PE32+", version.c_str());
    std::string notDll = {(char)(characteristics & 0xFF), (char)((characteristics >> 8) & ~0x20)};
    const struct {
        const char *machine, *magic;
        std::string characteristics;
        const char *shown, *words;
    } cases[] = {
        {"\x64\x86", "\x0B\x02", bytes.substr(pe + 22, 2), "0x8664",
         "n'est pas une biblioth\\u00e8que 32 bits (machine 0x8664)"},
        {"\x4C\x01", "\x0B\x02", bytes.substr(pe + 22, 2), "0x014c",
         "se dit i386 mais son en-t\\u00eate optionnel n'est pas PE32 (magic 0x020b)"},
        {"\x4C\x01", "\x0B\x01", notDll, "0x014c",
         "est un programme, pas une biblioth\\u00e8que (IMAGE_FILE_DLL absent)"},
    };
    for (const auto &c : cases) {
        std::string patched = bytes;
        patched.replace(pe + 4, 2, c.machine, 2);
        patched.replace(pe + 24, 2, c.magic, 2);
        patched.replace(pe + 22, 2, c.characteristics);
        ok(WriteBytes(library, patched), "the library patched");
        ForgetRun(*e);
        run = RunDoctor(*e, DoctorCommand(*e, "--json --open"));
        expect_report(run, 1,
            "\"program\":\"\",\"doctor\":\"" + version + "\",\"library\":\"\"",
            "{\"check\":\"library.image\",\"status\":\"problem\",\"machine\":\"" +
                std::string(c.shown) + "\",\"text\":\"" + Json(library) + " " + c.words,
            "{\"check\":\"open\",\"status\":\"problem\",\"text\":\"Ouverture de la base non "
                "essay\\u00e9e : la biblioth\\u00e8que n'est pas une DLL 32 bits saine",
            "\"verdict\":\"problem\"");
        same_lines(CallSummary(*e), {}, "calls.log: the library never ran");
    }
}

static void CaseDoctorReadOnlyJob(CaseEnv *e)
{
    // The program cannot open a read-only job for deletion, and shows message 8; the
    // doctor, which opens it without deleting, must say so too, and keep it.
    std::string job = WritePlainJob(*e);
    SetFileAttributesA(job.c_str(), FILE_ATTRIBUTE_READONLY);
    KeptFile kept = KeepFile(job);
    DoctorRun run = RunDoctor(*e, DoctorCommand(*e, "--json --job \"" + job + "\""));
    expect_report(run, 1,
        "{\"check\":\"job.open\",\"status\":\"problem\",\"rule\":\"job_unopenable\","
            "\"value\":\"\",\"detail\":5,",
        std::string("le programme affichera \\u00ab ") + TextOpenJob + " \\u00bb",
        "{\"check\":\"job.read\",\"status\":\"ok\"");
    expect_kept(kept, "the read-only job");
    SetFileAttributesA(job.c_str(), FILE_ATTRIBUTE_NORMAL);
}

static void CaseDoctorOtherCodePage(CaseEnv *e)
{
    // Under ANSI 1250 (velmora-e2e.exe --ansi-1250) the doctor's own French still reads
    // as written (its 0xE8 is e grave, not 1250's c with caron), and what it reads is
    // taken from 1250: an attachment named with byte 0xB3, 1250's l with stroke (U+0142).
    HANDLE file = CreateFileW((Wide(e->jobDir) + L"\\\u0142.pdf").c_str(), GENERIC_WRITE, 0,
                              NULL, CREATE_ALWAYS, 0, NULL);
    ok(file != INVALID_HANDLE_VALUE, "the attachment is made (error %lu)", GetLastError());
    CloseHandle(file);
    Job f = PlainJob(*e);
    f.extras.push_back(e->jobDir + "\\\xb3.pdf");
    f.extras.push_back(e->jobDir + "\\absente.pdf");
    std::string job = e->jobDir + "\\memo job.tmp";
    WriteJobFile(job, f);
    // The library in the system folder (under Wine only: on Windows that folder is the
    // machine's own), and the client busy: the words of those lines and of the summary
    // come from the doctor's own 1252 through the same conversion.
    bool wine = RunningOnWine();
    std::string programLibrary = e->programDir + "\\nNOTES.dll";
    std::string systemLibrary = SystemPath("nNOTES.dll");
    if (wine)
        ok(MoveFileExA(programLibrary.c_str(), systemLibrary.c_str(),
                                MOVEFILE_REPLACE_EXISTING),
           "the library moved to %s", systemLibrary.c_str());
    StartRunningClient(e, "--window \"Velmora - Velmora.nsf\" --disabled-ms never");
    DoctorRun run = RunDoctor(*e, DoctorCommand(*e, "--json --job \"" + job + "\""));
    std::string path = Json(e->jobDir) + "\\\\\\u0142.pdf";
    // The action is the doctor's own text: its 0xE0 is a grave, not 1250's r acute.
    expect_report(run, 1,
        "{\"check\":\"job.attachment\",\"status\":\"ok\",\"number\":2,\"path\":\"" + path +
            "\",\"state\":\"present\",\"text\":\"Pi\\u00e8" "ce jointe 2 : " + path +
            ", pr\\u00e9sente, attach\\u00e9" "e sous le nom \\u0142.pdf\"",
        "{\"check\":\"job.attachment\",\"status\":\"problem\",\"number\":3,",
        "\"action\":\"laissez le fichier en place jusqu'\\u00e0 l'envoi, ou corrigez son chemin "
            "dans la demande\"}");

    // Redirected to a file, in 1250 with Windows' best fit (Microsoft's bestfit1250.txt,
    // WCTABLE: U+00E8 and U+00EA to 0x65, U+00E0 to 0x61; U+00E9, U+00C9 and U+0142 have
    // bytes of their own, 0xE9, 0xC9 and 0xB3).
    CloseHandle(CreateFileA((e->jobDir + "\\absente.pdf").c_str(), GENERIC_WRITE, 0, NULL,
                            CREATE_ALWAYS, 0, NULL));
    run = RunDoctor(*e, DoctorCommand(*e, "--job \"" + job + "\""));
    if (wine)
        DeleteFileA(systemLibrary.c_str());
    expect_report(run, 3,
        wine ? "\r\nOK        nNOTES.dll trouv\xe9" "e dans le dossier systeme : " + systemLibrary + "\r\n"
             : "\r\nOK        nNOTES.dll trouv\xe9" "e dans le dossier du programme : " +
                   programLibrary + "\r\n",
        "\r\nOK        Piece jointe 2 : " + e->jobDir + "\\\xb3.pdf, pr\xe9sente, attach\xe9"
            "e sous le nom \xb3.pdf\r\n",
        "\r\nOCCUP\xc9    Client Notes lanc\xe9 mais occup\xe9 : sa fenetre principale est "
            "d\xe9sactiv\xe9" "e ;",
        "\r\nBilan : installation saine, mais occup\xe9" "e pour l'instant : r\xe9" "essayez "
            "plus tard (0 avertissement).\r\n");
}

static void CaseDoctorSettingsIn64BitView(CaseEnv *e)
{
    // Settings a 64-bit tool wrote: the doctor shows them in the 64-bit view, and the
    // program's verdict on them.
    RemoveSettingsKey();
    bool set = SetSettingsValue("LN_Appli", e->client.c_str(), KEY_WOW64_64KEY) &&
               SetSettingsValue("LN_Base", e->database.c_str(), KEY_WOW64_64KEY);
    if (ok(set && !HasSettingsValue("LN_Base"), "the settings in the 64-bit view only")) {
        DoctorRun run = RunDoctor(*e, DoctorCommand(*e, "--json"));
        expect_report(run, 0,
            "{\"check\":\"settings.key\",\"status\":\"info\",\"view\":\"32\","
                "\"rule\":\"key_missing\"",
            "{\"check\":\"settings.value\",\"status\":\"ok\",\"view\":\"64\",\"value\":"
                "\"LN_Base\",\"type\":\"REG_SZ\"",
            "\"path\":\"" + Json(e->database) + "\",\"exists\":\"file\"",
            "{\"check\":\"settings\",\"status\":\"ok\",\"rule\":\"none\",\"client\":\"" +
                Json(e->clientShort) + "\",\"database\":\"" + Json(e->databaseShort) + "\"");
        // A different LN_Base in the 32-bit view is the one the program reads: the
        // 64-bit one is hidden from it.
        std::string other = e->root + "\\Autre.nsf";
        CloseHandle(CreateFileA(other.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
        SetSettingsValue("LN_Appli", e->client.c_str());
        SetSettingsValue("LN_Base", other.c_str());
        run = RunDoctor(*e, DoctorCommand(*e, "--json"));
        expect_report(run, 0,
            "{\"check\":\"settings.value\",\"status\":\"ok\",\"view\":\"32\",\"value\":"
                "\"LN_Base\"",
            "{\"check\":\"settings.value\",\"status\":\"warning\",\"view\":\"64\",\"value\":"
                "\"LN_Base\"",
            "\"quotes\":\"no\",\"used\":\"no\",\"text\":",
            "que le programme lit\",\"action\":\"supprimez la valeur de la vue 64 bits");
        // The command printed removes it, and the warning goes.
        std::string fix = "reg delete \"HKLM\\SOFTWARE\\Zabrel\\Velmora\\Stellwick\" /v "
                          "LN_Base /f /reg:64";
        expect_report(run, 0, "corrigez celle de la vue 32 bits\",\"fix\":\"" + Json(fix) +
                                  "\"}");
        RunResult fixed = RunFix(fix);
        ok(fixed.exitCode == 0 && !HasSettingsValue("LN_Base", KEY_WOW64_64KEY),
           "the command ran: exit code %lu", fixed.exitCode);
        run = RunDoctor(*e, DoctorCommand(*e, "--json"));
        expect_report(run, 0, "\"verdict\":\"sound\",\"problems\":0,\"warnings\":0,");
        RemoveSettingsKey();
    }
    RemoveSettingsKey(KEY_WOW64_64KEY);
}

void ExpectDoctorRefusalAt(const char *file, int line, const CaseEnv &e, const char *rule,
                           const char *value)
{
    DoctorRun run = RunDoctor(e, DoctorCommand(e, "--json"));
    ExpectReportAt(file, line, run, 1,
                   {std::string("{\"check\":\"settings\",\"status\":\"problem\",\"rule\":\"") +
                    rule + "\",\"value\":\"" + value + "\""});
}

// Whether the doctor, still running, comes to say `words` within 10 s.
static bool Says(DoctorProcess *run, const std::string &words)
{
    for (int i = 0; i < 100 && run->output.find(words) == std::string::npos &&
                    WaitForSingleObject(run->process.hProcess, 100) == WAIT_TIMEOUT;
         ++i)
        ReadBytes(run->outPath, &run->output);
    return run->output.find(words) != std::string::npos;
}

// --capture runs as the user whose application writes the jobs: each case starts it
// under the filtered token (under Wine every process is elevated, as check.cmd is).
// With `watching`, waits for it to say it is watching, and ends it when it does not.
static bool StartCapture(const CaseEnv &e, const std::string &arguments, DoctorProcess *run,
                         bool watching = true)
{
    // DEST is made by the capture, as the user, in the case's folder.
    if (!ok(AllowUser(e.root, USER_ADDS_FOLDERS), "the user may make folders in the case's") ||
        !StartDoctor(e, "\"" + OwnFolder() + "\\velmora-doctor.exe\" --capture " + arguments,
                     true, run))
        return false;
    if (!watching ||
        ok(Says(run, "Capture des fichiers"), "the capture is watching:\n%s", run->output.c_str()))
        return true;
    TerminateProcess(run->process.hProcess, 0xDEAD);
    CloseHandle(run->process.hThread);
    CloseHandle(run->process.hProcess);
    return false;
}

static void CaseDoctorCapture(CaseEnv *e)
{
    // --capture while the application sends JOBS jobs: every memo is sent, every job
    // deleted by the program (the capture never holds one), and every job kept in the
    // destination with the bytes the application wrote; another program's file in the
    // folder is neither kept nor counted.
    enum { JOBS = 40 };
    Job f = PlainJob(*e);       // its attachment is in the folder before the capture
    std::string dest = e->root + "\\kept jobs";
    DoctorProcess capture;
    if (!StartCapture(*e, Quoted(e->jobDir) + " " + Quoted(dest) + " --count " +
                              std::to_string(JOBS) + " --match \"memo job*.tmp\"",
                      &capture))
        return;

    // In rounds of ROUND jobs written one after the other, then sent at once.
    enum { ROUND = 10 };
    std::vector<std::string> written(JOBS + 1);
    DWORD start = GetTickCount();
    for (int first = 1; first <= JOBS; first += ROUND) {
        std::vector<std::string> jobs, lines;
        WriteBytes(e->jobDir + "\\other program " + std::to_string(first) + ".tmp", "not a job");
        for (int i = first; i < first + ROUND; ++i) {
            f.documentName = "Devis " + std::to_string(i);
            jobs.push_back(e->jobDir + "\\memo job " + std::to_string(i) + ".tmp");
            ok(WriteJobFile(jobs.back(), f) && ReadBytes(jobs.back(), &written[(size_t)i]),
               "job %d written", i);
            lines.push_back(SendCommand(*e, jobs.back()));
        }
        std::vector<RunResult> runs = RunAllAndAnswer(lines, 60000);
        for (size_t r = 0; r < runs.size(); ++r) {
            expect_outcome(runs[r]);
            ok(!FileExists(jobs[r]), "%s is deleted by the program", jobs[r].c_str());
        }
    }
    DWORD sending = GetTickCount() - start;
    EndDoctor(&capture, 20000);

    ok(CountCalls(*e, "SaveNote -> 0") == JOBS && FileExists(NoteRecordPath(*e, JOBS)),
       "%d memos sent", JOBS);
    int kept = 0;
    for (int i = 1; i <= JOBS; ++i) {
        char name[64];
        wsprintfA(name, "\\%04d memo job %d.tmp", i, i);
        std::string bytes;
        kept += ReadBytes(dest + name, &bytes) && bytes == written[(size_t)i];
    }
    std::vector<std::string> lines = Lines(capture.output);
    printf("  capture: %d jobs sent in %lu ms, %d memos saved, %d jobs kept as written\n", JOBS,
           sending, CountCalls(*e, "SaveNote -> 0"), kept);
    ok(kept == JOBS && capture.exitCode == 0 && !lines.empty() &&
           lines.back() == "Bilan : 40 fichiers gard\xe9s, 0 perdu, 0 \xe9" "cart\xe9, 0 d\xe9"
                           "bordement.",
       "%d of %d jobs kept as written, in %lu ms of sending; exit code %lu, output:\n%s", kept,
       JOBS, sending, capture.exitCode, capture.output.c_str());
    // Each kept file's line carries the time it was kept.
    std::string first;
    for (size_t i = lines.size(); i-- > 0;)
        first = lines[i].compare(0, 5, "GARD\xc9") == 0 ? lines[i] : first;
    std::string shape = first.substr(0, 30);
    for (size_t i = 10; i < shape.size(); ++i)
        shape[i] = shape[i] >= '0' && shape[i] <= '9' ? '9' : shape[i];
    ok(shape == "GARD\xc9     9999-99-99 99:99:99 " &&
           first.find("memo job 1.tmp -> " + dest + "\\0001 memo job 1.tmp (lien)") !=
               std::string::npos,
       "the first kept file's line, with its time: %s", first.c_str());
    ok(capture.output.find("other program") == std::string::npos, "no other program's file kept");
}

// Under Wine, the Unix form of a Windows path whose last part may not exist yet ("" when
// there is none), and a Unix command run on such paths: Wine runs a Unix program that
// CreateProcess is given, and makes no symbolic link of its own.
static std::string UnixPath(const std::string &path)
{
    typedef char *(CDECL * UnixName)(const WCHAR *);
    UnixName unixName = (UnixName)(void *)GetProcAddress(GetModuleHandleA("kernel32.dll"),
                                                          "wine_get_unix_file_name");
    char *name = unixName != NULL ? unixName(Wide(path).c_str()) : NULL;
    std::string found = name != NULL ? name : "";
    if (name != NULL)
        HeapFree(GetProcessHeap(), 0, name);
    return found;
}

static bool RunUnix(const char *program, const char *option,
                    const std::vector<std::string> &unixPaths)
{
    std::string line = std::string(program) + " " + option, application = "Z:";
    for (size_t i = 0; i < unixPaths.size(); ++i)
        line += " \"" + unixPaths[i] + "\"";
    for (const char *c = program; *c != '\0'; ++c)
        application += *c == '/' ? '\\' : *c;
    // Wine gives no exit code of a Unix process, nor waits for its end: the caller
    // looks for what it made.
    return RunAndAnswer(line, 10000, application.c_str()).started;
}

static bool Appears(const std::string &path, bool present = true)
{
    for (int i = 0; i < 50 && FileExists(path) != present; ++i)
        Sleep(50);
    return FileExists(path) == present;
}

static void CaseDoctorCaptureRefusals(CaseEnv *e)
{
    std::string dest = e->root + "\\kept";
    std::string capture = "\"" + OwnFolder() + "\\velmora-doctor.exe\" --capture " +
                          Quoted(e->jobDir) + " ";
    // Elevated (under Wine every process is), the capture refuses to start and makes
    // nothing: it must run as the user whose application writes the jobs.
    DoctorRun run = RunDoctor(*e, capture + Quoted(dest), true);
    expect_report(run, 2, "PROBL\xc8ME  La capture ne s'ex\xe9" "cute ni en administrateur");
    ok(!FileExists(dest), "the elevated capture made no destination");
    // A count of none, an empty pattern or an option given twice: the usage, before
    // anything else.
    for (const char *bad : {" --count 0", " --match \"\"", " --count 1 --count 2"}) {
        run = RunDoctor(*e, capture + Quoted(dest) + bad, true);
        expect_report(run, 2, "Usage : velmora-doctor.exe --capture DOSSIER DESTINATION");
    }

    // Under the filtered token: a destination that exists, or a path through a reparse
    // point, is refused before watching.  Under Wine, which makes no junction, a Unix
    // symbolic link shows as one; on Windows, a junction.
    struct Refused {
        std::string folder, dest, words;
    };
    std::string linked = e->root + "\\linked jobs";
    bool wine = RunningOnWine();
    bool link = wine ? RunUnix("/bin/ln", "-s", {UnixPath(e->jobDir), UnixPath(linked)})
                     : RunAndAnswer(Quoted(SystemPath("cmd.exe")) + " /c mklink /J " +
                                        Quoted(linked) + " " + Quoted(e->jobDir),
                                    10000).exitCode == 0;
    ok(link && Appears(linked), "a link to the job folder");
    const Refused refused[] = {
        {e->jobDir, e->programDir, "la destination existe d\xe9j\xe0"},
        {linked, dest, "un des chemins passe par un point d'analyse"},
        {e->jobDir, linked + "\\kept", "un des chemins passe par un point d'analyse"},
    };
    for (const Refused &r : refused) {
        DoctorProcess c;
        if (StartCapture(*e, Quoted(r.folder) + " " + Quoted(r.dest), &c, false)) {
            EndDoctor(&c, 20000);
            ok(c.exitCode == 1 && c.output.find(r.words) != std::string::npos,
               "%s to %s refused: exit code %lu, output:\n%s", r.folder.c_str(),
               r.dest.c_str(), c.exitCode, c.output.c_str());
        }
    }
    ok(!FileExists(dest) && !FileExists(e->jobDir + "\\kept"), "no refused capture made DEST");
    if (link && wine)
        RunUnix("/bin/rm", "", {UnixPath(linked)}) && Appears(linked, false);
    else if (link)
        RemoveDirectoryA(linked.c_str());       // the junction, not the folder it names
}

static void CaseDoctorCaptureOverflow(CaseEnv *e)
{
    // More changes at once than the capture's buffer holds: the capture is held still
    // while BURST files with long names appear, so that their events overflow the
    // buffer (ERROR_NOTIFY_ENUM_DIR); it says so, counts it, reads the folder again,
    // where it finds the job written amid the burst, and goes on watching: the job
    // written afterwards is kept too.
    enum { BURST = 700 };
    DoctorProcess capture;
    std::string dest = e->root + "\\kept";
    if (!StartCapture(*e, Quoted(e->jobDir) + " " + Quoted(dest) + " --count 2 --match memo*",
                      &capture))
        return;
    ok(SuspendThread(capture.process.hThread) == 0, "the capture held still");
    std::string longName(150, 'n');
    for (int i = 0; i < BURST; ++i) {
        WriteBytes(e->jobDir + "\\" + longName + " " + std::to_string(i), "");
        if (i == BURST / 2)
            WriteBytes(e->jobDir + "\\memo amid the burst.tmp", "amid");
    }
    ResumeThread(capture.process.hThread);
    // The job after the burst once the one amid it is kept, so that they keep their order.
    Says(&capture, "memo amid the burst.tmp -> ");
    WritePlainJob(*e);
    EndDoctor(&capture, 20000);
    std::string amid, kept;
    ReadBytes(dest + "\\0001 memo amid the burst.tmp", &amid);
    ReadBytes(dest + "\\0002 memo job.tmp", &kept);
    ok(capture.exitCode == 1 && amid == "amid" && kept.size() > 0 &&
           capture.output.find("ATTENTION Trop de changements \xe0 la fois") != std::string::npos &&
           Lines(capture.output).back() ==
               "Bilan : 2 fichiers gard\xe9s, 0 perdu, 0 \xe9" "cart\xe9, 1 d\xe9" "bordement.",
       "the job amid the overflow and the one after it are kept: exit code %lu, output:\n%s",
       capture.exitCode, capture.output.c_str());
}

static bool WriteShared(const std::string &path, const std::string &bytes)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, 0,
                           NULL);
    DWORD wrote = 0;
    bool good = f != INVALID_HANDLE_VALUE &&
                WriteFile(f, bytes.data(), (DWORD)bytes.size(), &wrote, NULL) &&
                wrote == bytes.size();
    if (f != INVALID_HANDLE_VALUE)
        CloseHandle(f);
    return good;
}

static void CaseDoctorCaptureCopies(CaseEnv *e)
{
    // A destination on another file system takes no hard link: each file is copied,
    // and copied again when written, never onto the application's job.  Under Wine,
    // /dev/shm is such a file system, given a drive letter of its own (Wine shows the
    // mount point Z:\dev\shm as a reparse point, which the capture refuses); on Windows
    // it would be another volume.
    if (!RunningOnWine()) {
        printf("  (not on Windows: needs a destination on another volume)\n");
        return;
    }
    std::string drive = UnixPath("C:\\");
    drive = drive.substr(0, drive.size() - 3) + "r:";       // beside dosdevices/c:/
    if (!ok(!FileExists("R:\\"), "no drive R: before the case"))
        return;
    std::string dest = "R:\\velmora capture " + std::to_string(GetCurrentProcessId());
    DoctorProcess capture;
    if (ok(RunUnix("/bin/ln", "-s", {"/dev/shm", drive}) && Appears("R:\\"),
           "/dev/shm as drive R:") &&
        StartCapture(*e, Quoted(e->jobDir) + " " + Quoted(dest) + " --count 2 --match *.tmp",
                     &capture)) {
        // Written by an application that lets others read meanwhile: the capture copies it
        // when it appears, and again, whole, after it is written again.
        std::string job = e->jobDir + "\\memo job.tmp", first = "first version",
                    again = "first version, then written again";
        ok(WriteShared(job, first), "the job written");
        Says(&capture, "memo job.tmp -> ");
        ok(WriteShared(job, again), "the job written again");
        // Over the cap of a file, which is refused.  (A file that is a link is refused too,
        // but Wine shows a Unix link to a file as the file itself:
        // FILE_FLAG_OPEN_REPARSE_POINT opens "the reparse point" rather than its target on
        // Windows, https://learn.microsoft.com/windows/win32/api/fileapi/nf-fileapi-createfilea)
        // Moved in whole, so that the capture first sees it at its full size.
        std::string big = e->root + "\\big.tmp";
        ok(WriteBytes(big, std::string(1024 * 1024 + 1, 'b')) &&
               MoveFileA(big.c_str(), (e->jobDir + "\\big.tmp").c_str()),
           "a file over the cap moved in");
        EndDoctor(&capture, 20000);
        std::string jobNow, kept;
        ReadBytes(job, &jobNow);
        ReadBytes(dest + "\\0001 memo job.tmp", &kept);
        ok(jobNow == again, "the job keeps what the application wrote (%d bytes of %d)",
           (int)jobNow.size(), (int)again.size());
        ok(kept == again, "the copy holds the last write (%d bytes of %d)", (int)kept.size(),
           (int)again.size());
        ok(capture.exitCode == 1 &&
               capture.output.find("memo job.tmp -> " + dest + "\\0001 memo job.tmp (copie)") !=
                   std::string::npos &&
               capture.output.find("big.tmp : plus de 1 Mo, le plafond par fichier") !=
                   std::string::npos &&
               Lines(capture.output).back() ==
                   "Bilan : 1 fichier gard\xe9, 0 perdu, 1 \xe9" "cart\xe9, 0 d\xe9" "bordement.",
           "one copy, one file refused: exit code %lu, output:\n%s", capture.exitCode,
           capture.output.c_str());
    }
    RunUnix("/bin/rm", "-r", {UnixPath(dest)});
    Appears(dest, false);
    RunUnix("/bin/rm", "", {drive});
}

// The cases of this file, each named here only, with what it needs of the machine
// (tests/e2e/case_runner.h).
static const CaseEntry Cases[] = {
    {"doctor_sound", CaseDoctorSound},
    {"doctor_missing_value", CaseDoctorMissingValue},
    {"doctor_library_lacks_ordinal", CaseDoctorLibraryLacksOrdinal},
    {"doctor_busy_client", CaseDoctorBusyClient},
    {"doctor_version_and_waits", CaseDoctorVersionAndWaits},
    {"doctor_library_in_current_folder", CaseDoctorLibraryInCurrentFolder},
    {"doctor_library_64bit", CaseDoctorLibrary64Bit},
    {"doctor_library_stuck_or_crashing", CaseDoctorLibraryStuckOrCrashing},
    {"doctor_read_only_job", CaseDoctorReadOnlyJob},
    {"doctor_capture", CaseDoctorCapture, 1252, 0, NEEDS_LINKED_TOKEN},
    {"doctor_capture_refusals", CaseDoctorCaptureRefusals, 1252, 0, NEEDS_LINKED_TOKEN},
    {"doctor_capture_overflow", CaseDoctorCaptureOverflow, 1252, 0, NEEDS_LINKED_TOKEN},
    {"doctor_capture_copies", CaseDoctorCaptureCopies, 1252, 0, NEEDS_LINKED_TOKEN},
    {"doctor_settings_in_64bit_view", CaseDoctorSettingsIn64BitView, 1252, 0,
     NEEDS_64BIT_WINDOWS},
    {"doctor_other_code_page", CaseDoctorOtherCodePage, 1250},
};
extern const CaseList DoctorCases = {Cases, sizeof Cases / sizeof Cases[0]};
