// velmora-job's command line: `make` writes a job file from options (texts converted
// from UTF-8 when asked, line feeds made CR LF, each text checked against its slot),
// `dump` reads one back as the program would and says why it would refuse it.
#include "cli.h"

#include "job/memo_rules.h"
#include "resources/message_texts.h"
#include "tools/common/args.h"
#include "tools/common/say.h"

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

std::string Quoted(const std::string &bytes, Display display)
{
    return "\"" + ShownBytes(bytes, display) + "\"";
}

enum OptionId {
    OPT_SEND_TO, OPT_SUBJECT, OPT_DOCUMENT, OPT_ATTACH,     // first in both tables, in order
    OPT_BODY, OPT_BODY_FILE, OPT_EXTRA, OPT_COUNT, OPT_SIZE,
    OPT_DIRECT, OPT_UTF8, OPT_RAW_BODY, OPT_UNCHECKED,
};
const ArgOption MakeOptions[] = {
    {"--send-to", OPT_SEND_TO, ARG_VALUE, true},    {"--subject", OPT_SUBJECT, ARG_VALUE, true},
    {"--document", OPT_DOCUMENT, ARG_VALUE, true},  {"--attach", OPT_ATTACH, ARG_VALUE, true},
    {"--body", OPT_BODY, ARG_VALUE, false},         {"--body-file", OPT_BODY_FILE, ARG_VALUE, false},
    {"--extra", OPT_EXTRA, ARG_VALUE, false},       {"--count", OPT_COUNT, ARG_VALUE, false},
    {"--size", OPT_SIZE, ARG_VALUE, false},         {"--direct", OPT_DIRECT, ARG_FLAG, false},
    {"--utf8", OPT_UTF8, ARG_FLAG, false},          {"--raw-body", OPT_RAW_BODY, ARG_FLAG, false},
    {"--unchecked", OPT_UNCHECKED, ARG_FLAG, false},
};
const ArgOption DumpOptions[] = {{"--utf8", OPT_UTF8, ARG_FLAG, false}};

// The job's texts that the first options give, at most once each.
std::string Job::*const Texts[] = {&Job::sendTo, &Job::subject, &Job::documentName,
                                   &Job::attachment};

struct MakeRequest {
    std::string out;
    Job job;
    bool haveOut = false;
    bool haveBody = false;
    bool bodyFromFile = false;
    std::string bodyFile;
    bool utf8 = false;
    bool rawBody = false;
    Encoding how;
};

int UsageError(const Voice *say, const std::string &message)
{
    Say(say, "%s", message.c_str());
    (void)std::fputs(Usage, say->to);
    return EXIT_USAGE;
}

// The texts converted from UTF-8 to Windows-1252; false, each failure said, when one
// cannot be.
bool ConvertTexts(Job *job, const Voice *say)
{
    std::vector<std::pair<std::string, std::string *>> texts = {
        {"send-to", &job->sendTo},    {"subject", &job->subject},
        {"body", &job->body},         {"document", &job->documentName},
        {"attachment", &job->attachment},
    };
    for (size_t k = 0; k < job->extras.size(); ++k)
        texts.push_back({"extra " + std::to_string(k + 1), &job->extras[k]});
    bool converted = true;
    std::string error;
    for (const std::pair<std::string, std::string *> &t : texts) {
        if (!Utf8ToCp1252(*t.second, t.second, &error)) {
            Say(say, "%s: %s", t.first.c_str(), error.c_str());
            converted = false;
        }
    }
    return converted;
}

