// The installation doctor, velmora-doctor.exe, against the case's world: one case per
// family of verdicts (a sound installation, a value missing, a library without an
// ordinal or built for x86-64, a library only in the current folder, a busy client, a
// library that waits, a read-only job, the settings in the 64-bit view, another ANSI
// code page, the capture of jobs).  Its JSON report is checked through exact pieces of
// its check objects, whose keys come in a fixed order.
#include "tests/e2e/case_runner.h"
#include "testkit/wine/machine.h"

DoctorRun RunDoctor(const CaseEnv &e, const std::string &commandLine)
{
    DoctorRun run = {0xFFFFFFFF, ""};
    // A file of its own for each run: a process the doctor leaves behind may still hold
    // the last one.
    static int runs;
    std::string outPath = e.root + "\\doctor output " + std::to_string(++runs) + ".txt";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             &inherit, CREATE_ALWAYS, 0, NULL);
    PROCESS_INFORMATION process;
    bool started = out != INVALID_HANDLE_VALUE &&
                   StartProgram(commandLine, &process, CREATE_NO_WINDOW, out);
    if (ok(started, "the doctor starts: %s (error %lu)", commandLine.c_str(), GetLastError())) {
        if (!ok(WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0,
                "the doctor ends within 30 s"))
            TerminateProcess(process.hProcess, 0xDEAD);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    if (out != INVALID_HANDLE_VALUE)
        CloseHandle(out);
    ReadBytes(outPath, &run.output);
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
    OkAt(file, line, run.exitCode == exitCode, "doctor's exit code: got %lu, expected %lu",
         run.exitCode, exitCode);
    for (size_t i = 0; i < pieces.size(); ++i)
        OkAt(file, line, run.output.find(pieces[i]) != std::string::npos,
             "the doctor's report holds %s:\n%s", pieces[i].c_str(), run.output.c_str());
}

