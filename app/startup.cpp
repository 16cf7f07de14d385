// The process entry point of the Windows program, in place of the C runtime's.
//
// The runtime's own start-up code computes the WinMain command tail by rules of its
// own (bytes compared signed, an empty tail after "prog.exe"x), so the program starts
// here: argc and argv from the runtime DLL's standard splitting, the tail from
// CommandTail, and WinMain's result as the exit code.  Nothing else runs first but
// the seeding of the stack guard; this function, which runs across that change, is
// left unguarded.
#include <windows.h>

#include "app/command_tail.h"
#include "app/stack_guard.h"
#include "app/winmain.h"

struct RuntimeStartInfo {
    int newMode;
};

extern "C" int __cdecl __getmainargs(int *argc, char ***argv, char ***env, int wildcards,
                                     RuntimeStartInfo *info);

extern "C" __attribute__((force_align_arg_pointer, no_stack_protector)) void WINAPI
VelmoraStartup(void)
{
    SeedStackGuard();
    char **env = NULL;
    RuntimeStartInfo info = {0};
    __getmainargs(&g_argc, &g_argv, &env, 0, &info);

    STARTUPINFOA startup;
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;

    char *tail = (char *)CommandTail(GetCommandLineA());
    ExitProcess((UINT)WinMain(GetModuleHandleA(NULL), NULL, tail, show));
}
