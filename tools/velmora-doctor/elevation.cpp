// The process token read once: elevated, or SYSTEM.  Under UAC an administrator's
// token is elevated only in a process started "as administrator"; SYSTEM's is
// reported elevated by some Windows versions and not by others, so its SID is checked
// too (learn.microsoft.com: "TOKEN_INFORMATION_CLASS", TokenElevation; "Well-known
// SIDs", S-1-5-18 Local System).
#include "tools/velmora-doctor/elevation.h"

#include <windows.h>

bool TokenIsElevatedOrSystem(void)
{
    HANDLE token = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return true;
    TOKEN_ELEVATION elevation = {0};
    DWORD size = 0;
    bool known = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation,
                                     &size) != 0;
    // TOKEN_USER and a SID of at most SECURITY_MAX_SID_SIZE bytes, aligned for both.
    DWORD room[(sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE) / sizeof(DWORD) + 1];
    const TOKEN_USER *user = (const TOKEN_USER *)(void *)room;
    bool system = false;
    if (GetTokenInformation(token, TokenUser, room, sizeof room, &size)) {
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        PSID localSystem = NULL;
        if (AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0,
                                     &localSystem)) {
            system = EqualSid(user->User.Sid, localSystem) != 0;
            FreeSid(localSystem);
        }
    } else {
        known = false;
    }
    CloseHandle(token);
    return !known || elevation.TokenIsElevated != 0 || system;
}
