#include "cli.h"

#include "job_format.h"
#include "text_codec.h"

#include "resources/message_texts.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <utility>

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

bool ReadWholeFile(const std::string &path, std::string *bytes)
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
    return "\"" + Printable(bytes, display) + "\"";
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

struct MakeRequest {
    std::string out;
    Job job;
    bool haveBody = false;
    bool bodyFromFile = false;
    std::string bodyFile;
    bool utf8 = false;
    bool rawBody = false;
    Encoding how;
};

// A decimal number for --count or --size; false for anything else.
bool ParseNumber(const std::string &text, uint64_t limit, uint64_t *value)
{
    if (text.empty() || text.size() > 20 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *value = std::stoull(text);
    return *value <= limit;
}

int UsageError(std::ostream &err, const std::string &message)
{
    err << "velmora-job: " << message << "\n" << Usage;
    return ExitUsage;
}

int ParseMake(const std::vector<std::string> &args, MakeRequest *r, std::ostream &err)
{
    bool haveOut = false;
    bool seenSendTo = false, seenSubject = false, seenDocument = false, seenAttach = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string &arg = args[i];
        std::string value;
        bool missing = false;
        auto once = [](bool *seen) { return !std::exchange(*seen, true); };
        if (arg == "--direct") {
            r->job.directSend = 1;
        } else if (arg == "--utf8") {
            r->utf8 = true;
        } else if (arg == "--raw-body") {
            r->rawBody = true;
        } else if (arg == "--unchecked") {
            r->how.checked = false;
        } else if (TakeValue(args, &i, arg, "--count", &value, &missing) ||
                   TakeValue(args, &i, arg, "--size", &value, &missing)) {
            bool count = arg.compare(0, 7, "--count") == 0;
            uint64_t n = 0;
            if (!missing && !ParseNumber(value, count ? UINT32_MAX : UINT64_MAX - 1, &n))
                return UsageError(err, std::string(arg).append(": not a number of the right size: ").append(value));
            r->how.checked = false;
            if (count)
                r->how.count = static_cast<int64_t>(n);
            else
                r->how.size = n;
        } else if (TakeValue(args, &i, arg, "--send-to", &value, &missing)) {
            if (!missing && !once(&seenSendTo))
                return UsageError(err, "--send-to given twice");
            r->job.sendTo = value;
        } else if (TakeValue(args, &i, arg, "--subject", &value, &missing)) {
            if (!missing && !once(&seenSubject))
                return UsageError(err, "--subject given twice");
            r->job.subject = value;
        } else if (TakeValue(args, &i, arg, "--document", &value, &missing)) {
            if (!missing && !once(&seenDocument))
                return UsageError(err, "--document given twice");
            r->job.documentName = value;
        } else if (TakeValue(args, &i, arg, "--attach", &value, &missing)) {
            if (!missing && !once(&seenAttach))
                return UsageError(err, "--attach given twice (use --extra for more files)");
            r->job.attachment = value;
        } else if (TakeValue(args, &i, arg, "--extra", &value, &missing)) {
            r->job.extras.push_back(value);
        } else if (TakeValue(args, &i, arg, "--body", &value, &missing) ||
                   TakeValue(args, &i, arg, "--body-file", &value, &missing)) {
            if (!missing && r->haveBody)
                return UsageError(err, "give the body once, with --body or --body-file");
            r->haveBody = true;
            r->bodyFromFile = arg.compare(0, 11, "--body-file") == 0;
            (r->bodyFromFile ? r->bodyFile : r->job.body) = value;
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            return UsageError(err, "unknown option " + arg);
        } else if (!haveOut) {
            r->out = arg;
            haveOut = true;
        } else {
            return UsageError(err, "more than one output file: " + r->out + ", " + arg);
        }
        if (missing)
            return UsageError(err, arg + " needs a value");
    }
    if (!haveOut)
        return UsageError(err, "make needs the output file");
    return ExitOk;
}

