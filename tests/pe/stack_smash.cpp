// stack-smash.exe, a test-only program built with the program's stack guard file and
// hardening flags: it checks that the entry point's seeding changes the guard, then
// overflows a guarded local buffer.  The guard's failure routine must end it with
// 0xC0000409 (STATUS_STACK_BUFFER_OVERRUN).  Other exit codes: 2, the guard kept its
// build-time value; 3, the overflow went unnoticed; anything else, such as 0xC0000005
// or 0, the smashed frame was used.
#include <windows.h>

#include "app/stack_guard.h"

extern "C" UINT_PTR __stack_chk_guard;

// The length is read at run time, so that the compiler sees no overflow to refuse.
static volatile DWORD g_smashLength = 96;

__attribute__((noinline)) static void Overflow(void)
{
    char buffer[16];
    volatile char *volatile out = buffer;
    for (DWORD i = 0; i < g_smashLength; ++i)
        out[i] = 'A';
}

extern "C" __attribute__((no_stack_protector)) void WINAPI SmashStartup(void)
{
    UINT_PTR unseeded = __stack_chk_guard;
    SeedStackGuard();
    if (__stack_chk_guard == unseeded)
        ExitProcess(2);
    Overflow();
    ExitProcess(3);
}
