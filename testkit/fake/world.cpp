// The fake Win32 and Notes layer behind testkit/fake/include/windows.h.
#include "testkit/fake/world.h"

#include "notes/notes_client.h"

#include <stdio.h>
#include <stdlib.h>

namespace {

World g_world;

struct OpenFile {
    std::string path;
    size_t position = 0;
    bool open = false;
};
std::vector<OpenFile> g_handles;

void Event(const std::string &line)
{
    if (g_world.recordEvents)
        g_world.events.push_back(line);
}

std::string Hex(DWORD value)
{
    char text[16];
    snprintf(text, sizeof text, "0x%x", value);
    return text;
}

// Windows and HANDLEs are small numbers in disguise.
HWND WindowHandle(int index)
{
    return (HWND)(uintptr_t)(index + 1);
}

int WindowIndex(HWND window)
{
    return (int)(uintptr_t)window - 1;
}

bool WindowExists(int index)
{
    if (index < 0 || index >= (int)g_world.windows.size())
        return false;
    const FakeWindow &w = g_world.windows[index];
    bool gone = w.closedAt >= 0 && (long)g_world.now >= w.closedAt;
    return !gone && (w.parent < 0 || WindowExists(w.parent));
}

OpenFile *FileOfHandle(HANDLE handle)
{
    size_t index = (size_t)(uintptr_t)handle - 0x1000;
    if (index >= g_handles.size() || !g_handles[index].open)
        return nullptr;
    return &g_handles[index];
}

// Notes failure injection: true when this call of `operation` must fail.
bool NotesFails(const char *operation)
{
    FakeNotes &n = g_world.notes;
    int call = ++n.calls[operation];
    if (n.failOperation == "*")
        return true;
    return n.failOperation == operation && (n.failing == 0 || n.failing == call);
}

NotesStatus Status(bool failed)
{
    return failed ? 0x0103 : 0;
}

// A new Notes object from `operation`, unless it is made to fail.
NotesStatus NewHandle(const char *operation, NotesHandle *handle)
{
    if (NotesFails(operation))
        return Status(true);
    *handle = g_world.notes.nextHandle++;
    return 0;
}

} // namespace

World &TheWorld()
{
    return g_world;
}

void ResetWorld()
{
    g_world = World();
    g_handles.clear();
}

void AddFile(const std::string &path, const std::string &data, const std::string &shortPath)
{
    FakeFile f;
    f.data = data;
    f.shortPath = shortPath;
    g_world.files[path] = f;
}

void AddDirectory(const std::string &path, const std::string &shortPath)
{
    AddFile(path, "", shortPath);
    g_world.files[path].directory = true;
}

bool FileExists(const std::string &path)
{
    return g_world.files.count(path) != 0;
}

int AddWindow(const std::string &className, const std::string &title, int parent)
{
    g_world.windows.push_back(FakeWindow{className, title, parent});
    return (int)g_world.windows.size() - 1;
}

void FailNotes(const std::string &operation, int which)
{
    g_world.notes.failOperation = operation;
    g_world.notes.failing = which;
}

std::vector<std::string> EventsStartingWith(const std::string &prefix)
{
    std::vector<std::string> found;
    for (const std::string &e : g_world.events) {
        if (e.compare(0, prefix.size(), prefix) == 0)
            found.push_back(e);
    }
    return found;
}

