#!/usr/bin/env bash
# The demo: one job sent end to end under Wine.  A sample installation is laid out in
# the Wine prefix (the Notes client and library being our stand-ins), a job with an
# accented subject, placeholders, a main attachment and two extras is written with
# velmora-job, and velmora-notes.exe is run on it by the test driver, which answers
# any message box.  Then the memo as stored, the client's start line and the close
# variable are shown.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash tools/bootstrap.sh
echo "building..."
{ cmake --preset win32 && cmake --build --preset win32 &&
  cmake --preset host && cmake --build --preset host --target velmora-job; } >build-demo.log 2>&1 ||
    { cat build-demo.log; exit 1; }
rm -f build-demo.log
. tools/wine-env.sh
bin=$root/build/win32/bin

demo="$WINEPREFIX/drive_c/Velmora demo"
win='C:\Velmora demo'
install_sample "$bin" "$demo" "$win"     # tools/wine-env.sh
# The sample's settings key goes when the demo ends, however it ends: the suites' runner
# refuses a prefix that holds it.
trap "wine reg delete 'HKLM\\SOFTWARE\\Zabrel\\Velmora' /f >/dev/null 2>&1; wineserver -w" EXIT
mkdir -p "$demo/store"

job="$demo/Temp/job 0001.tmp"
"$root/build/host/tools/velmora-job/velmora-job" make "$job" --utf8 \
    --send-to "achats@example.com" \
    --subject "Devis [DOC] préparé par [USER]" \
    --body $'Bonjour,\nveuillez trouver ci-joint le devis [DOC] et ses annexes.\n\nCordialement,\n[Nom]' \
    --document "A12" \
    --attach "$win\\Documents\\Devis A12.txt" \
    --extra "$win\\Documents\\Plan de pose.txt" \
    --extra "$win\\Documents\\Conditions.txt"
echo "job written: $job"
"$root/build/host/tools/velmora-job/velmora-job" dump --utf8 "$job" | sed 's/^/    /'

export NNOTES_DIR="$win\\store"
export NOTES_CLIENT_LOG="$win\\store\\client.log"
export NOTES_CLIENT_LIFETIME_MS=300
echo
# The exact command line goes through a file: the shell and wine would re-quote it.
command="\"$win\\Velmora\\velmora-notes.exe\" $win\\Temp\\job 0001.tmp"
printf '%s' "$command" >"$WINEPREFIX/drive_c/velmora-demo-command.txt"
echo "running: $command"
wine "$bin/velmora-run.exe" --from-file 'C:\velmora-demo-command.txt' |
    iconv -f CP1252 -t UTF-8 | sed 's/^/    /'
wineserver -w

echo
if [ -e "$job" ]; then echo "the job file is still there (it should be gone)"; else echo "the job file is gone"; fi
echo
echo "the memo as stored ($demo/store/notes/note-1.txt; SendTo and Subject are in the OEM code page):"
while IFS= read -r line; do
    case "$line" in
        SendTo:* | Subject:*) printf '%s\n' "$line" | iconv -f CP850 -t UTF-8 ;;
        *) printf '%s\n' "$line" | iconv -f CP1252 -t UTF-8 ;;
    esac
done <"$demo/store/notes/note-1.txt" | sed 's/^/    /'
echo
echo "attachments as stored:"
ls -1 "$demo/store/notes/note-1.files" | sed 's/^/    /'
echo
echo "the Notes client was started as:"
grep -a 'start:' "$demo/store/client.log" | sed 's/^/    /'
echo "client variables ($demo/store/notes.ini):"
sed 's/^/    /' "$demo/store/notes.ini"
echo
echo "every call to the Notes library: $demo/store/calls.log"
