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
known=" ADVAPI32.DLL GDI32.DLL KERNEL32.DLL MSVCRT.DLL OLE32.DLL SHELL32.DLL USER32.DLL "
passed=0 failed=0
for exe in "$@"; do
    dlls=$(i686-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print toupper($3)}')
    others=$(for d in $dlls; do [[ $known == *" $d "* ]] || echo -n "$d "; done)
    if [ -n "$dlls" ] && [ -z "$others" ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "check failed: $(basename "$exe") imports ${others:-nothing}"
    fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