// ---- kernel32 ----

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, SECURITY_ATTRIBUTES *security,
                   DWORD disposition, DWORD flags, HANDLE templateFile)
{
    Event("CreateFileA " + std::string(path) + " access=" + Hex(access) + " share=" +
          Hex(share) + " disposition=" + std::to_string(disposition) + " flags=" + Hex(flags) +
          (security || templateFile ? " extra" : ""));
    auto it = g_world.files.find(path);
    bool held = it != g_world.files.end() && it->second.heldUntil > g_world.now;
    if (it == g_world.files.end() || it->second.directory || it->second.openHandles > 0 || held) {
        g_world.lastError = it == g_world.files.end() ? ERROR_FILE_NOT_FOUND
                            : it->second.directory   ? ERROR_ACCESS_DENIED
                                                     : ERROR_SHARING_VIOLATION;
        return INVALID_HANDLE_VALUE;
    }
    it->second.openHandles++;
    it->second.deleteOnClose |= (flags & FILE_FLAG_DELETE_ON_CLOSE) != 0;
    OpenFile f;
    f.path = path;
    f.open = true;
    g_handles.push_back(f);
    return (HANDLE)(uintptr_t)(0x1000 + g_handles.size() - 1);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, DWORD *read, OVERLAPPED *)
{
    Event("ReadFile " + std::to_string(size));
    OpenFile *f = FileOfHandle(file);
    *read = 0;
    if (f == nullptr)
        return FALSE;
    const std::string &data = g_world.files[f->path].data;
    size_t available = f->position < data.size() ? data.size() - f->position : 0;
    size_t n = available < size ? available : size;
    memcpy(buffer, data.data() + f->position, n);
    f->position += n;
    *read = (DWORD)n;
    return TRUE;
}

BOOL CloseHandle(HANDLE handle)
{
    OpenFile *f = FileOfHandle(handle);
    if (f == nullptr) {
        Event("CloseHandle invalid");
        return FALSE;
    }
    Event("CloseHandle " + f->path);
    f->open = false;
    FakeFile &file = g_world.files[f->path];
    if (--file.openHandles == 0 && file.deleteOnClose)
        g_world.files.erase(f->path);
    return TRUE;
}

DWORD GetFileAttributesA(LPCSTR path)
{
    Event("GetFileAttributesA " + std::string(path));
    auto it = g_world.files.find(path);
    if (it == g_world.files.end()) {
        g_world.lastError = ERROR_FILE_NOT_FOUND;
        return INVALID_FILE_ATTRIBUTES;
    }
    return it->second.directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

HGLOBAL GlobalAlloc(UINT flags, SIZE_T size)
{
    Event("GlobalAlloc " + Hex(flags) + " " + std::to_string(size));
    if (size > g_world.globalAllocLimit)
        return nullptr;
    void *block = (flags & GMEM_ZEROINIT) ? calloc(1, size ? size : 1) : malloc(size ? size : 1);
    if (block)
        g_world.liveGlobalBlocks++;
    return block;
}

HGLOBAL GlobalFree(HGLOBAL memory)
{
    Event("GlobalFree");
    if (memory)
        g_world.liveGlobalBlocks--;
    free(memory);
    return nullptr;
}

// %NAME% becomes the fake environment's value; an unknown name stays as written.  The
// count returned is the expansion and its NUL, or with expandAsksOneMore a byte more.
// The buffer gets the expansion and a NUL, cut to fit when it is too small (as Wine
// does), so that a caller who ignores the count is seen taking half a path.
DWORD ExpandEnvironmentStringsA(LPCSTR from, LPSTR to, DWORD size)
{
    Event("ExpandEnvironmentStringsA " + std::string(from) + " " + std::to_string(size));
    std::string out;
    for (const char *p = from; *p != '\0'; ++p) {
        const char *end = *p == '%' ? strchr(p + 1, '%') : nullptr;
        auto it = end ? g_world.environment.find(std::string(p + 1, end)) : g_world.environment.end();
        if (it == g_world.environment.end()) {
            out += *p;
            continue;
        }
        out += it->second;
        p = end;
    }
    DWORD count = (DWORD)out.size() + (g_world.expandAsksOneMore ? 2 : 1);
    if (size > 0) {
        size_t kept = out.size() < size ? out.size() : size - 1;
        memcpy(to, out.c_str(), kept);
        to[kept] = '\0';
    }
    return count;
}

DWORD GetLastError(void)
{
    return g_world.lastError;
}

HANDLE GetProcessHeap(void)
{
    return (HANDLE)&g_world;
}

LPVOID HeapAlloc(HANDLE heap, DWORD, SIZE_T size)
{
    if (heap != (HANDLE)&g_world)
        abort();
    g_world.liveHeapBlocks++;
    return malloc(size ? size : 1);
}

BOOL HeapFree(HANDLE heap, DWORD, LPVOID memory)
{
    if (heap != (HANDLE)&g_world)
        abort();
    if (memory)
        g_world.liveHeapBlocks--;
    free(memory);
    return TRUE;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR path, DWORD size)
{
    Event(std::string("GetModuleFileNameA ") + (module ? "module" : "self") + " " +
          std::to_string(size));
    // As on Windows: a path that does not fit is cut and the buffer size returned.
    lstrcpynA(path, g_world.modulePath.c_str(), (int)size);
    if (g_world.modulePath.size() >= size) {
        g_world.lastError = ERROR_INSUFFICIENT_BUFFER;
        return size;
    }
    return (DWORD)lstrlenA(path);
}

DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size)
{
    std::string from = longPath;
    Event("GetShortPathNameA " + from + " " + std::to_string(size));
    auto it = g_world.files.find(from);
    if (it == g_world.files.end() || it->second.noShortForm)
        return 0;
    std::string to = it->second.shortPath.empty() ? from : it->second.shortPath;
    if (to.size() + 1 > size)
        return (DWORD)to.size() + 1;
    memcpy(shortPath, to.c_str(), to.size() + 1);
    return (DWORD)to.size();
}

