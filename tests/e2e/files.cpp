// Files, folders, registry values and processes for the end-to-end tests.
#include "tests/e2e/files.h"

#include <tlhelp32.h>

bool ReadBytes(const std::string &path, std::string *bytes)
{
    bytes->clear();
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           OPEN_EXISTING, 0, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    char buffer[65536];
    DWORD got = 0;
    bool good = true;
    while ((good = ReadFile(f, buffer, sizeof buffer, &got, NULL) != 0) && got > 0)
        bytes->append(buffer, got);
    CloseHandle(f);
    return good;
}

bool WriteBytes(const std::string &path, const std::string &bytes)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    DWORD wrote = 0;
    bool good = WriteFile(f, bytes.data(), (DWORD)bytes.size(), &wrote, NULL) &&
                wrote == bytes.size();
    CloseHandle(f);
    return good;
}

bool FileExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeFolder(const std::string &path)
{
    if (FileExists(path))
        return true;
    size_t slash = path.find_last_of('\\');
    if (slash != std::string::npos && slash > 2 && !MakeFolder(path.substr(0, slash)))
        return false;
    return CreateDirectoryA(path.c_str(), NULL) != 0;
}

static void DeleteContents(const std::string &path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        std::string full = path + "\\" + name;
        SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            DeleteContents(full);
            RemoveDirectoryA(full.c_str());
        } else {
            DeleteFileA(full.c_str());
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

bool DeleteTree(const std::string &path)
{
    // A process that was just ended may hold a file for a moment.
    for (int attempt = 0; attempt < 20 && FileExists(path); ++attempt) {
        if (attempt > 0)
            Sleep(100);
        DeleteContents(path);
        RemoveDirectoryA(path.c_str());
    }
    return !FileExists(path);
}

std::string ShortPath(const std::string &path)
{
    char shortPath[MAX_PATH];
    DWORD n = GetShortPathNameA(path.c_str(), shortPath, sizeof shortPath);
    return n > 0 && n < sizeof shortPath ? std::string(shortPath) : path;
}

std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        std::string line = text.substr(at, end == std::string::npos ? std::string::npos
                                                                    : end - at);
        if (!line.empty() && line[line.size() - 1] == '\r')
            line.erase(line.size() - 1);
        lines.push_back(line);
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

std::vector<std::string> FileLines(const std::string &path)
{
    std::string text;
    ReadBytes(path, &text);
    return Lines(text);
}

static const char SettingsKey[] = "SOFTWARE\\Zabrel\\Velmora\\Stellwick";

bool SetSettingsValue(const char *name, const char *value)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, SettingsKey, 0, NULL, 0, KEY_SET_VALUE, NULL,
                        &key, NULL) != ERROR_SUCCESS)
        return false;
    LONG status;
    if (value == NULL)
        status = RegDeleteValueA(key, name);
    else
        status = RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)value,
                                (DWORD)lstrlenA(value) + 1);
    RegCloseKey(key);
    return status == ERROR_SUCCESS || (value == NULL && status == ERROR_FILE_NOT_FOUND);
}

void RemoveSettingsKey()
{
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, SettingsKey);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zabrel\\Velmora");
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zabrel");
}

static bool StartsWithFolder(const std::string &path, const std::string &folder)
{
    std::string prefix = folder + "\\";
    return path.size() > prefix.size() &&
           CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, path.data(), (int)prefix.size(),
                          prefix.data(), (int)prefix.size()) == CSTR_EQUAL;
}

int EndProcessesUnder(const std::string &folder)
{
    std::string shortFolder = ShortPath(folder);
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    int ended = 0;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION |
                                         SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (process == NULL)
            continue;
        char image[MAX_PATH];
        DWORD size = sizeof image;
        if (QueryFullProcessImageNameA(process, 0, image, &size) &&
            (StartsWithFolder(image, folder) || StartsWithFolder(image, shortFolder))) {
            TerminateProcess(process, 0xDEAD);
            WaitForSingleObject(process, 5000);
            ++ended;
        }
        CloseHandle(process);
    }
    CloseHandle(snapshot);
    return ended;
}
