// velmora-job's command line: `make` writes a job file from options (texts converted
// from UTF-8 when asked, line feeds made CR LF, each text checked against its slot),
// `dump` reads one back as the program would and says why it would refuse it.
#include "cli.h"

#include "resources/message_texts.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

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

// The bytes of the file at `path`, whole.
bool ReadFileBytes(const std::string &path, std::string *bytes)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    std::ostringstream s;
    s << file.rdbuf();
    if (file.bad())
        return false;
    *bytes = s.str();
    return true;
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

int UsageError(std::ostream &err, const std::string &message)
{
    err << "velmora-job: " << message << "\n" << Usage;
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

int ParseMake(const std::vector<std::string> &args, MakeRequest *r, std::ostream &err)
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
bool ReadBody(MakeRequest *r, std::istream &in, std::ostream &err)
{
    if (!r->bodyFromFile)
        return true;
    if (r->bodyFile == "-") {
        std::ostringstream s;
        s << in.rdbuf();
        r->job.body = s.str();
        return true;
    }
    if (ReadFileBytes(r->bodyFile, &r->job.body))
        return true;
    err << "velmora-job: cannot read the body file " << r->bodyFile << ": "
        << std::strerror(errno) << "\n";
    return false;
}

// The texts converted from UTF-8 to Windows-1252; false, each failure said, when one
// cannot be.
bool ConvertTexts(Job *job, std::ostream &err)
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
            err << "velmora-job: " << t.first << ": " << error << "\n";
            converted = false;
        }
    }
    for (size_t k = 0; k < job->extras.size(); ++k) {
        if (!Utf8ToCp1252(job->extras[k], &job->extras[k], &error)) {
            err << "velmora-job: extra " << k + 1 << ": " << error << "\n";
            converted = false;
        }
    }
    return converted;
}

// For a checked job: false, each problem said, when it does not fit; warnings for what
// the program will ignore or complain of.
bool Fits(const Job &job, std::ostream &err)
{
    std::vector<std::string> problems = JobProblems(job);
    for (const std::string &p : problems)
        err << "velmora-job: " << p << "\n";
    if (!problems.empty())
        return false;
    if (job.directSend != 0 && job.sendTo.empty())
        err << "velmora-job: warning: --direct without --send-to is ignored by the program\n";
    if (job.attachment.empty())
        err << "velmora-job: warning: no --attach; the program always tries to attach the "
               "main attachment and will report that it cannot\n";
    return true;
}

// Writes the encoded job to the output file, replacing it; none left on failure.
int WriteJob(const MakeRequest &r, std::ostream &err)
{
    std::string bytes = EncodeJob(r.job, r.how);
    std::ofstream file(r.out, std::ios::binary | std::ios::trunc);
    if (file)
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (file)
        file.close();
    if (file)
        return EXIT_DONE;
    err << "velmora-job: cannot write " << r.out << ": " << std::strerror(errno) << "\n";
    (void)std::remove(r.out.c_str());   // best effort: the error is said above
    return EXIT_USAGE;
}

int Make(const std::vector<std::string> &args, std::istream &in, std::ostream &err)
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

int Dump(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
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
        err << "velmora-job: cannot read " << path << ": " << std::strerror(errno) << "\n";
        return EXIT_USAGE;
    }
    Examination examination = ExamineJob(bytes);
    out << path << ":\n" << FormatExamination(examination, display);
    return Readable(examination) ? EXIT_DONE : EXIT_REFUSED;
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
    std::string shown = SlotShown(t, display);
    if (t.terminated && !t.text.empty() && RecordedName(t.text) != t.text)
        shown += "  (recorded as " + Quoted(RecordedName(t.text), display) + ")";
    return shown;
}

// The body, line by line as the program sends it, or its slot when it has no NUL.
void FormatBody(const SlotText &body, Display display, std::ostream &s)
{
    if (!body.terminated) {
        s << "  body:         " << SlotShown(body, display) << "\n";
        return;
    }
    std::vector<std::string> lines = BodyLines(body.text);
    s << "  body:         " << lines.size() << (lines.size() == 1 ? " line" : " lines") << "\n";
    for (size_t i = 0; i < lines.size(); ++i)
        s << "    " << (i + 1 < 10 ? " " : "") << i + 1 << ": " << Quoted(lines[i], display)
          << "\n";
}

// The fields of a whole header and the extras found.
void FormatFields(const Examination &r, Display display, std::ostream &s)
{
    char flag[16];
    (void)std::snprintf(flag, sizeof flag, "0x%04X", static_cast<unsigned>(r.directSend));
    s << "  direct send:  " << flag << (r.directSend != 0 ? " (yes)" : " (no)") << "\n";
    s << "  subject:      " << SlotShown(r.subject, display) << "\n";
    FormatBody(r.body, display, s);
    s << "  attachment:   " << PathShown(r.attachment, display) << "\n";
    s << "  document:     " << SlotShown(r.documentName, display) << "\n";
    s << "  send-to:      " << SlotShown(r.sendTo, display) << "\n";
    s << "  extra count:  " << r.extraCount << "\n";
    for (size_t i = 0; i < r.extras.size(); ++i) {
        std::string label = "extra " + std::to_string(i + 1) + ":";
        s << "  " << label << std::string(label.size() < 14 ? 14 - label.size() : 1, ' ')
          << PathShown(r.extras[i], display) << "\n";
    }
}

} // namespace

std::string FormatExamination(const Examination &r, Display display)
{
    std::ostringstream s;
    s << "  size:         " << r.fileSize << " bytes\n";
    if (r.headerComplete)
        FormatFields(r, display, s);
    if (Readable(r)) {
        s << "The program reads this job.\n";
    } else {
        s << "The program refuses this job ("
          << Quoted(MessageText(RefusalMessage(r.refusals[0].rule)), display)
          << ") and deletes the file:\n";
        for (const Refusal &why : r.refusals)
            s << "  - " << Describe(why, r) << "\n";
    }
    if (!r.notes.empty()) {
        s << "Notes:\n";
        for (const Note &n : r.notes)
            s << "  - " << Describe(n) << "\n";
    }
    return s.str();
}

int RunTool(const std::vector<std::string> &args, std::istream &in, std::ostream &out,
            std::ostream &err)
{
    if (args.empty())
        return UsageError(err, "no command");
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        out << Help;
        return EXIT_DONE;
    }
    if (args[0] == "make")
        return Make(args, in, err);
    if (args[0] == "dump")
        return Dump(args, out, err);
    return UsageError(err, "unknown command " + args[0]);
}

} // namespace velmora_job
