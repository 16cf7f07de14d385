// The Notes library's file read whole as an image, for the doctor's library checks: the
// ordinals the program imports, the image's bytes reached by file offset or by relative
// virtual address, each access checked against the file's size.  The library never
// runs for these checks; only --open (library_open.cpp) loads it.
#pragma once

#include "tools/velmora-doctor/doctor.h"

struct NotesImport {
    WORD ordinal;
    const char *name;
};

// The ordinals the program imports: the table its import library is made of, which the
// exe's shape check holds its imports to.
extern const NotesImport NotesImports[];
extern const int NotesImportCount;

// A file's bytes, read whole with ReadFile: a read error (a share gone away) is then an
// error to report, where a mapped view would raise an exception.
struct Image {
    BYTE *base;
    DWORD size;
    const IMAGE_NT_HEADERS32 *nt;   // none: no PE image
};

// False, with the error in *error, when the file cannot be read whole.
bool ReadImage(const char *path, Image *image, DWORD *error);
void FreeImage(Image *image);
bool Is32Bit(const Image *image);
// The file bytes of `length` bytes at a relative virtual address, or none.
const BYTE *AtRva(const Image *image, DWORD rva, DWORD length);

// The file version of a 32-bit image's version resource, "a.b.c.d"; false (version
// empty) when it has none.
bool ImageVersion(const Image *image, char version[VERSION_SIZE]);

// Reads the library found at library->path: reports its image and ordinals, and sets
// library->image and library->version.
void CheckLibraryImage(Library *library);
