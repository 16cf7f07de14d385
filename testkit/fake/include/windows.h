// A small stand-in for <windows.h> on Linux: the types, constants and ANSI calls the
// program uses, no more.  The calls are implemented by the fake world
// (testkit/fake/world.cpp), which unit tests script and inspect.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#define WINAPI
#define CALLBACK

typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef unsigned int UINT;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef void *LPVOID;
typedef void *HANDLE;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef size_t SIZE_T;

struct FakeWindowTag;
struct FakeInstanceTag;
struct FakeKeyTag;
typedef FakeWindowTag *HWND;
typedef FakeInstanceTag *HINSTANCE;
typedef HINSTANCE HMODULE;
typedef FakeKeyTag *HKEY;
typedef void *HGLOBAL;
typedef DWORD REGSAM;
typedef BOOL(CALLBACK *WNDENUMPROC)(HWND, LPARAM);

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define FILE_ATTRIBUTE_READONLY 0x01
#define FILE_ATTRIBUTE_DIRECTORY 0x10
#define FILE_ATTRIBUTE_NORMAL 0x80
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000
#define GENERIC_READ 0x80000000u
#define DELETE 0x00010000u
#define OPEN_EXISTING 3
#define GMEM_ZEROINIT 0x40
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_MORE_DATA 234L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_ACCESS_DENIED 5L
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)
#define KEY_READ 0x20019
#define KEY_WOW64_64KEY 0x0100
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define ERROR_INSUFFICIENT_BUFFER 122L
#define WM_CLOSE 0x0010
#define MB_OK 0
#define SW_SHOWNORMAL 1

typedef struct _SECURITY_ATTRIBUTES SECURITY_ATTRIBUTES;
typedef struct _OVERLAPPED OVERLAPPED;

// kernel32
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, SECURITY_ATTRIBUTES *security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, DWORD *read, OVERLAPPED *overlapped);
BOOL CloseHandle(HANDLE handle);
DWORD GetFileAttributesA(LPCSTR path);
DWORD GetLastError(void);
DWORD ExpandEnvironmentStringsA(LPCSTR from, LPSTR to, DWORD size);
HGLOBAL GlobalAlloc(UINT flags, SIZE_T size);
HGLOBAL GlobalFree(HGLOBAL memory);
HANDLE GetProcessHeap(void);
LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T size);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID memory);
DWORD GetModuleFileNameA(HMODULE module, LPSTR path, DWORD size);
DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size);
UINT WinExec(LPCSTR command, UINT show);
void Sleep(DWORD milliseconds);
BOOL IsDBCSLeadByte(BYTE c);
int lstrlenA(LPCSTR s);
LPSTR lstrcpyA(LPSTR to, LPCSTR from);
LPSTR lstrcpynA(LPSTR to, LPCSTR from, int size);
int lstrcmpA(LPCSTR a, LPCSTR b);

// user32
HWND FindWindowA(LPCSTR className, LPCSTR title);
BOOL EnumChildWindows(HWND parent, WNDENUMPROC callback, LPARAM param);
int GetWindowTextA(HWND window, LPSTR text, int size);
BOOL IsWindow(HWND window);
BOOL IsWindowEnabled(HWND window);
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LPSTR CharUpperA(LPSTR text);
BOOL CharToOemA(LPCSTR from, LPSTR to);
int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style);

// advapi32
LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, HKEY *result);
LONG RegQueryValueExA(HKEY key, LPCSTR name, DWORD *reserved, DWORD *type, BYTE *data,
                      DWORD *size);
LONG RegCloseKey(HKEY key);
BOOL GetUserNameA(LPSTR name, DWORD *size);
