// Whether the doctor runs with more rights than a standard user.
#pragma once

// True when the process token is elevated (TokenElevation) or is SYSTEM's (user SID
// S-1-5-18); false for a standard user's token, or a filtered one under UAC.  A token
// that cannot be read counts as elevated: what needs a standard user then refuses.
bool TokenIsElevatedOrSystem(void);
