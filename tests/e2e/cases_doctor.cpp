// The installation doctor, velmora-doctor.exe, against the case's world: one case per
// family of verdicts (a sound installation, a value missing, a library without an
// ordinal, a busy client).  Its JSON report is checked through exact pieces of its
// check objects, whose keys come in a fixed order.
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
        "{\"check\":\"launch\",\"status\":\"ok\",\"line\":\"" + Json(e->clientShort) + " " +
            Json(e->databaseShort) + "\",\"quotes\":\"no\"",
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
        "PROBL\xc8ME  R\xe9glages refus\xe9s par le programme, qui affichera \xab Velmora pour "
        "Notes n'est pas correctement install\xe9 \xbb : la valeur LN_Base est absente (erreur 2)"
        " ; \xe0 faire : r\xe9installez Velmora, ou ajoutez la valeur (type REG_SZ) avec le "
        "chemin complet\r\n");
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
    if (!StartRunningClient(e, "--window \"Velmora - Velmora.nsf\" --disabled-ms never"))
        return;
    DoctorRun run = RunDoctor(*e, DoctorCommand(*e, "--json"));
    expect_report(run, 1,
        "{\"check\":\"settings\",\"status\":\"ok\"",
        "{\"check\":\"client\",\"status\":\"problem\",\"running\":\"yes\",\"state\":\"busy\"",
        "{\"check\":\"client.database_window\",\"status\":\"info\",\"window\":\"open\","
        "\"title\":\"Velmora - Velmora.nsf\"",
        "\"verdict\":\"problem\",\"problems\":1,");
}

void ExpectDoctorRefusalAt(const char *file, int line, const CaseEnv &e, const char *rule,
                           const char *value)
{
    DoctorRun run = RunDoctor(e, DoctorCommand(e, "--json"));
    ExpectReportAt(file, line, run, 1,
                   {std::string("{\"check\":\"settings\",\"status\":\"problem\",\"rule\":\"") +
                    rule + "\",\"value\":\"" + value + "\""});
}
