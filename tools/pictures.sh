#!/usr/bin/env bash
# Pictures of the program's message boxes, as users see them: each box is brought up by
# the real program in the situation that causes it, under Wine on a virtual X display
# (Xvfb) inside a Wine virtual desktop, which draws the caption bar.  One PNG per
# message goes to docs/pictures/ (msg-<id>-<name>.png).
#
# The box is held up by box-shot.exe (tools/pictures/box_shot.cpp, built by the win32
# preset), which starts the program, waits until its box is drawn, tells where it is
# through a file, and presses OK once told the picture is taken; every box's text is
# checked against the texts the tests expect.
# Runs in a Wine prefix of its own, build/win32/wineprefix-pictures, with the X11
# graphics driver (the tests' prefix keeps the null one, so a WINEPREFIX set by the
# caller is not used here).
#
#   tools/pictures.sh [ID...]       only these message ids (2 to 11); all by default
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash tools/bootstrap.sh
# Wine's own fonts: the dialog font and the symbols of the caption buttons.
if ! dpkg-query -W -f='${Status}' fonts-wine 2>/dev/null | grep -q "install ok installed"; then
    echo "pictures: installing fonts-wine"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends fonts-wine >/dev/null
fi

echo "building..."
log=$root/build/pictures-build.log
mkdir -p build
{ cmake --preset win32 &&
  cmake --build --preset win32 --target velmora-notes nnotes_standin notes-client box-shot &&
  cmake --preset host && cmake --build --preset host --target velmora-job; } >"$log" 2>&1 ||
    { cat "$log"; exit 1; }
bin=$root/build/win32/bin
velmora_job=$root/build/host/tools/velmora-job/velmora-job

export WINEPREFIX=$root/build/win32/wineprefix-pictures
. tools/wine-env.sh

