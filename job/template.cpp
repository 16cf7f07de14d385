// Template expansion.  At each '[' the text up to its first ']' is upper-cased; if
// that token is a placeholder it is replaced, otherwise the '[' is copied and the scan
// goes on inside the brackets, so "[X[DOC]]" still finds its [DOC].  Replacement text
// is never scanned again.  The cost is linear in the template and its expansion.
//
// The expansion is measured first and then written, so the output always has room:
// a template of 51 "[DOC]" with a 255-character name makes 13,005 characters.
#include "job/template.h"

#include <windows.h>
#include <string.h>

enum { MAX_PLACEHOLDER = 6, USER_NAME_SIZE = 256 };

struct Expansion {
    const char *documentName;
    char userName[USER_NAME_SIZE];
    bool haveUserName;
};

// Which text replaces the placeholder starting at `at`, and how long the placeholder
// is; none when `at` starts no placeholder.  A token runs from the '[' to the first
// ']' after it; the longest placeholder has 6 characters, so a ']' further away makes
// a token that cannot match, and only a short token is upper-cased and compared.
static const char *Replacement(Expansion *e, const char *at, int *tokenLength)
{
    int close = 1;
    while (close < MAX_PLACEHOLDER && at[close] != '\0' && at[close] != ']')
        ++close;
    if (close == MAX_PLACEHOLDER || at[close] != ']')
        return NULL;
    *tokenLength = close + 1;

    char token[MAX_PLACEHOLDER + 1];
    lstrcpynA(token, at, close + 2);
    CharUpperA(token);
    if (lstrcmpA(token, "[DOC]") == 0)
        return e->documentName;
    if (lstrcmpA(token, "[USER]") != 0 && lstrcmpA(token, "[NOM]") != 0 &&
        lstrcmpA(token, "[NAME]") != 0)
        return NULL;
    if (!e->haveUserName) {
        DWORD size = sizeof e->userName;
        if (!GetUserNameA(e->userName, &size))
            e->userName[0] = '\0';
        e->haveUserName = true;
    }
    return e->userName;
}

// Writes the expansion into `out` when it is not null; returns its length either way.
static size_t Expand(Expansion *e, const char *p, char *out)
{
    size_t length = 0;
    while (*p != '\0') {
        int tokenLength = 0;
        const char *replacement = *p == '[' ? Replacement(e, p, &tokenLength) : NULL;
        if (replacement == NULL) {
            if (out != NULL)
                out[length] = *p;
            ++length;
            ++p;
            continue;
        }
        size_t n = (size_t)lstrlenA(replacement);
        if (out != NULL)
            memcpy(out + length, replacement, n);
        length += n;
        p += tokenLength;
    }
    if (out != NULL)
        out[length] = '\0';
    return length;
}

char *ExpandTemplate(const char *templateText, const char *documentName, bool toOem)
{
    if (templateText == NULL || templateText[0] == '\0')
        return NULL;

    Expansion e;
    e.documentName = documentName != NULL ? documentName : "";
    e.haveUserName = false;

    size_t length = Expand(&e, templateText, NULL);
    char *out = (char *)HeapAlloc(GetProcessHeap(), 0, length + 1);
    if (out == NULL)
        return NULL;
    Expand(&e, templateText, out);
    if (toOem)
        CharToOemA(out, out);
    return out;
}
