#!/usr/bin/env bash
# Tries a release's check zip as an administrator would run it, under Wine: unzipped
# into a fresh 32-bit prefix and run with `wine cmd /c check.cmd`, from the zip alone
# (no build tree).  It shows what only the zip's run shows, each suite's cases having
# run under ctest: the runner from the zip, the installer's suite (which needs the
# release's package), the machine's own code pages (C.UTF-8: ANSI 1252, OEM 437, as on
# US-English Windows, under which a case that needs French Windows's OEM 850 says it is
# skipped), a suite skipped whole, the closing line, what it leaves of the machine, the
# refusals, /cleanup, and two planted faults, each run as the one case that shows it.
#   release-check-windows.sh ZIP WORK
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
zip=$(realpath "$1") work=$(realpath -m "$2")
rm -rf "$work"
mkdir -p "$work"
. "$root/tools/check-count.sh"

# Two faults planted in a copy of the tree, each shown by one case: the program's
# launch line never quotes a path; a suite whose case lines say FAILED while every
# check passes and it exits 0 (the runner reads the case lines).
src=$work/planted-src
mkdir -p "$src"
(cd "$root" && git ls-files -z | tar --null -T - -cf -) | tar -xf - -C "$src"
sed -i 's/^\( *\)return true;/\1return false;/' "$src/window/launch_line.cpp"
sed -i 's/failedAfter > failedBefore ? "FAILED" : "ok"/"FAILED"/' "$src/tests/e2e/case_runner.cpp"
# Built while Wine makes the prefix and runs the zip.
(cd "$src" && cmake --preset win32 -B "$work/planted-build" >/dev/null &&
    cmake --build "$work/planted-build" -j2 --target velmora-notes velmora-e2e) >"$work/planted.log" 2>&1 &
planted_build=$!

export WINEPREFIX=$work/prefix
wine_locale=C.UTF-8
. "$root/tools/wine-env.sh"
ensure_wine_prefix >/dev/null || exit 1
# Given a lock (tools/test.sh's, held while its other Wine runs go on), the zip runs
# once it is free: one Wine run at a time.
if [ -n "${VELMORA_WINE_LOCK:-}" ]; then
    exec 8>"$VELMORA_WINE_LOCK"
    flock 8
fi
unzip -q "$zip" -d "$WINEPREFIX/drive_c/check"
name=$(basename "$zip" .zip)
folder=$WINEPREFIX/drive_c/check/$name

run_check() {   # run_check OUT [ARGS...]: check.cmd, its output in OUT, its exit code
    local out=$1; shift
    wine cmd /c "C:\\check\\$name\\check.cmd" "$@" 2>&1 | tr -d '\r' >"$out"
    local rc=${PIPESTATUS[0]}
    wineserver -w
    return $rc
}

