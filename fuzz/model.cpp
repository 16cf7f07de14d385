// Reference models for the fuzz targets.
#include "fuzz/model.h"

namespace {

const size_t LongestToken = 255;        // '[' and up to 254 more characters
const size_t LongestPiece = 65535;

// `token` in capitals, ASCII letters only.
std::string AsciiUpper(std::string token)
{
    for (char &c : token) {
        if (c >= 'a' && c <= 'z')
            c = (char)(c - 'a' + 'A');
    }
    return token;
}

} // namespace

std::string ModelExpand(const std::string &templateText, const std::string &documentName,
                        const std::string &userName, bool *usedUserName)
{
    std::string out;
    out.reserve(templateText.size());
    *usedUserName = false;
    size_t i = 0;
    while (i < templateText.size()) {
        // A token: '[' to the first ']' within LongestToken characters, or none.
        std::string token = templateText[i] == '[' ? templateText.substr(i, LongestToken) : "";
        token = AsciiUpper(token.substr(0, token.find(']') + 1));
        bool user = token == "[USER]" || token == "[NOM]" || token == "[NAME]";
        if (user || token == "[DOC]") {
            out += user ? userName : documentName;
            *usedUserName |= user;
            i += token.size();
        } else {
            out += templateText[i++];
        }
    }
    return out;
}

size_t ModelCommandTail(const std::string &line, const std::string &leadBytes)
{
    size_t n = line.size();
    size_t i = 0;
    if (n > 0 && line[0] == '"') {
        // Quoted name: up to the closing quote, which goes with it, or the end.
        for (i = 1; i < n; ++i) {
            if (line[i] == '"') {
                ++i;
                break;
            }
            bool lead = leadBytes.find(line[i]) != std::string::npos;
            if (lead && i + 1 < n)
                ++i;        // the trail byte is part of the character, whatever it is
        }
    } else {
        while (i < n && (unsigned char)line[i] > 32)
            ++i;
    }
    while (i < n && (unsigned char)line[i] <= 32)
        ++i;
    return i;
}

std::string ModelJobPath(const std::string &tail)
{
    if (tail.empty() || tail[0] != '"')
        return tail;
    std::string path = tail.substr(1);
    if (!path.empty() && path[path.size() - 1] == '"')
        path.erase(path.size() - 1);
    return path;
}

std::vector<ModelPiece> ModelBodyPieces(const std::string &body)
{
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < body.size(); ++i) {
        if (body[i] != '\r') {
            line += body[i];
            continue;
        }
        lines.push_back(line);
        line.clear();
        if (i + 1 < body.size() && body[i + 1] == '\n')
            ++i;
    }
    if (!line.empty())
        lines.push_back(line);

    std::vector<ModelPiece> pieces;
    for (const std::string &text : lines) {
        if (text.empty())
            pieces.push_back(ModelPiece{true, std::string()});
        for (size_t at = 0; at < text.size(); at += LongestPiece)
            pieces.push_back(ModelPiece{false, text.substr(at, LongestPiece)});
    }
    return pieces;
}

std::string ModelRecordedName(const std::string &path)
{
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

ModelJobVerdict ModelJob(const std::string &bytes)
{
    // The header's texts, as docs/job-format.md lays them out.
    static const struct {
        const char *name;
        size_t offset, size;
    } texts[] = {{"subject", 260, 256},       {"body", 516, 2048},
                 {"attachment", 2564, 256},   {"document name", 2820, 256},
                 {"send-to", 3076, 256}};
    const size_t header = 3340, slot = 256;
    if (bytes.size() < header)
        return {REFUSED_HEADER_SHORT, "", (uint32_t)bytes.size(), 0};
    uint32_t count = 0;     // little-endian at 3332
    for (int i = 3; i >= 0; --i)
        count = count * 256 + (unsigned char)bytes[3332 + i];
    for (const auto &t : texts) {
        if (bytes.substr(t.offset, t.size).find('\0') == std::string::npos)
            return {REFUSED_TEXT_UNTERMINATED, t.name, 0, count};
    }
    if (count >= 16777216)
        return {REFUSED_LIST_TOO_LARGE, "", count, count};
    if (bytes.size() - header < (uint64_t)count * slot)
        return {REFUSED_LIST_SHORT, "", (uint32_t)(bytes.size() - header), count};
    for (uint32_t i = 0; i < count; ++i) {
        if (bytes.substr(header + i * slot, slot).find('\0') == std::string::npos)
            return {REFUSED_EXTRA_UNTERMINATED, "", i, count};
    }
    return {REFUSED_NOT, "", 0, count};
}
