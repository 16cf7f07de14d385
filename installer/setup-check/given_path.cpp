#include "installer/setup-check/given_path.h"

#include "job/install_settings.h"

bool AcceptGivenPath(const char *name, const char *text, Refusal *why)
{
    why->rule = REFUSED_NOT;
    why->value = name;
    why->detail = 0;
    return text[0] == '\0' || AcceptPathText(name, text, why);
}