int Make(const std::vector<std::string> &args, std::istream &in, std::ostream &err)
{
    MakeRequest r;
    int status = ParseMake(args, &r, err);
    if (status != ExitOk)
        return status;

    if (r.bodyFromFile) {
        if (r.bodyFile == "-") {
            std::ostringstream s;
            s << in.rdbuf();
            r.job.body = s.str();
        } else if (!ReadWholeFile(r.bodyFile, &r.job.body)) {
            err << "velmora-job: cannot read the body file " << r.bodyFile << ": "
                << std::strerror(errno) << "\n";
            return ExitUsage;
        }
    }

    if (r.utf8) {
        const std::pair<const char *, std::string *> texts[] = {
            {"send-to", &r.job.sendTo},    {"subject", &r.job.subject},
            {"body", &r.job.body},         {"document", &r.job.documentName},
            {"attachment", &r.job.attachment},
        };
        bool ok = true;
        for (const auto &t : texts) {
            std::string error;
            if (!Utf8ToCp1252(*t.second, t.second, &error)) {
                err << "velmora-job: " << t.first << ": " << error << "\n";
                ok = false;
            }
        }
        for (size_t k = 0; k < r.job.extras.size(); ++k) {
            std::string error;
            if (!Utf8ToCp1252(r.job.extras[k], &r.job.extras[k], &error)) {
                err << "velmora-job: extra " << k + 1 << ": " << error << "\n";
                ok = false;
            }
        }
        if (!ok)
            return ExitRefused;
    }
    if (!r.rawBody)
        r.job.body = LfToCrLf(r.job.body);

    std::vector<std::string> problems = CheckJob(r.job);
    if (r.how.checked) {
        for (const std::string &p : problems)
            err << "velmora-job: " << p << "\n";
        if (!problems.empty())
            return ExitRefused;
        if (r.job.directSend != 0 && r.job.sendTo.empty())
            err << "velmora-job: warning: --direct without --send-to is ignored by the program\n";
        if (r.job.attachment.empty())
            err << "velmora-job: warning: no --attach; the program always tries to attach the "
                   "main attachment and will report that it cannot\n";
    }

    std::string bytes = EncodeJob(r.job, r.how);
    std::ofstream file(r.out, std::ios::binary | std::ios::trunc);
    if (file)
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (file)
        file.close();
    if (!file) {
        err << "velmora-job: cannot write " << r.out << ": " << std::strerror(errno) << "\n";
        (void)std::remove(r.out.c_str());   // best effort: the error is said above
        return ExitUsage;
    }
    return ExitOk;
}

int Dump(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    Display display = Display::Ascii;
    std::string path;
    bool havePath = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--utf8")
            display = Display::Utf8;
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
    if (!ReadWholeFile(path, &bytes)) {
        err << "velmora-job: cannot read " << path << ": " << std::strerror(errno) << "\n";
        return ExitUsage;
    }
    Examination examination = ExamineJob(bytes);
    out << path << ":\n" << FormatExamination(examination, display);
    return examination.Readable() ? ExitOk : ExitRefused;
}

} // namespace

std::string FormatExamination(const Examination &r, Display display)
{
    std::ostringstream s;
    auto text = [&](const SlotText &t) {
        std::string shown = Quoted(t.text, display);
        if (!t.terminated)
            shown += "  <- no NUL: the whole slot is shown";
        return shown;
    };
    auto path = [&](const SlotText &t) {
        std::string shown = text(t);
        if (t.terminated && !t.text.empty() && RecordedName(t.text) != t.text)
            shown += "  (recorded as " + Quoted(RecordedName(t.text), display) + ")";
        return shown;
    };

    s << "  size:         " << r.fileSize << " bytes\n";
    if (r.headerComplete) {
        char flag[16];
        (void)std::snprintf(flag, sizeof flag, "0x%04X", static_cast<unsigned>(r.directSend));
        s << "  direct send:  " << flag << (r.directSend != 0 ? " (yes)" : " (no)") << "\n";
        s << "  subject:      " << text(r.subject) << "\n";
        if (r.body.terminated) {
            std::vector<std::string> lines = BodyLines(r.body.text);
            s << "  body:         " << lines.size() << (lines.size() == 1 ? " line" : " lines")
              << "\n";
            for (size_t i = 0; i < lines.size(); ++i)
                s << "    " << (i + 1 < 10 ? " " : "") << i + 1 << ": "
                  << Quoted(lines[i], display) << "\n";
        } else {
            s << "  body:         " << text(r.body) << "\n";
        }
        s << "  attachment:   " << path(r.attachment) << "\n";
        s << "  document:     " << text(r.documentName) << "\n";
        s << "  send-to:      " << text(r.sendTo) << "\n";
        s << "  extra count:  " << r.extraCount << "\n";
        for (size_t i = 0; i < r.extras.size(); ++i) {
            std::string label = "extra " + std::to_string(i + 1) + ":";
            s << "  " << label << std::string(label.size() < 14 ? 14 - label.size() : 1, ' ')
              << path(r.extras[i]) << "\n";
        }
    }
    if (r.Readable()) {
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
        return ExitOk;
    }
    if (args[0] == "make")
        return Make(args, in, err);
    if (args[0] == "dump")
        return Dump(args, out, err);
    return UsageError(err, "unknown command " + args[0]);
}

} // namespace velmora_job
