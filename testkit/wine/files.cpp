// Files, folders, registry values and processes for the end-to-end tests.
#include "testkit/wine/files.h"

#include <string.h>
#include <tlhelp32.h>

// Paths go through the wide functions, which take paths of any length: a case may
// make a file whose path is too long for the ANSI ones.
std::wstring Wide(const std::string &path)
{
    int n = MultiByteToWideChar(CP_ACP, 0, path.data(), (int)path.size(), NULL, 0);
    std::wstring wide((size_t)n, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, path.data(), (int)path.size(), &wide[0], n);
    return wide;
}

static std::string Narrow(const wchar_t *text)
{
    int n = WideCharToMultiByte(CP_ACP, 0, text, -1, NULL, 0, NULL, NULL);
    std::string narrow(n > 0 ? (size_t)n : 1, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_ACP, 0, text, -1, &narrow[0], n, NULL, NULL);
    narrow.resize(narrow.size() - 1);
    return narrow;
}

bool ReadBytes(const std::string &path, std::string *bytes)
{
    bytes->clear();
    HANDLE f = CreateFileW(Wide(path).c_str(), GENERIC_READ,
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
    HANDLE f = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
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
    return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeFolder(const std::string &path)
{
    if (FileExists(path))
        return true;
    size_t slash = path.find_last_of('\\');
    if (slash != std::string::npos && slash > 2 && !MakeFolder(path.substr(0, slash)))
        return false;
    return CreateDirectoryW(Wide(path).c_str(), NULL) != 0;
}

// A link (a junction, a symbolic link, a mount point) is removed, never entered: what
// it points at is not the case's.  The attribute is tested, not the tag: under Wine a
// Unix symbolic link shows as a directory with FILE_ATTRIBUTE_REPARSE_POINT and tag 0
// (and cannot be removed there).  RemoveDirectoryW removes a junction whatever its
// target holds, the target untouched.
// https://learn.microsoft.com/en-us/windows/win32/fileio/reparse-points
// https://learn.microsoft.com/en-us/windows/win32/api/fileapi/nf-fileapi-removedirectoryw
static void DeleteEntry(const std::string &path, DWORD attributes)
{
    std::wstring wide = Wide(path);
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(wide.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(wide.c_str());
        return;
    }
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW(Wide(path + "\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                std::string name = Narrow(found.cFileName);
                if (name != "." && name != "..")
                    DeleteEntry(path + "\\" + name, found.dwFileAttributes);
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
    }
    RemoveDirectoryW(wide.c_str());
}

bool DeleteTree(const std::string &path)
{
    // A process that was just ended may hold a file for a moment.
    DWORD attributes;
    for (int attempt = 0;
         attempt < 20 && (attributes = GetFileAttributesW(Wide(path).c_str())) !=
                             INVALID_FILE_ATTRIBUTES;
         ++attempt) {
        if (attempt > 0)
            Sleep(100);
        DeleteEntry(path, attributes);
    }
    return !FileExists(path);
}

std::string SystemPath(const char *name)
{
    char folder[MAX_PATH];
    UINT n = GetSystemDirectoryA(folder, sizeof folder);
    return std::string(folder, n < sizeof folder ? n : 0) + "\\" + name;
}

std::string Quoted(const std::string &path)
{
    return "\"" + path + "\"";
}

std::string WorkRoot()
{
    char root[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("VELMORA_WORK_ROOT", root, sizeof root);
    if (n > 0 && n < sizeof root)
        return root;
    n = GetTempPathA(sizeof root, root);
    return std::string(root, n < sizeof root ? n : 0) + "velmora e2e work";
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

// The settings key's parents, and which of them existed when this process first
// touched the settings in a view: one it did not make is never removed.
static const char *const SettingsParents[] = {"SOFTWARE\\Zabrel\\Velmora", "SOFTWARE\\Zabrel"};
static bool s_parentsNoted[2];
static unsigned s_parentsFound[2];

unsigned SettingsParentsFound(REGSAM view)
{
    unsigned found = 0;
    for (unsigned i = 0; i < 2; ++i) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SettingsParents[i], 0, KEY_READ | view, &key) ==
            ERROR_SUCCESS) {
            found |= 1u << i;
            RegCloseKey(key);
        }
    }
    return found;
}

void PresumeSettingsParents(REGSAM view, unsigned found)
{
    s_parentsNoted[view == KEY_WOW64_64KEY] = true;
    s_parentsFound[view == KEY_WOW64_64KEY] = found;
}

static void NoteParents(REGSAM view)
{
    if (!s_parentsNoted[view == KEY_WOW64_64KEY])
        PresumeSettingsParents(view, SettingsParentsFound(view));
}

bool SetSettingsValue(const char *name, const char *value, REGSAM view)
{
    if (value != NULL)
        return SetSettingsBytes(name, REG_SZ, std::string(value, strlen(value) + 1), view);
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SettingsKey, 0, KEY_SET_VALUE | view, &key) !=
        ERROR_SUCCESS)
        return true;
    LONG status = RegDeleteValueA(key, name);
    RegCloseKey(key);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool SetSettingsBytes(const char *name, DWORD type, const std::string &bytes, REGSAM view)
{
    NoteParents(view);
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, SettingsKey, 0, NULL, 0, KEY_SET_VALUE | view, NULL,
                        &key, NULL) != ERROR_SUCCESS)
        return false;
    // The byte after the value is no NUL: the system adds one to a string value whose
    // NUL was left out of the count only when it finds one there.
    std::string guarded = bytes + "#";
    LONG status = RegSetValueExA(key, name, 0, type, (const BYTE *)guarded.data(),
                                 (DWORD)bytes.size());
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

