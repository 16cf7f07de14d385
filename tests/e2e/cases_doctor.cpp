// The installation doctor, velmora-doctor.exe, against the case's world: one case per
// family of verdicts (a sound installation, a value missing, a library without an
// ordinal or built for x86-64, a library only in the current folder, a busy client, a
// library that waits, a read-only job, the settings in the 64-bit view, another ANSI
// code page).  Its JSON report is checked through exact pieces of its check objects,
// whose keys come in a fixed order.
#include "tests/e2e/cases.h"

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

void CaseDoctorSound(CaseEnv *e)
{
    // Beside the program, the doctor finds it and its library without being told.
    std::string doctor = e->program.substr(0, e->program.rfind('\\')) + "\\velmora-doctor.exe";
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

void CaseDoctorMissingValue(CaseEnv *e)
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

void CaseDoctorLibraryLacksOrdinal(CaseEnv *e)
{
    std::string library = e->program.substr(0, e->program.rfind('\\')) + "\\nNOTES.dll";
    ok(CopyFileA((OwnFolder() + "\\lacking-2072\\nNOTES.dll").c_str(), library.c_str(),
                 FALSE) != 0, "a library without ordinal 2072 replaces the stand-in");
    DoctorRun run = RunDoctor(*e, DoctorCommand(*e, "--json"));
    expect_report(run, 1,
        "{\"check\":\"library.image\",\"status\":\"ok\",\"machine\":\"0x014c\"",
        "{\"check\":\"library.ordinals\",\"status\":\"problem\",\"missing\":\"2072\","
        "\"expected\":13,\"text\":\"Il lui manque 1 des 13 ordinaux que le programme importe "
        ": 2072 (AttachFile)");
}

void CaseDoctorBusyClient(CaseEnv *e)
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

void CaseDoctorVersionAndWaits(CaseEnv *e)
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

void CaseDoctorLibraryInCurrentFolder(CaseEnv *e)
{
    // The program's folder has no library; the folder the doctor is started from has one
    // that leaves a mark when loaded.  --open must not load it.
    std::string programDir = e->program.substr(0, e->program.rfind('\\'));
    std::string current = e->root + "\\Downloads";
    std::string marking = OwnFolder() + "\\marking\\";
    ok(DeleteFileA((programDir + "\\nNOTES.dll").c_str()) && MakeFolder(current) &&
           CopyFileA((marking + "velmora-mark.dll").c_str(), (current + "\\nNOTES.dll").c_str(),
                     FALSE),
       "a library in the current folder only");
    char before[MAX_PATH];
    GetCurrentDirectoryA(sizeof before, before);
    SetCurrentDirectoryA(current.c_str());
    DoctorRun run = RunDoctor(*e, DoctorCommand(*e, "--json --open"));
    expect_report(run, 1,
        "{\"check\":\"library.found\",\"status\":\"warning\",\"place\":\"current_folder\"",
        "{\"check\":\"open\",\"status\":\"problem\",\"text\":\"Ouverture de la base non "
            "essay\\u00e9e : le docteur ne charge pas " + Json(current) + "\\\\nNOTES.dll,");
    ok(!FileExists(current + "\\loaded.mark"), "the library of the current folder never ran");

    // Beside the program, a library that needs velmora-mark.dll, which only the current
    // folder has: it is loaded with its own folder and System32 searched, so it fails
    // to load rather than take that one.
    ok(CopyFileA((marking + "nNOTES.dll").c_str(), (programDir + "\\nNOTES.dll").c_str(),
                 FALSE) &&
           MoveFileA((current + "\\nNOTES.dll").c_str(), (current + "\\velmora-mark.dll").c_str()),
       "the library beside the program needs one in the current folder");
    run = RunDoctor(*e, DoctorCommand(*e, "--json --open"));
    SetCurrentDirectoryA(before);
    expect_report(run, 1,
        "{\"check\":\"open.runtime\",\"status\":\"problem\",\"text\":\"" + Json(programDir) +
            "\\\\nNOTES.dll ne se charge pas (erreur 126)");
    ok(!FileExists(current + "\\loaded.mark"), "the dependency in the current folder never ran");
}

void CaseDoctorLibrary64Bit(CaseEnv *e)
{
    // The stand-in with the machine and optional-header magic of an x86-64 image.
    std::string library = e->program.substr(0, e->program.rfind('\\')) + "\\nNOTES.dll";
    std::string bytes;
    DWORD pe = ReadBytes(library, &bytes) && bytes.size() > 0x40
                   ? *(const DWORD *)(bytes.data() + 0x3C) : 0;
    bool patched = pe > 0 && pe + 26 <= bytes.size() && bytes.compare(pe, 4, "PE\0\0", 4) == 0;
    if (patched) {
        bytes.replace(pe + 4, 2, "\x64\x86", 2);      // IMAGE_FILE_MACHINE_AMD64
        bytes.replace(pe + 24, 2, "\x0B\x02", 2);     // IMAGE_NT_OPTIONAL_HDR64_MAGIC
    }
    ok(patched && WriteBytes(library, bytes), "the library beside the program says x86-64");
    DoctorRun run = RunDoctor(*e, DoctorCommand(*e, "--json --open"));
    expect_report(run, 1,
        "{\"check\":\"library.image\",\"status\":\"problem\",\"machine\":\"0x8664\"",
        "{\"check\":\"open.runtime\",\"status\":\"problem\"",
        "\"verdict\":\"problem\"");
}

void CaseDoctorReadOnlyJob(CaseEnv *e)
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

void CaseDoctorOtherCodePage(CaseEnv *e)
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
    std::string job = e->jobDir + "\\memo job.tmp";
    WriteJobFile(job, f);
    DoctorRun run = RunDoctor(*e, DoctorCommand(*e, "--json --job \"" + job + "\""));
    std::string path = Json(e->jobDir) + "\\\\\\u0142.pdf";
    expect_report(run, 0,
        "{\"check\":\"job.attachment\",\"status\":\"ok\",\"number\":2,\"path\":\"" + path +
            "\",\"state\":\"present\",\"text\":\"Pi\\u00e8" "ce jointe 2 : " + path +
            ", pr\\u00e9sente, attach\\u00e9" "e sous le nom \\u0142.pdf\"");
}

void CaseDoctorSettingsIn64BitView(CaseEnv *e)
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