work=$(mktemp -d)
xvfb_pid=""
cleanup() {
    wineserver -k 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# A display of our own: Xvfb picks a free number and writes it once it accepts clients.
Xvfb -displayfd 3 -screen 0 800x300x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "pictures: Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=:$(cat "$work/display")

ensure_wine_prefix
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f >/dev/null 2>&1
# This Wine does not look for its own fonts where fonts-wine puts them: the Windows
# font folder it does read gets the dialog font and the caption buttons' symbols.
cp -u /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf \
    /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"

# The sample installation of tools/demo.sh (tools/wine-env.sh).
base="$WINEPREFIX/drive_c/Velmora pictures"
win='C:\Velmora pictures'
signal="$WINEPREFIX/drive_c/pictures-signal"
install_sample "$bin" "$base" "$win"
mkdir -p "$signal"
cp "$bin/box-shot.exe" "$WINEPREFIX/drive_c/box-shot.exe"
job="$base/Temp/job 0001.tmp"
job_win="$win\\Temp\\job 0001.tmp"

export NNOTES_DIR="$win\\store"
export NOTES_CLIENT_LIFETIME_MS=300
unset NNOTES_FAIL NNOTES_LEAN NOTES_CLIENT_LOG NOTES_CLIENT_CHECK_GONE

# Each case starts from a good installation and a good job.
fresh_case() {
    unset NNOTES_FAIL
    rm -rf "$base/store"
    register_sample "$win"
    "$velmora_job" make "$job" --utf8 --send-to "achats@example.com" \
        --subject "Devis [DOC] préparé par [USER]" \
        --body $'Bonjour,\nveuillez trouver ci-joint le devis [DOC].\n\nCordialement,\n[Nom]' \
        --document "A12" --attach "$win\\Documents\\Devis A12.txt" \
        --extra "$win\\Documents\\Plan de pose.txt" >/dev/null
    program_tail=$job_win
}

# The bytes message `id` must show, Windows-1252, from the list the tests expect
# (tests/expected_texts.h: C literals with \xNN and \" escapes).
expected_text() {
    python3 - "$1" <<'EOF'
import re, sys
text = open("tests/expected_texts.h", encoding="latin-1").read()
entry = re.search(r'/\* %s \*/((\s*"([^"\\]|\\.)*")+)' % int(sys.argv[1]), text).group(1)
literal = "".join(re.findall(r'"((?:[^"\\]|\\.)*)"', entry))
unescaped = re.sub(r"\\x([0-9a-fA-F]{2})|\\(.)",
                   lambda m: chr(int(m.group(1), 16)) if m.group(1) else m.group(2), literal)
sys.stdout.buffer.write(unescaped.encode("latin-1"))
EOF
}

# shoot ID NAME [client command]: runs the program with the tail $program_tail in the
# virtual desktop and saves the picture of its first box as docs/pictures/msg-ID-NAME.png.
shoot() {
    local id=$1 name=$2 client=${3:-}
    local png=docs/pictures/msg-$id-$name.png
    rm -f "$signal"/*
    printf '"%s\\Velmora\\velmora-notes.exe" %s' "$win" "$program_tail" >"$signal/command.txt"
    local args=('C:\pictures-signal' 'C:\pictures-signal\command.txt')
    if [ -n "$client" ]; then
        printf '%s' "$client" >"$signal/client.txt"
        args+=('C:\pictures-signal\client.txt')
    fi
    wine explorer /desktop=velmora,800x300 'C:\box-shot.exe' "${args[@]}" >/dev/null 2>&1 &
    local helper=$!
    for _ in $(seq 1200); do
        [ -f "$signal/box.txt" ] && break
        kill -0 $helper 2>/dev/null || break
        sleep 0.05
    done
    if [ ! -f "$signal/box.txt" ]; then
        echo "msg-$id: no box:"; cat "$signal/log.txt" 2>/dev/null; return 1
    fi

    local left top right bottom ox oy
    read -r left top right bottom <"$signal/box.txt"
    # The desktop window's place on the X screen.
    read -r ox oy < <(xwininfo -root -tree | awk '/"velmora - Wine desktop"/ {
        split($NF, at, "+"); print at[2], at[3]; exit }')
    # The picture, once two in a row agree: the box as the X server shows it.
    local margin=12 previous="$work/previous.png" shot="$work/shot.png" stable=no
    local geometry=$((right - left + 2 * margin))x$((bottom - top + 2 * margin))+$((ox + left - margin))+$((oy + top - margin))
    for _ in $(seq 50); do
        import -window root -crop "$geometry" +repage "$shot"
        if [ -f "$previous" ] && cmp -s <(convert "$shot" rgb:-) <(convert "$previous" rgb:-); then
            stable=yes; break
        fi
        mv "$shot" "$previous"
        sleep 0.1
    done
    mkdir -p docs/pictures
    cp "$shot" "$png"
    : >"$signal/shot.txt"
    wait $helper || true
    if [ "$(cat "$signal/done.txt" 2>/dev/null)" != 0 ]; then
        echo "msg-$id: the run did not end well:"; cat "$signal/log.txt" 2>/dev/null; return 1
    fi

    sed -n 3p "$signal/box.txt" | tr -d '\n' >"$work/text"
    if ! cmp -s "$work/text" <(expected_text "$id"); then
        echo "msg-$id: the box says: $(iconv -f CP1252 -t UTF-8 <"$work/text")"
        echo "        expected:    $(expected_text "$id" | iconv -f CP1252 -t UTF-8)"
        return 1
    fi
    [ $stable = yes ] || echo "msg-$id: the picture was still changing, kept the last one"
    echo "$png: $(expected_text "$id" | iconv -f CP1252 -t UTF-8)"
}

wanted=" ${*:-2 3 4 5 6 7 8 9 10 11} "
run() {     # run ID: sets up the situation of message ID and shoots it
    case "$wanted" in *" $1 "*) ;; *) return 0 ;; esac
    fresh_case
    case $1 in
        2) shoot 02 notes-busy "\"$win\\Lotus Notes\\notes-client.exe\" --disabled-ms never" ;;
        3) NNOTES_FAIL=CreateNote shoot 03 create-memo ;;
        4) NNOTES_FAIL=CreateBodyBuffer shoot 04 create-body ;;
        5) NNOTES_FAIL=AddBodyToNote shoot 05 add-body ;;
        6) NNOTES_FAIL=AttachFile:1 shoot 06 attach ;;
        7) wine reg delete 'HKLM\SOFTWARE\Zabrel' /f >/dev/null
           shoot 07 not-installed ;;
        8) program_tail="$win\\Temp\\job 0002.tmp"
           shoot 08 open-job ;;
        9) head -c 1000 "$job" >"$base/Temp/job 0003.tmp"
           program_tail="$win\\Temp\\job 0003.tmp"
           shoot 09 read-job ;;
        10) NNOTES_FAIL=OpenDatabase shoot 10 database-not-found ;;
        11) NNOTES_FAIL=InitNotesRuntime shoot 11 notes-init ;;
    esac
}
status=0
for id in 2 3 4 5 6 7 8 9 10 11; do
    run $id || status=1
done
wine reg delete 'HKLM\SOFTWARE\Zabrel' /f >/dev/null 2>&1 || true
exit $status
