// Shared set-up for the host tests.
#include "tests/helpers.h"

const char ClientPath[] = "C:\\Program Files\\Lotus Notes\\notes.exe";
const char DatabasePath[] = "C:\\Program Files\\Lotus Notes\\Data\\Velmora.nsf";
const char ClientShortPath[] = "C:\\PROGRA~1\\LOTUSN~1\\notes.exe";
const char DatabaseShortPath[] = "C:\\PROGRA~1\\LOTUSN~1\\Data\\Velmora.nsf";
const char JobPath[] = "C:\\Temp\\job 1.tmp";

Job PlainJob()
{
    Job job;
    job.subject = "Devis [DOC]";
    job.body = "Bonjour,\r\nci-joint le devis.";
    job.attachment = "C:\\Devis\\A12.pdf";
    job.documentName = "A12";
    job.sendTo = "client@example.com";
    return job;
}

void InstallProduct()
{
    ResetWorld();
    World &w = TheWorld();
    w.values["LN_Appli"] = std::string(ClientPath) + '\0';
    w.values["LN_Base"] = std::string(DatabasePath) + '\0';
    AddFile(ClientPath, "MZ", ClientShortPath);
    AddFile(DatabasePath, "nsf", DatabaseShortPath);
    AddFile(ClientShortPath, "MZ");
    AddFile(DatabaseShortPath, "nsf");
    AddFile("C:\\Devis\\A12.pdf", "%PDF");
    AddFile(w.modulePath, "MZ", "C:\\PROGRA~1\\Velmora\\VELMOR~1.EXE");
}
