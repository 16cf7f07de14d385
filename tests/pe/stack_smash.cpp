// The WinMain of stack-smash.exe, a test-only build of the program's entry point
// (app/startup.cpp) and stack guard with the program's hardening flags, in which
// WinMain overflows a guarded local buffer.  Coming through the real entry, the guard
// must have been seeded by then, and the guard's failure routine must end the process
// with 0xC0000409 (STATUS_STACK_BUFFER_OVERRUN).  Other exit codes: 2, the entry left
// the guard at its build-time value; 3, the overflow went unnoticed; anything else,
// such as 0xC0000005 or 0, the smashed frame was used.
#include <windows.h>

#include "app/stack_guard.h"
#include "app/winmain.h"

extern "C" UINT_PTR __stack_chk_guard;

int g_argc;
char **g_argv;

// The length is read at run time, so that the compiler sees no overflow to refuse.
static volatile DWORD g_smashLength = 96;

__attribute__((noinline)) static void Overflow(void)
{
    char buffer[16];
    volatile char *volatile out = buffer;
    for (DWORD i = 0; i < g_smashLength; ++i)
        out[i] = 'A';
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    if (__stack_chk_guard == STACK_GUARD_UNSEEDED)
        return 2;
    Overflow();
    return 3;
}
