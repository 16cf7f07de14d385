#!/usr/bin/env bash
# The check zip's programs run elevated from the folder they were unzipped into, and
# the loader resolves a static import from the exe's own folder before the system's:
# each may import only Known DLLs, which Windows always takes from the system folder.
# msi.dll and version.dll are loaded at run time by their path
# (testkit/wine/system_libraries.cpp).  Prints "N passed, N failed".
# https://learn.microsoft.com/en-us/windows/win32/dlls/dynamic-link-library-search-order
# (Factors that affect searching: the known DLLs)
# Usage: check_imports.sh EXE...
set -u
. "$(dirname "$0")/../../tools/check-count.sh"
known=" ADVAPI32.DLL GDI32.DLL KERNEL32.DLL MSVCRT.DLL OLE32.DLL SHELL32.DLL USER32.DLL "
for exe in "$@"; do
    dlls=$(i686-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print toupper($3)}')
    others=$(for d in $dlls; do [[ $known == *" $d "* ]] || echo -n "$d "; done)
    check "$(basename "$exe") imports only Known DLLs (others: ${others:-none})" \
        test -n "$dlls" -a -z "$others"
done
finish