static std::string Json(const std::string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
        out += text[i] == '\\' ? std::string("\\\\") : std::string(1, text[i]);
    return out;
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

static void CaseDoctorMissingValue(CaseEnv *e)
{
    SetSettingsValue("LN_Base", NULL);
    DoctorRun run = RunDoctor(*e, DoctorCommand(*e, "--json"));
    expect_report(run, 1,
        "{\"check\":\"settings.value\",\"status\":\"info\",\"view\":\"32\",\"value\":\"LN_Base\","
        "\"rule\":\"value_missing\"",
        "{\"check\":\"settings\",\"status\":\"problem\",\"rule\":\"value_missing\",\"value\":"
        "\"LN_Base\",\"detail\":2,");
    run = RunDoctor(*e, DoctorCommand(*e, ""));
    expect_report(run, 1,
        std::string("PROBL\xc8ME  R\xe9glages refus\xe9s par le programme, qui affichera \xab ") +
            TextNotInstalled + " \xbb : la valeur LN_Base est absente (erreur 2) ; \xe0 faire : "
            "r\xe9installez Velmora, ou ajoutez la valeur (type REG_SZ) avec le chemin complet\r\n");
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
    // Redirected to a file, in the ANSI code page: the accents of the summary's added
    // words come through as those of the rest of the line.
    run = RunDoctor(*e, DoctorCommand(*e, ""));
    expect_report(run, 3,
        "\r\nOCCUP\xc9    Client Notes lanc\xe9 mais occup\xe9 : sa fen\xeatre principale est "
            "d\xe9sactiv\xe9" "e ;",
        "\r\nBilan : installation saine, mais occup\xe9" "e pour l'instant : r\xe9" "essayez "
            "plus tard (0 avertissement).\r\n");
}

static void CaseDoctorVersionAndWaits(CaseEnv *e)
{
    // --version alone; the same version for the program and the doctor in the report,
    // for an inventory (the stand-in library has no version).
    DoctorRun run = RunDoctor(*e, "\"" + OwnFolder() + "\\velmora-doctor.exe\" --version");
    const std::string &out = run.output;
    std::string version = out.size() > 17 && out.compare(0, 15, "velmora-doctor ") == 0 &&
                                  out.compare(out.size() - 2, 2, "\r\n") == 0
                              ? out.substr(15, out.size() - 17)
                              : "";
    ok(run.exitCode == 0 && !version.empty(), "--version: exit code %lu, output %s",
       run.exitCode, out.c_str());

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
}

// Copies each of bin\marking's `names` into `folder` (as `as`, when given).
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
    run = RunDoctor(*e, "\"" + OwnFolder() + "\\velmora-doctor.exe\" --open --program velmora-notes");
    ok(run.exitCode == 2 && Lines(run.output) == std::vector<std::string>{
           "velmora-doctor : --program velmora-notes ne d\xe9signe aucun fichier ; aucune "
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
    DeleteFileA((programDir + "\\velmora-mark.dll.mark").c_str());
    DeleteFileA((programDir + "\\velmora-late.dll.mark").c_str());
    DeleteFileA((programDir + "\\velmora-late.dll").c_str());
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
    expect_report(run, 1, none + "installez velmora-notes.exe dans le dossier du client Notes\"}");
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
    ok(run.exitCode == 1 && lines.size() >= 2 &&
           lines[lines.size() - 2] == "PROBL\xc8ME  Le docteur s'arr\xeate sur l'exception "
                                      "0xC0000005 pendant --open, dans le code de nNOTES.dll ; "
                                      "\xe0 faire : r\xe9installez le client Notes, et signalez-le "
                                      "avec ce rapport" &&
           lines.back() == "Bilan : 2 probl\xe8mes, 0 avertissement.",
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
        DoctorRun run = RunDoctor(*e, DoctorCommand(*e, "--json --open"));
        expect_report(run, 1,
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
    char system[MAX_PATH];
    UINT n = GetSystemDirectoryA(system, sizeof system);
    std::string programLibrary = e->programDir + "\\nNOTES.dll";
    std::string systemLibrary = std::string(system, n < sizeof system ? n : 0) + "\\nNOTES.dll";
    if (wine)
        ok(n > 0 && MoveFileExA(programLibrary.c_str(), systemLibrary.c_str(),
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

static void CaseDoctorCapture(CaseEnv *e)
{
    // --capture while the application sends JOBS jobs: every memo is sent, every job
    // deleted by the program (the capture never holds one), and every job kept in the
    // destination with the bytes the application wrote.
    enum { JOBS = 40 };
    Job f = PlainJob(*e);       // its attachment is in the folder before the capture
    std::string dest = e->root + "\\kept jobs";
    std::string outPath = e->root + "\\capture output.txt";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             &inherit, CREATE_ALWAYS, 0, NULL);
    std::string line = "\"" + OwnFolder() + "\\velmora-doctor.exe\" --capture \"" + e->jobDir +
                       "\" \"" + dest + "\" --count " + std::to_string(JOBS);
    PROCESS_INFORMATION capture;
    if (!ok(out != INVALID_HANDLE_VALUE && StartProgram(line, &capture, CREATE_NO_WINDOW, out),
            "the capture starts: %s (error %lu)", line.c_str(), GetLastError()))
        return;
    CloseHandle(out);
    std::string output;
    for (int i = 0; i < 100 && output.find("Capture des fichiers") == std::string::npos; ++i) {
        Sleep(100);
        ReadBytes(outPath, &output);
    }
    ok(output.find("Capture des fichiers") != std::string::npos, "the capture is watching:\n%s",
       output.c_str());

    // In rounds of ROUND jobs written one after the other, then sent at once.
    enum { ROUND = 10 };
    std::vector<std::string> written(JOBS + 1);
    DWORD start = GetTickCount();
    for (int first = 1; first <= JOBS; first += ROUND) {
        std::vector<std::string> jobs, lines;
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
    bool ended = WaitForSingleObject(capture.hProcess, 10000) == WAIT_OBJECT_0;
    if (!ok(ended, "the capture ends after %d files", JOBS))
        TerminateProcess(capture.hProcess, 0xDEAD);
    DWORD exitCode = 0xFFFFFFFF;
    GetExitCodeProcess(capture.hProcess, &exitCode);
    CloseHandle(capture.hThread);
    CloseHandle(capture.hProcess);
    ReadBytes(outPath, &output);

    ok(CountCalls(*e, "SaveNote -> 0") == JOBS && FileExists(NoteRecordPath(*e, JOBS)),
       "%d memos sent", JOBS);
    int kept = 0;
    for (int i = 1; i <= JOBS; ++i) {
        char name[64];
        wsprintfA(name, "\\%04d memo job %d.tmp", i, i);
        std::string bytes;
        kept += ReadBytes(dest + name, &bytes) && bytes == written[(size_t)i];
    }
    std::vector<std::string> lines = Lines(output);
    printf("  capture: %d jobs sent in %lu ms, %d memos saved, %d jobs kept as written\n", JOBS,
           sending, CountCalls(*e, "SaveNote -> 0"), kept);
    ok(kept == JOBS && exitCode == 0 && !lines.empty() &&
           lines.back() == "Bilan : 40 fichiers gard\xe9s, 0 perdu, 0 d\xe9" "bordement.",
       "%d of %d jobs kept as written, in %lu ms of sending; exit code %lu, output:\n%s", kept,
       JOBS, sending, exitCode, output.c_str());
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
    {"doctor_capture", CaseDoctorCapture},
    {"doctor_settings_in_64bit_view", CaseDoctorSettingsIn64BitView, 1252, 0,
     NEEDS_64BIT_WINDOWS},
    {"doctor_other_code_page", CaseDoctorOtherCodePage, 1250},
};
extern const CaseList DoctorCases = {Cases, sizeof Cases / sizeof Cases[0]};