# A parent of the settings key with a value of its own, which no run may remove.
wine reg add 'HKLM\SOFTWARE\Zabrel' /v Kept /d yes /f >/dev/null
temp=$(ls -d "$WINEPREFIX"/drive_c/users/*/Temp | grep -v /Public/ | head -n 1)
run_root="$temp/velmora check"

# The installer's suite whole; of the others, the cases that show what the machine's
# code pages and Wine make the runner skip, a suite skipped whole (it needs ANSI 1250 or
# 64-bit Windows), and the cases that need the stand-ins in the zip's subfolders.
start=$(date +%s)
run_check "$work/check.out" /installer installer e2e:stored_note e2e:no_short_names \
    e2e:doctor_library_lacks_ordinal e2e:doctor_library_in_current_folder e2e_wow64 e2e_ansi_1250
rc=$?
echo "  check.cmd from the zip, $(($(date +%s) - start)) s, exit $rc:"
sed 's/^/    /' "$work/check.out"
check "installer: passed, with cases skipped under Wine" grep -qE "^installer: passed \([0-9]+ cases run, [1-9][0-9]* skipped" "$work/check.out"
check "e2e: passed, the cases the machine can run" grep -qE "^e2e: passed \(2 cases run, 2 skipped" "$work/check.out"
check "e2e_wow64 and e2e_ansi_1250 skipped whole" bash -c \
    "grep -qE '^e2e_wow64: skipped \(every case: ' '$work/check.out' && grep -qE '^e2e_ansi_1250: skipped \(every case: ' '$work/check.out'"
check "the closing line counts the suites that passed, none failed (exit $rc)" \
    test "$(tail -n 1 "$work/check.out")|$rc" = "2 passed, 0 failed|0"
check "a case skipped with the machine's code pages: OEM 437, not French Windows's 850" \
    grep -qE "^skipped: e2e [a-z_]+ \(needs ANSI 1252 and OEM 850, the machine has ANSI 1252 and OEM 437\)$" "$work/check.out"
check "cases skipped because the machine is Wine" grep -qE "^skipped: (e2e|installer) [a-z0-9_]+ \(Wine\)$" "$work/check.out"
check "the report says what the machine is" \
    grep -q "^machine: Wine .*, 32-bit, ANSI code page 1252, OEM code page 437, 8.3 names on" "$folder/velmora-check-report.txt"
check "nothing left of the cases: no run folder, no key under HKLM\\SOFTWARE\\Zabrel, no product" bash -c \
    "test ! -e '$run_root' && ! wine reg query 'HKLM\\SOFTWARE\\Zabrel\\Velmora' >/dev/null 2>&1 &&
     ! wine uninstaller --list 2>/dev/null | grep -q Velmora"
check "the settings key's parent with a value of its own kept" \
    bash -c "wine reg query 'HKLM\\SOFTWARE\\Zabrel' /v Kept 2>/dev/null | grep -q yes"
check "the check's folder, which users can write under Wine, said to be so" \
    grep -q "^attention: C:\\\\check\\\\$name can be written by S-1-5-21-" "$work/check.out"

# Refusals: the settings key of an installation, then a running Notes client.
refused() {   # refused WHILE LINE ARGS...: check.cmd ARGS refuses, exit 2, with "refused: LINE"
    local state=$1 line=$2; shift 2
    run_check "$work/refused.out" "$@"
    local rc=$?
    check "refused while $state (exit $rc): $(grep refused "$work/refused.out")" \
        bash -c "test $rc = 2 && grep -q '^refused: $line' '$work/refused.out'"
}
run_check "$work/usage.out" standins /bogus
rc=$?
check "an argument naming nothing refused before any suite runs (exit $rc)" bash -c \
    "test $rc = 2 && grep -qx 'velmora-check: no option or suite is named /bogus' '$work/usage.out' &&
     ! grep -q '^standins:' '$work/usage.out'"
wine reg add 'HKLM\SOFTWARE\Zabrel\Velmora\Stellwick' /v LN_Appli /d 'C:\x.exe' /f >/dev/null
refused "the settings key exists" 'HKLM.*Stellwick exists in the 32-bit registry view' standins
wine reg delete 'HKLM\SOFTWARE\Zabrel\Velmora' /f >/dev/null 2>&1
NOTES_CLIENT_LOG='C:\client.log' NOTES_CLIENT_LIFETIME_MS=60000 wine "C:\\check\\$name\\notes-client.exe" >/dev/null 2>&1 &
client=$!
for _ in $(seq 50); do grep -q ready "$WINEPREFIX/drive_c/client.log" 2>/dev/null && break; sleep 0.2; done
refused "a Notes client runs" 'a Notes client is running' standins
kill "$client" 2>/dev/null; wineserver -k; wait "$client" 2>/dev/null

# A run's folder left by someone else: links inside it (Unix symbolic links, which Wine
# shows as directories with FILE_ATTRIBUTE_REPARSE_POINT and cannot remove) to a folder
# of files; then the run's folder itself such a link.  The check refuses and names
# /cleanup; /cleanup never follows a link.
mkdir -p "$work/owned/inner" "$run_root"
echo kept >"$work/owned/document.txt"; echo kept >"$work/owned/inner/document.txt"
ln -s "$work/owned" "$run_root/e2e"; ln -s "$work/owned" "$run_root/standins owned"
refused "its run folder exists" '.*velmora check exists: a run was interrupted.*check.cmd /cleanup' standins
owned_intact() { test "$(cat "$work/owned/document.txt" "$work/owned/inner/document.txt")" = "kept
kept"; }
run_check "$work/cleanup.out" /cleanup
check "/cleanup keeps what the links in the run folder point at: $(tr '\n' ' ' <"$work/cleanup.out")" owned_intact
rm -rf "$run_root"
ln -s "$work/owned" "$run_root"
run_check "$work/cleanup.out" /cleanup
check "/cleanup keeps what the run folder, a link, points at: $(tr '\n' ' ' <"$work/cleanup.out")" owned_intact
rm -f "$run_root"

# A run ended half-way (wineserver -k while a case's client runs): /cleanup puts the
# machine back.
wine cmd /c "C:\\check\\$name\\check.cmd" e2e:client_busy_then_free >/dev/null 2>&1 &
run=$!
for _ in $(seq 100); do [ -e "$run_root/client_busy_then_free/running client.log" ] && break; sleep 0.2; done
wineserver -k; wait "$run" 2>/dev/null
left="$(test -e "$run_root" && echo folder) $(wine reg query 'HKLM\SOFTWARE\Zabrel\Velmora\Stellwick' >/dev/null 2>&1 && echo key)"
run_check "$work/cleanup.out" /cleanup
rc=$?
check "/cleanup after an interrupted run (left: $left; exit $rc): $(tr '\n' ' ' <"$work/cleanup.out")" bash -c \
    "test '$left|$rc' = 'folder key|0' && test ! -e '$run_root' &&
     ! wine reg query 'HKLM\\SOFTWARE\\Zabrel\\Velmora' >/dev/null 2>&1 &&
     wine reg query 'HKLM\\SOFTWARE\\Zabrel' /v Kept 2>/dev/null | grep -q yes"
msi=$(cd "$folder" && ls velmora-notes-*.msi)
wine msiexec /i "C:\\check\\$name\\$msi" /qn >/dev/null 2>&1
wineserver -w
refused "the product is installed (/installer)" '/installer: the product is installed' /installer installer
wine msiexec /x "C:\\check\\$name\\$msi" /qn >/dev/null 2>&1
wineserver -w

one_case() {   # one_case OUT SUITE CASE VERDICT: the run of SUITE:CASE, exit 1, its line and only that case
    local out=$1 suite=$2 case=$3 verdict=$4
    run_check "$out" "$suite:$case"
    local rc=$?
    echo "  planted, $suite:$case: $(grep -E "^$suite: |passed, " "$out" | tr '\n' ' ')"
    check "the planted fault turns $suite:$case red, that case alone run and named (exit $rc)" bash -c \
        "test $rc = 1 && grep -qE '^$suite: FAILED \($verdict, in $case; log: ' '$out' &&
         test \"\$(grep -E '^[a-z0-9_]+: (ok|FAILED|skipped) \(' '$folder/velmora-check-logs/$suite.log' | cut -d: -f1)\" = '$case' &&
         test \"\$(tail -n 1 '$out')\" = '0 passed, 1 failed'"
}
if wait "$planted_build"; then
    cp "$folder/velmora-notes.exe" "$work/velmora-notes.exe"
    cp "$work/planted-build/bin/velmora-notes.exe" "$folder/velmora-notes.exe"
    one_case "$work/planted.out" e2e launch_line_quoted 'exit code 1, [1-9][0-9]* checks failed'
    cp "$work/velmora-notes.exe" "$folder/velmora-notes.exe"
    cp "$work/planted-build/bin/velmora-e2e.exe" "$folder/velmora-e2e.exe"
    one_case "$work/planted-lines.out" e2e command_tails 'exit code 0, 0 checks failed'
else
    cat "$work/planted.log"
    check "the planted programs build" false
fi
finish