UINT WinExec(LPCSTR command, UINT show)
{
    Event("WinExec " + std::string(command) + " show=" + std::to_string(show));
    g_world.launched.push_back(command);
    return 33;
}

void Sleep(DWORD milliseconds)
{
    Event("Sleep " + std::to_string(milliseconds));
    g_world.now += milliseconds;
}

BOOL IsDBCSLeadByte(BYTE c)
{
    return c != 0 && g_world.leadBytes.find((char)c) != std::string::npos;
}

int lstrlenA(LPCSTR s)
{
    return s ? (int)strlen(s) : 0;
}

LPSTR lstrcpyA(LPSTR to, LPCSTR from)
{
    return strcpy(to, from);
}

LPSTR lstrcpynA(LPSTR to, LPCSTR from, int size)
{
    if (size <= 0)
        return to;
    int i = 0;
    for (; i < size - 1 && from[i] != '\0'; ++i)
        to[i] = from[i];
    to[i] = '\0';
    return to;
}

int lstrcmpA(LPCSTR a, LPCSTR b)
{
    return strcmp(a, b);
}

// ---- user32 ----

HWND FindWindowA(LPCSTR className, LPCSTR title)
{
    Event(std::string("FindWindowA ") + (className ? className : "NULL") +
          (title ? " title" : ""));
    for (size_t i = 0; i < g_world.windows.size(); ++i) {
        const FakeWindow &w = g_world.windows[i];
        if (w.parent < 0 && WindowExists((int)i) && className && w.className == className &&
            (!title || w.title == title))
            return WindowHandle((int)i);
    }
    return nullptr;
}

// Depth first, each child followed by its own descendants, as the platform does.
static bool EnumDescendants(int parent, WNDENUMPROC callback, LPARAM param)
{
    for (size_t i = 0; i < g_world.windows.size(); ++i) {
        if (g_world.windows[i].parent != parent || !WindowExists((int)i))
            continue;
        if (!callback(WindowHandle((int)i), param))
            return false;
        if (!EnumDescendants((int)i, callback, param))
            return false;
    }
    return true;
}

BOOL EnumChildWindows(HWND parent, WNDENUMPROC callback, LPARAM param)
{
    Event("EnumChildWindows");
    EnumDescendants(WindowIndex(parent), callback, param);
    return TRUE;
}

int GetWindowTextA(HWND window, LPSTR text, int size)
{
    int index = WindowIndex(window);
    if (!WindowExists(index) || size <= 0)
        return 0;
    lstrcpynA(text, g_world.windows[index].title.c_str(), size);
    return lstrlenA(text);
}

BOOL IsWindow(HWND window)
{
    int index = WindowIndex(window);
    return WindowExists(index) && !g_world.windows[index].rejectedByIsWindow;
}

