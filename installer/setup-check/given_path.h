// A path given to the installer for one of the settings (LN_APPLI, LN_BASE), judged
// before the package writes it.  The installer's check and the doctor's
// --check-settings both judge through here, so that they never disagree.
#pragma once

#include "job/refusal.h"

// An empty text is not given: the package writes no value for it, so it is accepted
// without being judged.  Any other text is judged by the program's own rule for a
// value it reads (AcceptPathText).  On false `why` says which rule refused.
bool AcceptGivenPath(const char *name, const char *text, Refusal *why);
