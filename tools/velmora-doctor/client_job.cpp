// The running Notes client as the hand-over sees it, and a job file as the send
// command would read it.  The job is opened by the program's own opening, without
// delete-on-close: the doctor never deletes it.
#include "tools/velmora-doctor/doctor.h"

#include "job/job_file.h"
#include "job/memo_rules.h"
#include "job/template.h"
#include "resources/resource.h"
#include "window/database_window.h"

void CheckClient(void)
{
    char title[256] = "";
    HWND notes = FindWindowA("NOTES", NULL);
    if (notes == NULL) {
        Field fields[] = {{"running", "no", 0}};
        Report("client", STATUS_INFO,
               "Client Notes : pas lanc\xe9 ; le programme le d\xe9marrera sur la base", NULL,
               fields, 1);
        return;
    }
    bool busy = !IsWindowEnabled(notes);
    Field fields[] = {{"running", "yes", 0}, {"state", busy ? "busy" : "enabled", 0}};
    if (busy) {
        std::string text;
        TextAdd(&text, "Client Notes lanc\xe9 mais occup\xe9 : sa fen\xeatre principale est "
                       "d\xe9sactiv\xe9" "e ; le programme attendra 10 s puis affichera ");
        TextAddBox(&text, MSG_NOTES_BUSY);
        ReportText("client", STATUS_BUSY, &text,
                   "terminez ce qui attend dans le client Notes (bo\xeete de dialogue, mot de "
                   "passe)", fields, 2);
    } else {
        Report("client", STATUS_OK, "Client Notes lanc\xe9 et disponible", NULL, fields, 2);
    }

    HWND window = FindDatabaseWindow();
    std::string text;
    if (window != NULL) {
        GetWindowTextA(window, title, sizeof title);
        TextAdd(&text, "Fen\xeatre de la base ouverte (\xab ");
        TextAddAnsi(&text, title);
        TextAdd(&text, " \xbb) : le programme la fermera avant de rouvrir la base");
    } else {
        TextAdd(&text, "Fen\xeatre de la base Velmora : pas ouverte");
    }
    Field windowFields[] = {{"window", window != NULL ? "open" : "closed", 0},
                            {"title", title, 0}};
    ReportText("client.database_window", STATUS_INFO, &text, NULL, windowFields, 2);
}

// A copy of an expansion for display, from `codePage` (the OEM or the ANSI code
// page), control characters as <XX>.
static void AddShown(std::string *t, const char *bytes, size_t length, UINT codePage)
{
    size_t run = 0;
    for (size_t i = 0; i <= length; ++i) {
        if (i < length && (unsigned char)bytes[i] >= 0x20)
            continue;
        TextAddIn(t, codePage, bytes + run, i - run);
        if (i < length)
            TextFormat(t, "<%02X>", (unsigned char)bytes[i]);
        run = i + 1;
    }
}

// SendTo or Subject, expanded and OEM-converted as the memo gets them.
static void ReportHeaderText(const char *id, const char *label, const char *templateText,
                             const char *documentName)
{
    std::string text;
    char *expansion = ExpandTemplate(templateText, documentName, true);
    unsigned long length = expansion != NULL ? (unsigned long)lstrlenA(expansion) : 0;
    TextFormat(&text, "%s : ", label);
    if (expansion == NULL) {
        TextAdd(&text, "vide, le champ n'est pas \xe9" "crit");
    } else {
        AddShown(&text, expansion, length, CP_OEMCP);
        TextFormat(&text, " (%lu octets, en page de code OEM)", length);
    }
    Field fields[] = {{"length", NULL, length}};
    ReportText(id, STATUS_INFO, &text, NULL, fields, 1);
    if (expansion != NULL)
        HeapFree(GetProcessHeap(), 0, expansion);
}

// The body as the memo gets it, line by line; a line past BODY_PIECE_LONGEST bytes
// goes in pieces.
static void ReportBody(const char *templateText, const char *documentName)
{
    char *body = ExpandTemplate(templateText, documentName, false);
    if (body == NULL) {
        Report("job.body", STATUS_INFO, "Corps : vide, aucun corps n'est \xe9" "crit", NULL,
               NULL, 0);
        return;
    }
    std::string text;
    unsigned long number = 0;
    BodyLine line;
    for (const char *at = body; NextBodyLine(&at, &line);) {
        unsigned long length = (unsigned long)line.length;
        text.clear();
        TextFormat(&text, "Corps, ligne %lu : ", ++number);
        AddShown(&text, line.text, line.length, CP_ACP);
        if (length > BODY_PIECE_LONGEST)
            TextFormat(&text, " (%lu octets, en %lu morceaux)", length,
                       (unsigned long)((line.length + BODY_PIECE_LONGEST - 1) / BODY_PIECE_LONGEST));
        Field fields[] = {{"line", NULL, number}, {"length", NULL, length}};
        ReportText("job.body", STATUS_INFO, &text, NULL, fields, 2);
    }
    HeapFree(GetProcessHeap(), 0, body);
}