BOOL IsWindowEnabled(HWND window)
{
    int index = WindowIndex(window);
    return WindowExists(index) && g_world.now >= g_world.windows[index].disabledUntil;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    int index = WindowIndex(window);
    if (!WindowExists(index))
        return FALSE;
    FakeWindow &w = g_world.windows[index];
    Event("PostMessageA " + Hex(message) + " " + w.title + " " + std::to_string(wParam) + " " +
          std::to_string(lParam));
    if (message == WM_CLOSE && w.closeDelay >= 0 && w.closedAt < 0)
        w.closedAt = (long)g_world.now + w.closeDelay;
    return TRUE;
}

LPSTR CharUpperA(LPSTR text)
{
    for (unsigned char *p = (unsigned char *)text; *p; ++p) {
        if ((*p >= 'a' && *p <= 'z') || (*p >= 0xE0 && *p <= 0xFE && *p != 0xF7))
            *p = (unsigned char)(*p - 0x20);
    }
    return text;
}

// Windows-1252 to OEM 437 for the letters a French text uses; others become '?'.
BOOL CharToOemA(LPCSTR from, LPSTR to)
{
    static const struct { unsigned char ansi, oem; } table[] = {
        {0xE0, 0x85}, {0xE2, 0x83}, {0xE4, 0x84}, {0xE7, 0x87}, {0xE8, 0x8A}, {0xE9, 0x82},
        {0xEA, 0x88}, {0xEB, 0x89}, {0xEE, 0x8C}, {0xEF, 0x8B}, {0xF4, 0x93}, {0xF6, 0x94},
        {0xF9, 0x97}, {0xFB, 0x96}, {0xFC, 0x81}, {0xC7, 0x80}, {0xC9, 0x90}, {0xC4, 0x8E},
    };
    size_t i = 0;
    for (; from[i] != '\0'; ++i) {
        unsigned char c = (unsigned char)from[i];
        if (c >= 0x80) {
            unsigned char oem = '?';
            for (const auto &t : table) {
                if (t.ansi == c)
                    oem = t.oem;
            }
            c = oem;
        }
        to[i] = (char)c;
    }
    to[i] = '\0';
    return TRUE;
}

// Strings come back as "msg:N", so a test sees which id was loaded.
int LoadStringA(HINSTANCE, UINT id, LPSTR buffer, int size)
{
    char text[32];
    snprintf(text, sizeof text, "msg:%u", id);
    lstrcpynA(buffer, text, size);
    return lstrlenA(buffer);
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    if (owner != nullptr || strcmp(caption, "msg:1") != 0 || style != MB_OK ||
        strncmp(text, "msg:", 4) != 0)
        abort();        // every box is ownerless, captioned string 1, and MB_OK
    UINT id = (UINT)atoi(text + 4);
    Event("MessageBox " + std::to_string(id));
    g_world.boxes.push_back(id);
    return 1;
}

// ---- advapi32 ----

static FakeKeyTag *const OpenKey = (FakeKeyTag *)(uintptr_t)0x4242;
static FakeKeyTag *const OpenKey64 = (FakeKeyTag *)(uintptr_t)0x6464;

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, HKEY *result)
{
    Event("RegOpenKeyExA " + std::string(key == HKEY_LOCAL_MACHINE ? "HKLM\\" : "?\\") + subKey +
          " options=" + std::to_string(options) + " access=" + Hex(access));
    bool view64 = (access & KEY_WOW64_64KEY) != 0;
    if (!(view64 ? g_world.key64Exists : g_world.keyExists))
        return ERROR_FILE_NOT_FOUND;
    *result = view64 ? OpenKey64 : OpenKey;
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR name, DWORD *reserved, DWORD *type, BYTE *data, DWORD *size)
{
    Event("RegQueryValueExA " + std::string(name) + " " + std::to_string(*size));
    if ((key != OpenKey && key != OpenKey64) || reserved != nullptr)
        abort();
    const std::map<std::string, std::string> &values =
        key == OpenKey64 ? g_world.values64 : g_world.values;
    auto it = values.find(name);
    if (it == values.end())
        return ERROR_FILE_NOT_FOUND;
    if (type != nullptr)
        *type = g_world.valueTypes.count(name) ? g_world.valueTypes[name] : REG_SZ;
    const std::string &bytes = it->second;
    if (bytes.size() > *size) {
        memcpy(data, bytes.data(), *size);      // what is there is undefined: junk
        *size = (DWORD)bytes.size();
        return ERROR_MORE_DATA;
    }
    memcpy(data, bytes.data(), bytes.size());
    *size = (DWORD)bytes.size();
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key)
{
    Event("RegCloseKey");
    return key == OpenKey || key == OpenKey64 ? ERROR_SUCCESS : 6;
}

