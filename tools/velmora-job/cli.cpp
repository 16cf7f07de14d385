// velmora-job's command line: `make` writes a job file from options (texts converted
// from UTF-8 when asked, line feeds made CR LF, each text checked against its slot),
// `dump` reads one back as the program would and says why it would refuse it.
#include "cli.h"

#include "job/memo_rules.h"
#include "resources/message_texts.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace velmora_job {

namespace {

const char Usage[] =
    "usage: velmora-job make OUT [options]   write a job file\n"
    "       velmora-job dump [--utf8] FILE   show a job file and what is wrong with it\n"
    "       velmora-job --help\n";

const char Help[] =
    "velmora-job: writes and checks job files for velmora-notes.exe.\n"
    "\n"
    "velmora-job make OUT [options]\n"
    "  Writes the job file OUT (replacing it).  Options:\n"
    "    --send-to T        send-to template (at most 255 bytes)\n"
    "    --subject T        subject template (at most 255 bytes)\n"
    "    --body T           body template (at most 2047 bytes once written)\n"
    "    --body-file F      body template read from file F ('-' reads standard input)\n"
    "    --document NAME    document name, the value of [DOC] (at most 255 bytes)\n"
    "    --direct           ask for direct sending (honoured only with a send-to)\n"
    "    --attach PATH      main attachment, full Windows path (at most 255 bytes)\n"
    "    --extra PATH       one more attachment; repeat for several\n"
    "    --utf8             arguments and body file are UTF-8: convert them to\n"
    "                       Windows-1252, refusing characters it does not have\n"
    "    --raw-body         write the body's bytes exactly as given\n"
    "  For testing a reader, files the program refuses:\n"
    "    --unchecked        write texts that do not fit, cut to their slot (one that\n"
    "                       fills its slot has no NUL)\n"
    "    --count N          write N as the extra count, whatever follows (unchecked)\n"
    "    --size N           cut the file to N bytes (unchecked)\n"
    "  Texts are stored as given, byte for byte, in the job's code page, Windows-1252;\n"
    "  use --utf8 when the shell hands over UTF-8.  In the body, each line feed (LF)\n"
    "  that is not already after a CR is written as CR LF, the program's line end,\n"
    "  unless --raw-body is given.  From cmd.exe, where an argument cannot hold a\n"
    "  line break, put a body of several lines in a file and use --body-file.\n"
    "  Placeholders [DOC] and [USER] (also [NOM], [NAME]) are expanded by the program,\n"
    "  not here.  Attachments are recorded under the part after the last backslash.\n"
    "\n"
    "velmora-job dump [--utf8] FILE\n"
    "  Shows every field of FILE, then says whether the program would read it and,\n"
    "  if not, why; harmless oddities are listed as notes.  Texts appear between\n"
    "  double quotes; CR, LF and TAB appear as \\r, \\n, \\t, other control bytes as\n"
    "  \\xNN, and bytes 128-255 as \\xNN, or with --utf8 as the Windows-1252\n"
    "  characters they stand for, written in UTF-8.\n"
    "\n"
    "Exit status: 0 done (dump: the file is readable); 1 make: a text does not fit\n"
    "or cannot be converted, dump: the program would refuse the file; 2 bad command\n"
    "line, or a file that cannot be read or written.\n";

// The rest of `file`, appended to `bytes`; false when reading fails.
bool ReadAll(FILE *file, std::string *bytes)
{
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes->append(buffer, n);
    return std::ferror(file) == 0;
}

// The bytes of the file at `path`, appended to `bytes`.
bool ReadFileBytes(const std::string &path, std::string *bytes)
{
    FILE *file = std::fopen(path.c_str(), "rb");
    bool read = file != nullptr && ReadAll(file, bytes);
    if (file != nullptr)
        (void)std::fclose(file);
    return read;
}

// One line of what the tool says on standard error.
void Say(FILE *err, const std::string &what)
{
    (void)std::fprintf(err, "velmora-job: %s\n", what.c_str());
}

std::string Quoted(const std::string &bytes, Display display)
{
    return "\"" + ShownBytes(bytes, display) + "\"";
}

// An option's value: from "--opt=value" or the next argument.
bool TakeValue(const std::vector<std::string> &args, size_t *i, const std::string &arg,
               const std::string &name, std::string *value, bool *missing)
{
    if (arg == name) {
        if (*i + 1 >= args.size()) {
            *missing = true;
            return true;
        }
        *value = args[++*i];
        return true;
    }
    if (arg.compare(0, name.size() + 1, name + "=") == 0) {
        *value = arg.substr(name.size() + 1);
        return true;
    }
    return false;
}

// The options that give one text of the job, each at most once.
struct TextOption {
    const char *name;
    std::string Job::*member;
    const char *twice;
};
const TextOption TextOptions[] = {
    {"--send-to", &Job::sendTo, "--send-to given twice"},
    {"--subject", &Job::subject, "--subject given twice"},
    {"--document", &Job::documentName, "--document given twice"},
    {"--attach", &Job::attachment, "--attach given twice (use --extra for more files)"},
};
enum { TEXT_OPTION_COUNT = sizeof TextOptions / sizeof TextOptions[0] };

struct MakeRequest {
    std::string out;
    Job job;
    bool haveOut = false;
    bool seen[TEXT_OPTION_COUNT] = {};
    bool haveBody = false;
    bool bodyFromFile = false;
    std::string bodyFile;
    bool utf8 = false;
    bool rawBody = false;
    Encoding how;
};

// A decimal number of at most `limit`, for --count or --size; false for anything else.
bool ParseNumber(const std::string &text, uint64_t limit, uint64_t *value)
{
    uint64_t n = 0;
    for (char c : text) {
        uint64_t digit = (uint64_t)(c - '0');
        if (c < '0' || c > '9' || n > (limit - digit) / 10)
            return false;
        n = n * 10 + digit;
    }
    *value = n;
    return !text.empty();
}

int UsageError(FILE *err, const std::string &message)
{
    Say(err, message);
    (void)std::fputs(Usage, err);
    return EXIT_USAGE;
}

// A flag of `make`; false for another argument.
bool TakeFlag(const std::string &arg, MakeRequest *r)
{
    if (arg == "--direct")
        r->job.directSend = 1;
    else if (arg == "--utf8")
        r->utf8 = true;
    else if (arg == "--raw-body")
        r->rawBody = true;
    else if (arg == "--unchecked")
        r->how.checked = false;
    else
        return false;
    return true;
}

// --count N or --size N, making the encoding unchecked; false for another argument, or,
// with *problem set, for a bad number.
bool TakeNumber(const std::vector<std::string> &args, size_t *i, MakeRequest *r,
                std::string *problem)
{
    const std::string &arg = args[*i];
    std::string value;
    bool missing = false;
    bool count = TakeValue(args, i, arg, "--count", &value, &missing);
    if (!count && !TakeValue(args, i, arg, "--size", &value, &missing))
        return false;
    uint64_t n = 0;
    if (missing)
        *problem = arg + " needs a value";
    else if (!ParseNumber(value, count ? UINT32_MAX : UINT64_MAX - 1, &n))
        *problem = arg + ": not a number of the right size: " + value;
    r->how.checked = false;
    if (count)
        r->how.count = static_cast<int64_t>(n);
    else
        r->how.size = n;
    return true;
}

// A text option, the body or an extra; false for another argument, or, with *problem
// set, for one given twice or without its value.
bool TakeText(const std::vector<std::string> &args, size_t *i, MakeRequest *r,
              std::string *problem)
{
    const std::string &arg = args[*i];
    std::string value;
    bool missing = false;
    bool taken = false;
    for (int k = 0; k < TEXT_OPTION_COUNT && !taken; ++k) {
        taken = TakeValue(args, i, arg, TextOptions[k].name, &value, &missing);
        if (taken && !missing && r->seen[k])
            *problem = TextOptions[k].twice;
        if (taken && !missing)
            r->seen[k] = true, r->job.*TextOptions[k].member = value;
    }
    if (!taken && TakeValue(args, i, arg, "--extra", &value, &missing)) {
        taken = true;
        r->job.extras.push_back(value);
    } else if (!taken && (TakeValue(args, i, arg, "--body", &value, &missing) ||
                          TakeValue(args, i, arg, "--body-file", &value, &missing))) {
        taken = true;
        if (!missing && r->haveBody)
            *problem = "give the body once, with --body or --body-file";
        r->haveBody = true;
        r->bodyFromFile = arg.compare(0, 11, "--body-file") == 0;
        (r->bodyFromFile ? r->bodyFile : r->job.body) = value;
    }
    if (taken && missing && problem->empty())
        *problem = arg + " needs a value";
    return taken;
}

int ParseMake(const std::vector<std::string> &args, MakeRequest *r, FILE *err)
{
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string &arg = args[i];
        std::string problem;
        if (TakeFlag(arg, r) || TakeNumber(args, &i, r, &problem) ||
            TakeText(args, &i, r, &problem)) {
            if (!problem.empty())
                return UsageError(err, problem);
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            return UsageError(err, "unknown option " + arg);
        } else if (r->haveOut) {
            return UsageError(err, "more than one output file: " + r->out + ", " + arg);
        } else {
            r->out = arg;
            r->haveOut = true;
        }
    }
    if (!r->haveOut)
        return UsageError(err, "make needs the output file");
    return EXIT_DONE;
}