static void ReportAttachment(unsigned long number, const char *path)
{
    std::string text;
    DWORD attributes = path[0] != '\0' ? GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
    bool found = attributes != INVALID_FILE_ATTRIBUTES;
    bool folder = found && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    bool present = found && !folder;
    const char *state = !found ? "missing" : folder ? "folder" : "present";
    TextFormat(&text, "Pi\xe8" "ce jointe %lu : ", number);
    if (path[0] == '\0') {
        TextAdd(&text, "chemin vide");
    } else {
        TextAddAnsi(&text, path);
        TextAdd(&text, ", ");
    }
    if (present) {
        TextAdd(&text, "pr\xe9sente, attach\xe9" "e sous le nom ");
        TextAddAnsi(&text, RecordedName(path));
    } else if (folder)
        TextAdd(&text, "un dossier, pas un fichier");
    else if (path[0] != '\0')
        TextAdd(&text, "absente");
    if (!present) {
        TextAdd(&text, " : le programme affichera ");
        TextAddBox(&text, MSG_ATTACH_FAILED);
    }
    Field fields[] = {{"number", NULL, number}, {"path", path, 0}, {"state", state, 0}};
    ReportText("job.attachment", present ? STATUS_OK : STATUS_PROBLEM, &text,
               "laissez le fichier en place jusqu'\xe0 l'envoi, ou corrigez son chemin dans la "
               "demande", fields, 3);
}

static void ReportJobRefusal(const char *id, const Refusal *why)
{
    std::string text, sentence;
    const char *action = DescribeRefusal(why, &sentence);
    TextAdd(&text, "Fichier de travail refus\xe9 : ");
    text += sentence;
    TextAdd(&text, " ; le programme affichera ");
    TextAddBox(&text, RefusalMessage(why->rule));
    Field fields[] = {{"rule", RuleId(why->rule), 0},
                      {"value", why->value != NULL ? why->value : "", 0},
                      {"detail", NULL, why->detail}};
    ReportText(id, STATUS_PROBLEM, &text, action, fields, 3);
}

// A job the program reads: its list, direct sending, the texts as the memo gets them and
// each attachment.
static void ReportJobRead(const LoadedJob *job)
{
    const JobHeader *h = &job->header;
    char text[200];
    wsprintfA(text, "Fichier de travail lu : en-t\xeate de %d octets, %lu pi\xe8" "ce(s) "
                    "jointe(s) suppl\xe9mentaire(s)", (int)JOB_HEADER_SIZE,
              (unsigned long)h->extraCount);
    Field fields[] = {{"rule", RuleId(REFUSED_NOT), 0},
                      {"extras", NULL, (unsigned long)h->extraCount}};
    Report("job.read", STATUS_OK, text, NULL, fields, 2);

    bool direct = h->sendTo[0] != '\0' && h->directSend != 0;
    Field directFields[] = {{"direct", direct ? "yes" : "no", 0}};
    Report("job.direct_send", STATUS_INFO,
           direct ? "Envoi direct : oui (Velmora_DirectSend = 1)" : "Envoi direct : non",
           NULL, directFields, 1);
    ReportHeaderText("job.send_to", "Destinataires", h->sendTo, h->documentName);
    ReportHeaderText("job.subject", "Objet", h->subject, h->documentName);
    ReportBody(h->body, h->documentName);
    ReportAttachment(1, h->attachment);
    for (DWORD i = 0; i < h->extraCount && job->extraList != NULL; ++i)
        ReportAttachment(i + 2, job->extraList[i].path);
}

void CheckJob(const char *jobPath)
{
    // The program's opening, the file kept; a job it refuses is then read with sharing
    // allowed, so that what it holds can still be shown.
    static LoadedJob job;
    Refusal why = {REFUSED_NOT, NULL, 0};
    HANDLE file;
    if (OpenJob(jobPath, false, &job, &file, &why)) {
        Field fields[] = {{"rule", RuleId(REFUSED_NOT), 0}};
        Report("job.open", STATUS_OK, "Fichier de travail ouvert comme le programme l'ouvre",
               NULL, fields, 1);
    } else {
        ReportJobRefusal("job.open", &why);
        if (why.rule != REFUSED_JOB_UNOPENABLE)
            return;
        file = CreateFileA(jobPath, GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file == INVALID_HANDLE_VALUE)
            return;
    }

    bool read = ReadJob(file, &job, &why);
    CloseHandle(file);
    if (!read)
        ReportJobRefusal("job.read", &why);
    else
        ReportJobRead(&job);
    if (job.extraList != NULL)
        GlobalFree(job.extraList);
}