BOOL GetUserNameA(LPSTR name, DWORD *size)
{
    Event("GetUserNameA " + std::to_string(*size));
    if (g_world.userNameFails || g_world.userName.size() + 1 > *size)
        return FALSE;
    memcpy(name, g_world.userName.c_str(), g_world.userName.size() + 1);
    *size = (DWORD)g_world.userName.size() + 1;
    return TRUE;
}

// ---- the Notes client library ----

NotesStatus InitNotesRuntime(int argc, char **argv)
{
    std::string line = "InitNotesRuntime argc=" + std::to_string(argc);
    for (int i = 0; i < argc; ++i)
        line += std::string(" ") + argv[i];
    Event(line);
    return Status(NotesFails("InitNotesRuntime"));
}

void EndNotesRuntime(void)
{
    Event("EndNotesRuntime");
}

void SetClientVariable(const char *name, const char *value)
{
    Event("SetClientVariable " + std::string(name) + "=" + value);
    if (!NotesFails("SetClientVariable"))
        g_world.notes.variables[name] = value;
}

NotesStatus OpenDatabase(const char *path, NotesHandle *db)
{
    Event("OpenDatabase " + std::string(path));
    return NewHandle("OpenDatabase", db);
}

NotesStatus CloseDatabase(NotesHandle)
{
    Event("CloseDatabase");
    return Status(NotesFails("CloseDatabase"));
}

NotesStatus CreateNote(NotesHandle db, NotesHandle *note)
{
    Event("CreateNote db=" + Hex(db));
    return NewHandle("CreateNote", note);
}

NotesStatus CloseNote(NotesHandle)
{
    Event("CloseNote");
    return Status(NotesFails("CloseNote"));
}

NotesStatus SetTextItem(NotesHandle, const char *item, const char *text, WORD length)
{
    Event("SetTextItem " + std::string(item) + "=" + text + " length=" + std::to_string(length));
    return Status(NotesFails("SetTextItem"));
}

NotesStatus CreateBodyBuffer(NotesHandle *body, DWORD *length)
{
    Event("CreateBodyBuffer length=" + std::to_string(*length));
    g_world.notes.bodyLength = 0;
    g_world.notes.bodyLines.clear();
    return NewHandle("CreateBodyBuffer", body);
}

NotesStatus AppendBodyLine(NotesHandle, DWORD *length, const char *line, WORD lineLength)
{
    std::string text = line ? std::string(line, lineLength) : "NULL";
    Event("AppendBodyLine " + std::to_string(lineLength));
    if (NotesFails("AppendBodyLine"))
        return Status(true);
    if (*length != g_world.notes.bodyLength)
        abort();    // the caller must hand back the length it was given
    g_world.notes.bodyLines.push_back(text);
    *length += (DWORD)lineLength + 2;
    g_world.notes.bodyLength = *length;
    return 0;
}

NotesStatus AddBodyToNote(NotesHandle, NotesHandle, DWORD length, void *reserved)
{
    Event("AddBodyToNote length=" + std::to_string(length) + (reserved ? " reserved" : ""));
    return Status(NotesFails("AddBodyToNote"));
}

NotesStatus AttachFile(NotesHandle, const char *item, WORD itemLength, const char *path,
                       const char *recordedName, WORD encoding)
{
    Event("AttachFile " + std::string(item) + "/" + std::to_string(itemLength) + " " + path +
          " as " + recordedName + " encoding=" + Hex(encoding));
    return Status(NotesFails("AttachFile"));
}

NotesStatus SaveNote(NotesHandle, WORD flags)
{
    Event("SaveNote flags=" + std::to_string(flags));
    return Status(NotesFails("SaveNote"));
}