int Make(int argc, const char *const *argv, FILE *in, const Voice *say)
{
    MakeRequest r;
    ArgReader reader = ArgsOf(MakeOptions, sizeof MakeOptions / sizeof MakeOptions[0], argc,
                              argv, 1, true);
    for (Arg a = NextArg(&reader); a.event != ARG_END; a = NextArg(&reader)) {
        std::string problem;
        uint64_t n = 0;
        if (a.event == ARG_OPTION || a.event == ARG_TWICE) {
            switch (static_cast<OptionId>(a.id)) {
            case OPT_SEND_TO:
            case OPT_SUBJECT:
            case OPT_DOCUMENT:
            case OPT_ATTACH:
                r.job.*Texts[a.id] = a.value;
                if (a.event == ARG_TWICE)
                    problem = std::string(MakeOptions[a.id].name) + " given twice" +
                              (a.id == OPT_ATTACH ? " (use --extra for more files)" : "");
                break;
            case OPT_BODY:
            case OPT_BODY_FILE:
                r.bodyFromFile = a.id == OPT_BODY_FILE;
                (r.bodyFromFile ? r.bodyFile : r.job.body) = a.value;
                if (r.haveBody)
                    problem = "give the body once, with --body or --body-file";
                r.haveBody = true;
                break;
            case OPT_EXTRA:
                r.job.extras.push_back(a.value);
                break;
            case OPT_COUNT:
            case OPT_SIZE:
                r.how.checked = false;
                if (!ArgNumber(a.value, a.id == OPT_COUNT ? UINT32_MAX : UINT64_MAX - 1, &n))
                    problem = std::string(a.text) + ": not a number of the right size: " + a.value;
                else if (a.id == OPT_COUNT)
                    r.how.count = static_cast<int64_t>(n);
                else
                    r.how.size = n;
                break;
            case OPT_DIRECT:
                r.job.directSend = 1;
                break;
            case OPT_UTF8:
                r.utf8 = true;
                break;
            case OPT_RAW_BODY:
                r.rawBody = true;
                break;
            case OPT_UNCHECKED:
                r.how.checked = false;
                break;
            }
        } else if (a.event == ARG_NO_VALUE)
            problem = std::string(a.text) + " needs a value";
        else if (a.event == ARG_UNKNOWN)
            problem = std::string("unknown option ") + a.text;
        else if (r.haveOut)
            problem = "more than one output file: " + r.out + ", " + a.text;
        else
            r.out = a.text, r.haveOut = true;
        if (!problem.empty())
            return UsageError(say, problem);
    }
    if (!r.haveOut)
        return UsageError(say, "make needs the output file");
    if (r.bodyFromFile && !(r.bodyFile == "-" ? ReadAll(in, &r.job.body)
                                              : ReadFileBytes(r.bodyFile, &r.job.body))) {
        Say(say, "cannot read the body file %s: %s", r.bodyFile.c_str(), std::strerror(errno));
        return EXIT_USAGE;
    }
    if (r.utf8 && !ConvertTexts(&r.job, say))
        return EXIT_REFUSED;
    if (!r.rawBody)
        r.job.body = LfToCrLf(r.job.body);
    // A checked job is written only when it fits, with warnings for what the program
    // will ignore or complain of.
    if (r.how.checked) {
        std::vector<std::string> problems = JobProblems(r.job);
        for (const std::string &p : problems)
            Say(say, "%s", p.c_str());
        if (!problems.empty())
            return EXIT_REFUSED;
        if (r.job.directSend != 0 && r.job.sendTo.empty())
            Say(say, "warning: --direct without --send-to is ignored by the program");
        if (r.job.attachment.empty())
            Say(say, "warning: no --attach; the program always tries to attach the main "
                     "attachment and will report that it cannot");
    }
    // The output file replaced; none left on failure.
    std::string bytes = EncodeJob(r.job, r.how);
    FILE *file = std::fopen(r.out.c_str(), "wb");
    bool written = file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file != nullptr && std::fclose(file) == 0 && written)
        return EXIT_DONE;
    Say(say, "cannot write %s: %s", r.out.c_str(), std::strerror(errno));
    (void)std::remove(r.out.c_str());   // best effort: the error is said above
    return EXIT_USAGE;
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

int Dump(int argc, const char *const *argv, FILE *out, const Voice *say)
{
    Display display = DISPLAY_ASCII;
    const char *path = nullptr;
    ArgReader reader = ArgsOf(DumpOptions, 1, argc, argv, 1, false);
    for (Arg a = NextArg(&reader); a.event != ARG_END; a = NextArg(&reader)) {
        if (a.event == ARG_OPTION)
            display = DISPLAY_UTF8;
        else if (a.event != ARG_OPERAND)
            return UsageError(say, std::string("unknown option ") + a.text);
        else if (path != nullptr)
            return UsageError(say, "dump takes one file");
        else
            path = a.text;
    }
    if (path == nullptr)
        return UsageError(say, "dump needs a file");

    std::string bytes;
    if (!ReadFileBytes(path, &bytes)) {
        Say(say, "cannot read %s: %s", path, std::strerror(errno));
        return EXIT_USAGE;
    }
    Examination r = ExamineJob(bytes);
    // The fields, then whether and why the program would refuse.
    (void)std::fprintf(out, "%s:\n", path);
    PrintField(out, "size", std::to_string(r.fileSize) + " bytes");
    if (r.headerComplete) {
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
    for (const std::string &n : r.notes)
        (void)std::fprintf(out, "  - %s\n", n.c_str());
    return Readable(r) ? EXIT_DONE : EXIT_REFUSED;
}

} // namespace

int RunTool(const std::vector<std::string> &args, FILE *in, FILE *out, FILE *err)
{
    const Voice say = {err, "velmora-job", nullptr};
    std::vector<const char *> argv(args.size());
    for (size_t i = 0; i < args.size(); ++i)
        argv[i] = args[i].c_str();
    int argc = static_cast<int>(argv.size());
    if (argc == 0)
        return UsageError(&say, "no command");
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        (void)std::fputs(Help, out);
        return EXIT_DONE;
    }
    if (args[0] == "make")
        return Make(argc, argv.data(), in, &say);
    if (args[0] == "dump")
        return Dump(argc, argv.data(), out, &say);
    return UsageError(&say, "unknown command " + args[0]);
}

} // namespace velmora_job