// The body from its file or standard input, when --body-file gave one.
bool ReadBody(MakeRequest *r, FILE *in, FILE *err)
{
    if (!r->bodyFromFile)
        return true;
    if (r->bodyFile == "-" ? ReadAll(in, &r->job.body) : ReadFileBytes(r->bodyFile, &r->job.body))
        return true;
    Say(err, "cannot read the body file " + r->bodyFile + ": " + std::strerror(errno));
    return false;
}

// The texts converted from UTF-8 to Windows-1252; false, each failure said, when one
// cannot be.
bool ConvertTexts(Job *job, FILE *err)
{
    const std::pair<const char *, std::string *> texts[] = {
        {"send-to", &job->sendTo},    {"subject", &job->subject},
        {"body", &job->body},         {"document", &job->documentName},
        {"attachment", &job->attachment},
    };
    bool converted = true;
    std::string error;
    for (const std::pair<const char *, std::string *> &t : texts) {
        if (!Utf8ToCp1252(*t.second, t.second, &error)) {
            Say(err, std::string(t.first) + ": " + error);
            converted = false;
        }
    }
    for (size_t k = 0; k < job->extras.size(); ++k) {
        if (!Utf8ToCp1252(job->extras[k], &job->extras[k], &error)) {
            Say(err, "extra " + std::to_string(k + 1) + ": " + error);
            converted = false;
        }
    }
    return converted;
}

