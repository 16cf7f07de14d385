// The stack protector's guard value and failure routine, provided by the program.
//
// The program is compiled with -fstack-protector-strong: every function with a local
// buffer or a local whose address escapes keeps a copy of __stack_chk_guard between
// its locals and its return address, and calls __stack_chk_fail if the copy changed
// by the time it returns.  The compiler's own support library would bring a DLL of
// its own and the C runtime's start-up code, neither of which the program ships or
// runs, so both symbols are defined here.
//
// SeedStackGuard runs first at the entry point: until then the guard holds a fixed
// value that an attacker could know.  It and the entry point are not guarded
// themselves, since the guard changes under them.  The failure routine ends the
// process at once with STATUS_STACK_BUFFER_OVERRUN, as the platform's own checks do:
// after a smash nothing on the stack can be trusted, including the exception chain,
// so it raises nothing, unwinds nothing and shows nothing.
#include <windows.h>

#include "app/stack_guard.h"

extern "C" {

// RtlGenRandom, exported by ADVAPI32 under this name.
BOOLEAN WINAPI SystemFunction036(PVOID buffer, ULONG length);

// The value until SeedStackGuard runs; any non-zero value will do.
UINT_PTR __stack_chk_guard = STACK_GUARD_UNSEEDED;

__attribute__((no_stack_protector)) void SeedStackGuard(void)
{
    UINT_PTR before = __stack_chk_guard;
    if (!SystemFunction036(&__stack_chk_guard, sizeof __stack_chk_guard)) {
        // Only a broken system gets here: take what differs between runs.
        __stack_chk_guard = before ^ (UINT_PTR)GetTickCount() ^
                            ((UINT_PTR)GetCurrentProcessId() << 16) ^
                            (UINT_PTR)&before;
    }
}

__attribute__((noreturn)) void __stack_chk_fail(void)
{
    // (HANDLE)-1 is the current process, which GetCurrentProcess would return.
    TerminateProcess((HANDLE)-1, 0xC0000409u);   // STATUS_STACK_BUFFER_OVERRUN
    __builtin_trap();
}
}
