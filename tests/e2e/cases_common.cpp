// What the end-to-end cases share: the outcome check and a plain job.
#include "tests/e2e/cases.h"

void ExpectOutcomeAt(const char *file, int line, const RunResult &r,
                     const std::vector<std::string> &texts)
{
    if (!OkAt(file, line, r.started, "the program starts: error %lu", r.startError))
        return;
    OkAt(file, line, !r.hung, "the program ends by itself (ended after %lu ms)", r.elapsedMs);
    OkAt(file, line, r.exitCode == 0, "exit code: got %lu (0x%lX), expected 0", r.exitCode,
         r.exitCode);
    std::vector<std::string> got;
    for (size_t i = 0; i < r.boxes.size(); ++i) {
        got.push_back(r.boxes[i].text);
        OkAt(file, line, r.boxes[i].caption == BoxCaption,
             "caption of box %u: got \"%s\", expected \"%s\"", (unsigned)i + 1,
             r.boxes[i].caption.c_str(), BoxCaption);
    }
    SameLinesAt(file, line, got, texts, "message boxes shown");
}

JobFields PlainJob(const CaseEnv &e)
{
    JobFields f;
    f.directSend = 0;
    f.subject = "Devis [DOC]";
    f.body = "Bonjour,\r\nVoici le devis.";
    f.attachment = e.jobDir + "\\Devis 17.pdf";
    f.document = "Devis 17";
    f.sendTo = "";
    WriteBytes(f.attachment, "%PDF-1.4 devis 17\n");
    return f;
}

std::string WritePlainJob(const CaseEnv &e)
{
    std::string path = e.jobDir + "\\memo job.tmp";
    ok(WriteJobFile(path, PlainJob(e)), "job file written: %s", path.c_str());
    return path;
}

std::vector<std::string> StartedClientEvents(const CaseEnv &e)
{
    return ClientEvents(e.clientLog);
}

std::string ExpectedClientStart(const CaseEnv &e)
{
    return "start: " + e.clientShort + " " + e.databaseShort;
}