// For a checked job: false, each problem said, when it does not fit; warnings for what
// the program will ignore or complain of.
bool Fits(const Job &job, FILE *err)
{
    std::vector<std::string> problems = JobProblems(job);
    for (const std::string &p : problems)
        Say(err, p);
    if (!problems.empty())
        return false;
    if (job.directSend != 0 && job.sendTo.empty())
        Say(err, "warning: --direct without --send-to is ignored by the program");
    if (job.attachment.empty())
        Say(err, "warning: no --attach; the program always tries to attach the main attachment "
                 "and will report that it cannot");
    return true;
}

// Writes the encoded job to the output file, replacing it; none left on failure.
int WriteJob(const MakeRequest &r, FILE *err)
{
    std::string bytes = EncodeJob(r.job, r.how);
    FILE *file = std::fopen(r.out.c_str(), "wb");
    bool written = file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file != nullptr && std::fclose(file) == 0 && written)
        return EXIT_DONE;
    Say(err, "cannot write " + r.out + ": " + std::strerror(errno));
    (void)std::remove(r.out.c_str());   // best effort: the error is said above
    return EXIT_USAGE;
}

int Make(const std::vector<std::string> &args, FILE *in, FILE *err)
{
    MakeRequest r;
    int status = ParseMake(args, &r, err);
    if (status != EXIT_DONE)
        return status;
    if (!ReadBody(&r, in, err))
        return EXIT_USAGE;
    if (r.utf8 && !ConvertTexts(&r.job, err))
        return EXIT_REFUSED;
    if (!r.rawBody)
        r.job.body = LfToCrLf(r.job.body);
    if (r.how.checked && !Fits(r.job, err))
        return EXIT_REFUSED;
    return WriteJob(r, err);
}

// A text as found in its slot, quoted, marked when it has no NUL.
std::string SlotShown(const SlotText &t, Display display)
{
    std::string shown = Quoted(t.text, display);
    if (!t.terminated)
        shown += "  <- no NUL: the whole slot is shown";
    return shown;
}

// An attachment's path, with the name it is recorded under when that differs.
std::string PathShown(const SlotText &t, Display display)
{
    std::string shown = SlotShown(t, display), name = RecordedName(t.text.c_str());
    if (t.terminated && !t.text.empty() && name != t.text)
        shown += "  (recorded as " + Quoted(name, display) + ")";
    return shown;
}

