// calls.log and the file helpers of the stand-in nNOTES.dll.
#include "standins/nnotes/record.h"

#include "standins/log_append.h"
#include "tools/common/byte_escape.h"

#include <string.h>

std::string StandinDir()
{
    char dir[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("NNOTES_DIR", dir, sizeof dir);
    if (n == 0 || n >= sizeof dir) {
        HMODULE self = NULL;
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           (LPCSTR)&StandinDir, &self);
        n = GetModuleFileNameA(self, dir, sizeof dir);
        if (n == 0 || n >= sizeof dir)
            return ".";
        char *slash = strrchr(dir, '\\');
        if (slash != NULL)
            *slash = '\0';
    }
    std::string result(dir);
    while (result.size() > 3 && result[result.size() - 1] == '\\')
        result.erase(result.size() - 1);
    CreateDirectoryA(result.c_str(), NULL);
    return result;
}

std::string Quoted(const char *text)
{
    if (text == NULL)
        return "NULL";
    return QuotedBytes(text, strlen(text));
}

std::string QuotedBytes(const char *bytes, size_t length)
{
    if (bytes == NULL)
        return "NULL";
    return "\"" + velmora_job::EscapeBytes(bytes, length, velmora_job::Escape::Log) + "\"";
}

std::string Number(unsigned long value)
{
    char text[16];
    wsprintfA(text, "%lu", value);
    return text;
}

void RecordCall(const std::string &line)
{
    std::string path = StandinDir() + "\\calls.log", text = line + "\r\n";
    AppendToLog(path.c_str(), text.data(), (DWORD)text.size());     // other runs log too
}

bool ReadWholeFile(const std::string &path, std::string *data)
{
    data->clear();
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    char buffer[65536];
    DWORD got = 0;
    bool good;
    while ((good = ReadFile(f, buffer, sizeof buffer, &got, NULL) != 0) && got > 0)
        data->append(buffer, got);
    CloseHandle(f);
    return good;
}

static bool WriteAll(HANDLE f, const std::string &data)
{
    size_t done = 0;
    while (done < data.size()) {
        DWORD wrote = 0;
        DWORD chunk = (DWORD)(data.size() - done > 0x100000 ? 0x100000 : data.size() - done);
        if (!WriteFile(f, data.data() + done, chunk, &wrote, NULL) || wrote == 0)
            return false;
        done += wrote;
    }
    return true;
}

bool WriteWholeFile(const std::string &path, const std::string &data)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    bool good = WriteAll(f, data);
    CloseHandle(f);
    return good;
}
