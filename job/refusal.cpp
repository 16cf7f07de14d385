// The box that follows from a refusal.  The switch has no default, so a rule added
// without its box does not compile.
#include "job/refusal.h"

#include "resources/resource.h"

unsigned RefusalMessage(RefusalRule rule)
{
    switch (rule) {
    case REFUSED_NOT:
        return 0;
    case REFUSED_KEY_MISSING:
    case REFUSED_VALUE_MISSING:
    case REFUSED_VALUE_TOO_LONG:
    case REFUSED_VALUE_UNTERMINATED:
    case REFUSED_EXPANSION_TOO_LONG:
    case REFUSED_VALUE_EMPTY:
    case REFUSED_VALUE_NAMES_NOTHING:
        return MSG_NOT_INSTALLED;
    case REFUSED_PATH_TOO_LONG:
    case REFUSED_JOB_UNOPENABLE:
        return MSG_OPEN_JOB_FAILED;
    case REFUSED_HEADER_SHORT:
    case REFUSED_TEXT_UNTERMINATED:
    case REFUSED_LIST_TOO_LARGE:
    case REFUSED_LIST_UNAVAILABLE:
    case REFUSED_LIST_SHORT:
    case REFUSED_EXTRA_UNTERMINATED:
        return MSG_READ_JOB_FAILED;
    }
    return 0;
}
