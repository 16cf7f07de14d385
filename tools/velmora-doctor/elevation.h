// Whose rights the doctor runs with.
#pragma once

// True when the process token is elevated (TokenElevation) or is SYSTEM's (user
// S-1-5-18); also true when the token cannot be read, the safe side for a check that
// refuses to run foreign code.
bool TokenIsElevatedOrSystem(void);
