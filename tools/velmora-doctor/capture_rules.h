// The capture's decisions that need no Windows (capture.cpp uses them; the host tests
// judge them on their own): how a name the folder reports is turned into the ANSI code
// page, and which names --match keeps.
#pragma once

// The arguments of WideCharToMultiByte for a name, in code page `codePage` (the ANSI
// code page, resolved: 65001 on a machine set to use UTF-8 for ANSI).
struct NameConversion {
    unsigned long flags;    // WC_NO_BEST_FIT_CHARS (0x400) or WC_ERR_INVALID_CHARS (0x80)
    // Whether lpUsedDefaultChar is given: a name with a character the code page lacks is
    // then known.  UTF-8 takes none (ERROR_INVALID_PARAMETER otherwise) and lacks no
    // character; an unpaired surrogate is refused by WC_ERR_INVALID_CHARS instead.
    bool askUsedDefault;
};
NameConversion ConversionFor(unsigned codePage);

// Whether `name` matches `pattern`: '*' any run of characters, '?' one, ASCII letters
// without case, every other byte as itself (a name and a pattern in one code page).
bool NameMatches(const char *pattern, const char *name);
