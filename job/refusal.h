// Why a check refused to go on: the rule that refused and the value concerned.  The
// checks of the installation settings and of the job file fill one in and show
// nothing; the send command shows the box RefusalMessage gives for it, and the doctor
// prints the reason and quotes that same box, so both always tell the same reason.
// Free of Windows: velmora-job reports the job file's refusals in the same terms.
#pragma once

enum RefusalRule {
    REFUSED_NOT = 0,
    // Installation settings.  `value` names the registry value ("LN_Appli", "LN_Base"),
    // or none for the key itself.
    REFUSED_KEY_MISSING,            // the key cannot be opened; detail: the status
    REFUSED_VALUE_MISSING,          // no such value; detail: the status
    REFUSED_VALUE_TOO_LONG,         // does not fit 260 bytes with its NUL; detail: its size
    REFUSED_VALUE_UNTERMINATED,     // fits, but holds no NUL; detail: its size
    REFUSED_EXPANSION_TOO_LONG,     // a REG_EXPAND_SZ whose expansion does not fit 260
                                    // bytes; detail: the size Windows asks for (some
                                    // versions a byte more), 0 if unknown
    REFUSED_VALUE_EMPTY,            // an empty text
    REFUSED_VALUE_NAMES_NOTHING,    // no file or folder of that name; detail: the error
    // Job path.  `value` is none.
    REFUSED_PATH_TOO_LONG,          // does not fit 260 bytes with its NUL; detail: length
    REFUSED_JOB_UNOPENABLE,         // the exclusive open failed; detail: the error
    // Job header.  `value` names the text ("subject", "body", ...).
    REFUSED_HEADER_SHORT,           // shorter than the header; detail: bytes read
    REFUSED_TEXT_UNTERMINATED,      // a header text runs past its slot
    // Job list.
    REFUSED_LIST_TOO_LARGE,         // count x 256 does not fit 32 bits; detail: count
    REFUSED_LIST_UNAVAILABLE,       // no memory for the list; detail: count
    REFUSED_LIST_SHORT,             // the file holds less than the count says; detail: bytes read
    REFUSED_EXTRA_UNTERMINATED,     // an extra path runs past its slot; detail: its index from 0
};

// The message box the program shows for a refusal by `rule` (a MessageId of
// resources/resource.h): 7 for the settings, 8 for the job's path and opening, 9 for
// its header and list.  0 for REFUSED_NOT.
unsigned RefusalMessage(RefusalRule rule);

struct Refusal {
    RefusalRule rule;
    const char *value;
    unsigned long detail;
};

// Fills in `why` and returns false, for `return Refuse(...)` in a check.
inline bool Refuse(Refusal *why, RefusalRule rule, const char *value, unsigned long detail)
{
    why->rule = rule;
    why->value = value;
    why->detail = detail;
    return false;
}
