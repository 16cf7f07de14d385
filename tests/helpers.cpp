// Shared set-up for the host tests.
#include "tests/helpers.h"

const char ClientPath[] = "C:\\Program Files\\Lotus Notes\\notes.exe";
const char DatabasePath[] = "C:\\Program Files\\Lotus Notes\\Data\\Velmora.nsf";
const char ClientShortPath[] = "C:\\PROGRA~1\\LOTUSN~1\\notes.exe";
const char DatabaseShortPath[] = "C:\\PROGRA~1\\LOTUSN~1\\Data\\Velmora.nsf";
const char JobPath[] = "C:\\Temp\\job 1.tmp";

static void PutText(std::string &bytes, size_t offset, size_t slot, const std::string &text)
{
    bytes.replace(offset, text.size() < slot ? text.size() : slot, text.substr(0, slot));
}

std::string JobBytes(const JobFields &job)
{
    std::string bytes(3340, '\0');
    bytes[0] = (char)(job.directSend & 0xFF);
    bytes[1] = (char)(job.directSend >> 8);
    PutText(bytes, 260, 256, job.subject);
    PutText(bytes, 516, 2048, job.body);
    PutText(bytes, 2564, 256, job.attachment);
    PutText(bytes, 2820, 256, job.documentName);
    PutText(bytes, 3076, 256, job.sendTo);
    unsigned long count = job.extraCount >= 0 ? (unsigned long)job.extraCount : job.extras.size();
    for (int i = 0; i < 4; ++i)
        bytes[3332 + i] = (char)((count >> (8 * i)) & 0xFF);
    for (const std::string &path : job.extras) {
        std::string slot(256, '\0');
        PutText(slot, 0, 256, path);
        bytes += slot;
    }
    return bytes;
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

std::vector<UINT> Boxes()
{
    return TheWorld().boxes;
}
