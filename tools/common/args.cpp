// The tools' one command-line parser (args.h).
#include "tools/common/args.h"

#include <string.h>

ArgReader ArgsOf(const ArgOption *options, int optionCount, int argc, const char *const *argv,
                 int first, bool joined)
{
    ArgReader r = {options, optionCount, argc, argv, first, joined, 0};
    return r;
}

// The option of the table that `text` names, with *value set for "--name=VALUE"; NULL
// for none.
static const ArgOption *Named(const ArgReader *r, const char *text, const char **value)
{
    for (int k = 0; k < r->optionCount; ++k) {
        const ArgOption *o = &r->options[k];
        size_t n = strlen(o->name);
        if (strncmp(text, o->name, n) != 0)
            continue;
        if (text[n] == '\0')
            return o;
        if (r->joined && o->takes == ARG_VALUE && text[n] == '=') {
            *value = text + n + 1;
            return o;
        }
    }
    return NULL;
}

Arg NextArg(ArgReader *r)
{
    Arg a = {ARG_END, 0, NULL, NULL};
    if (r->next >= r->argc)
        return a;
    a.text = r->argv[r->next++];
    const char *value = NULL;
    const ArgOption *o = Named(r, a.text, &value);
    if (o == NULL) {
        a.event = a.text[0] == '-' && a.text[1] != '\0' ? ARG_UNKNOWN : ARG_OPERAND;
        return a;
    }
    a.id = o->id;
    if (o->takes == ARG_VALUE && value == NULL) {
        if (r->next >= r->argc) {
            a.event = ARG_NO_VALUE;
            return a;
        }
        value = r->argv[r->next++];
    }
    uint32_t bit = 1u << (o - r->options);
    a.event = o->once && (r->seen & bit) != 0 ? ARG_TWICE : ARG_OPTION;
    r->seen |= bit;
    a.value = value;
    return a;
}

bool ArgNumber(const char *text, uint64_t limit, uint64_t *value)
{
    uint64_t n = 0;
    for (const char *c = text; *c != '\0'; ++c) {
        uint64_t digit = (uint64_t)(*c - '0');
        if (*c < '0' || *c > '9' || n > (limit - digit) / 10)
            return false;
        n = n * 10 + digit;
    }
    *value = n;
    return text[0] != '\0';
}
