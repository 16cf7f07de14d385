// Field templates: [DOC] becomes the job's document name; [USER], [NOM] and [NAME]
// the Windows user name; letter case does not matter.
#pragma once

// Returns the expansion of `templateText`, allocated from the process heap (the
// caller frees it there), converted to the OEM code page when `toOem` is set.
// Returns none for an absent or empty template, or when no memory can be had.
char *ExpandTemplate(const char *templateText, const char *documentName, bool toOem);
