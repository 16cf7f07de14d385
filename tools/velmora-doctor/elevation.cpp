// The doctor's token: elevated, SYSTEM, or a standard user's.
// TokenElevation: https://learn.microsoft.com/windows/win32/api/winnt/ns-winnt-token_elevation
// SYSTEM's SID, S-1-5-18: https://learn.microsoft.com/windows/win32/secauthz/well-known-sids
#include "tools/velmora-doctor/elevation.h"

#include <windows.h>

bool TokenIsElevatedOrSystem(void)
{
    HANDLE token = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return true;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    bool elevated = !GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation,
                                         &size) ||
                    elevation.TokenIsElevated != 0;
    // A TOKEN_USER and its SID, aligned for the SID's fields.
    DWORD user[(sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE) / sizeof(DWORD) + 1];
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID system = NULL;
    bool isSystem = true;
    if (GetTokenInformation(token, TokenUser, user, sizeof user, &size) &&
        AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0,
                                 &system)) {
        isSystem = EqualSid(((TOKEN_USER *)user)->User.Sid, system) != 0;
        FreeSid(system);
    }
    CloseHandle(token);
    return elevated || isSystem;
}
