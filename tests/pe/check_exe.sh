#!/usr/bin/env bash
# The shape of the built program: a GUI PE32 for i386 of 16 KiB at most, hardened
# (ASLR, NX, no SEH), with a PE timestamp of 0, importing only the system's DLLs and nNOTES.dll, the Notes library
# by ordinal alone, with the library's published ordinals, which are those of the
# import definition the build made (DEF, beside bin/ by default).  Prints "N passed, N failed".
# Usage: check_exe.sh [EXE [DEF]]
set -u
exe=${1:-build/win32/bin/velmora-notes.exe}
def=${2:-$(dirname "$exe")/../nnotes.def}
dump=$(i686-w64-mingw32-objdump -p "$exe")
. "$(dirname "$0")/../../tools/check-count.sh"
has() { grep -q -- "$1" <<<"$dump"; }

check "PE32" has "Magic.*010b.*(PE32)"
check "GUI subsystem" has "Subsystem.*00000002.*(Windows GUI)"
check "i386" bash -c "file '$exe' | grep -q 'PE32 executable (GUI) Intel 80386'"
for flag in DYNAMIC_BASE NX_COMPAT NO_SEH; do
    check "DllCharacteristics has $flag" grep -qx "[[:space:]]*$flag" <<<"$dump"
done
# No link time in the header, so two builds of one tree give the same bytes.
lfanew=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
stamp=$(od -An -tu4 -j$((lfanew + 8)) -N4 "$exe" | tr -d ' ')
check "PE timestamp 0 (got: $stamp)" test "$stamp" = 0
size=$(stat -c %s "$exe")
check "at most 16 KiB (got: $size bytes)" test "$size" -le 16384

dlls=$(grep "DLL Name:" <<<"$dump" | awk '{print toupper($3)}' | sort | tr '\n' ' ')
check "imports only KERNEL32 USER32 ADVAPI32 msvcrt nNOTES (got: $dlls)" \
    test "$dlls" = "ADVAPI32.DLL KERNEL32.DLL MSVCRT.DLL NNOTES.DLL USER32.DLL "

# The ordinals are held to the library's list as tests/pe/nnotes_contract.h writes it
# by hand, not to the program's table, so that a mistyped ordinal there fails here.
ordinals=$(awk '/DLL Name: nNOTES.dll/{on=1; next} on && /DLL Name:/{on=0} on && /^\t[0-9a-f]+\t/{print $2, $3}' <<<"$dump" | sort -n | tr '\n' ' ')
contract=$(sed -nE 's/^NOTES_CONTRACT\( *([0-9]+),.*/\1 <none>/p' "$(dirname "$0")/nnotes_contract.h" |
           sort -n | tr '\n' ' ')
check "nNOTES.dll by ordinal only, those of nnotes_contract.h: $contract(got: $ordinals)" \
    test -n "$contract" -a "$ordinals" = "$contract"

# The generated .def ("Name@size @N NONAME" for each entry of notes/nnotes_ordinals.h)
# is what the import library, the stand-in's exports and the doctor's table are made
# of: the exe imports exactly its ordinals, no entry of it left unused.
deflist=$(sed -nE 's/^[[:space:]]*[[:alnum:]_]+@[0-9]+[[:space:]]+@([0-9]+)[[:space:]]+NONAME/\1/p' "$def" |
          sort -n)
imported=$(tr ' ' '\n' <<<"$ordinals" | grep -E '^[0-9]+$' | sort -n)
only() { comm "$1" <(sort <<<"$2") <(sort <<<"$3") | tr '\n' ' '; }
check "the exe imports the ordinals of $def (.def only: $(only -23 "$deflist" "$imported"
    ); exe only: $(only -13 "$deflist" "$imported"))" test "$deflist" = "$imported"

echo "size: $size bytes"
finish