void RemoveSettingsKey(REGSAM view)
{
    NoteParents(view);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, SettingsKey, view, 0);
    for (unsigned i = 0; i < 2; ++i) {
        HKEY key;
        DWORD subkeys = 1, values = 1;
        if ((s_parentsFound[view == KEY_WOW64_64KEY] & (1u << i)) ||
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, SettingsParents[i], 0, KEY_READ | view, &key) !=
                ERROR_SUCCESS)
            return;
        RegQueryInfoKeyA(key, NULL, NULL, NULL, &subkeys, NULL, NULL, &values, NULL, NULL, NULL,
                         NULL);
        RegCloseKey(key);
        if (subkeys != 0 || values != 0)
            return;
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, SettingsParents[i], view, 0);
    }
}

bool HasSettingsValue(const char *name, REGSAM view)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SettingsKey, 0, KEY_QUERY_VALUE | view, &key) !=
        ERROR_SUCCESS)
        return false;
    LONG status = RegQueryValueExA(key, name, NULL, NULL, NULL, NULL);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

static bool StartsWithFolder(const std::string &path, const std::string &folder)
{
    std::string prefix = folder + "\\";
    return path.size() > prefix.size() &&
           CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, path.data(), (int)prefix.size(),
                          prefix.data(), (int)prefix.size()) == CSTR_EQUAL;
}

HANDLE OpenProcessUnder(const std::string &folder, DWORD access)
{
    std::string shortFolder = ShortPath(folder);
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return NULL;
    HANDLE found = NULL;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more && found == NULL;
         more = Process32Next(snapshot, &entry)) {
        HANDLE process = OpenProcess(access | PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE,
                                     FALSE, entry.th32ProcessID);
        if (process == NULL)
            continue;
        char image[MAX_PATH];
        DWORD size = sizeof image;
        if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT &&
            QueryFullProcessImageNameA(process, 0, image, &size) &&
            (StartsWithFolder(image, folder) || StartsWithFolder(image, shortFolder)))
            found = process;
        else
            CloseHandle(process);
    }
    CloseHandle(snapshot);
    return found;
}

int EndProcessesUnder(const std::string &folder)
{
    int ended = 0;
    for (HANDLE process; (process = OpenProcessUnder(folder, PROCESS_TERMINATE)) != NULL;
         ++ended) {
        TerminateProcess(process, 0xDEAD);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }
    return ended;
}

std::string OwnFolder()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, path, sizeof path);
    std::string s(path, n < sizeof path ? n : 0);
    size_t slash = s.find_last_of('\\');
    return slash == std::string::npos ? "." : s.substr(0, slash);
}