// One field of the listing: its label in a column of 14, then its value.
void PrintField(FILE *out, const std::string &label, const std::string &value)
{
    (void)std::fprintf(out, "  %-13s %s\n", (label + ":").c_str(), value.c_str());
}

// The body, line by line as the program sends it (NextBodyLine), or its slot when it
// has no NUL.
void PrintBody(const SlotText &body, Display display, FILE *out)
{
    if (!body.terminated) {
        PrintField(out, "body", SlotShown(body, display));
        return;
    }
    std::vector<std::string> lines;
    BodyLine line;
    for (const char *at = body.text.c_str(); NextBodyLine(&at, &line);)
        lines.push_back(std::string(line.text, line.length));
    PrintField(out, "body", std::to_string(lines.size()) + (lines.size() == 1 ? " line" : " lines"));
    for (size_t i = 0; i < lines.size(); ++i)
        (void)std::fprintf(out, "    %2lu: %s\n", static_cast<unsigned long>(i + 1),
                           Quoted(lines[i], display).c_str());
}

// The fields of a whole header and the extras found.
void PrintFields(const Examination &r, Display display, FILE *out)
{
    (void)std::fprintf(out, "  direct send:  0x%04X (%s)\n", static_cast<unsigned>(r.directSend),
                       r.directSend != 0 ? "yes" : "no");
    PrintField(out, "subject", SlotShown(r.subject, display));
    PrintBody(r.body, display, out);
    PrintField(out, "attachment", PathShown(r.attachment, display));
    PrintField(out, "document", SlotShown(r.documentName, display));
    PrintField(out, "send-to", SlotShown(r.sendTo, display));
    PrintField(out, "extra count", std::to_string(r.extraCount));
    for (size_t i = 0; i < r.extras.size(); ++i)
        PrintField(out, "extra " + std::to_string(i + 1), PathShown(r.extras[i], display));
}

// The listing of `dump`: the fields, then whether and why the program would refuse.
void PrintExamination(const Examination &r, Display display, FILE *out)
{
    PrintField(out, "size", std::to_string(r.fileSize) + " bytes");
    if (r.headerComplete)
        PrintFields(r, display, out);
    if (Readable(r)) {
        (void)std::fputs("The program reads this job.\n", out);
    } else {
        (void)std::fprintf(out, "The program refuses this job (%s) and deletes the file:\n",
                           Quoted(MessageText(RefusalMessage(r.refusals[0].rule)), display).c_str());
        for (const Refusal &why : r.refusals)
            (void)std::fprintf(out, "  - %s\n", Describe(why, r).c_str());
    }
    if (!r.notes.empty())
        (void)std::fputs("Notes:\n", out);
    for (const Note &n : r.notes)
        (void)std::fprintf(out, "  - %s\n", Describe(n).c_str());
}

int Dump(const std::vector<std::string> &args, FILE *out, FILE *err)
{
    Display display = DISPLAY_ASCII;
    std::string path;
    bool havePath = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--utf8")
            display = DISPLAY_UTF8;
        else if (args[i].size() > 1 && args[i][0] == '-')
            return UsageError(err, "unknown option " + args[i]);
        else if (havePath)
            return UsageError(err, "dump takes one file");
        else
            path = args[i], havePath = true;
    }
    if (!havePath)
        return UsageError(err, "dump needs a file");

    std::string bytes;
    if (!ReadFileBytes(path, &bytes)) {
        Say(err, "cannot read " + path + ": " + std::strerror(errno));
        return EXIT_USAGE;
    }
    Examination examination = ExamineJob(bytes);
    (void)std::fprintf(out, "%s:\n", path.c_str());
    PrintExamination(examination, display, out);
    return Readable(examination) ? EXIT_DONE : EXIT_REFUSED;
}

} // namespace

int RunTool(const std::vector<std::string> &args, FILE *in, FILE *out, FILE *err)
{
    if (args.empty())
        return UsageError(err, "no command");
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        (void)std::fputs(Help, out);
        return EXIT_DONE;
    }
    if (args[0] == "make")
        return Make(args, in, err);
    if (args[0] == "dump")
        return Dump(args, out, err);
    return UsageError(err, "unknown command " + args[0]);
}

} // namespace velmora_job
