#!/usr/bin/env bash
# The program's benchmarks, each printed as ratios measured in this one run (the
# machines are shared and noisy: compare only figures of the same run):
#   1. send mode end to end under Wine against the floor (bench/floor.exe), alternating;
#   2. scaling of the memo's work, counted in instructions under callgrind in the host
#      build: extra attachments and body template length;
#   3. peak memory under Wine for a job of 10,000 extra attachments against the floor;
#   4. the program's size and imports.
# Runs from a fresh checkout: installs what is missing, builds what it needs, and uses
# a Wine prefix of its own (build/win32/wineprefix-bench, unless WINEPREFIX is set), so
# that the test suites running in the usual prefix and their Notes client windows do not
# meet the benchmark's.
#
#   bench/run.sh [--quick]      --quick: fewer pairs, for checking that it runs
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

send_pairs=12 memory_pairs=9
if [ "${1:-}" = "--quick" ]; then send_pairs=2 memory_pairs=1; fi

bash tools/bootstrap.sh
echo "building..."
log=$root/build/bench-build.log
mkdir -p build
{ cmake --preset win32 && cmake --build --preset win32 --target velmora-notes floor velmora-bench &&
  cmake --preset host && cmake --build --preset host --target scaling; } >"$log" 2>&1 ||
    { cat "$log"; exit 1; }

export WINEPREFIX=${WINEPREFIX:-$root/build/win32/wineprefix-bench}
. tools/wine-env.sh
ensure_wine_prefix
bin=$root/build/win32/bin
status=0

echo
echo "== 1. Send mode, end to end under Wine"
wine "$bin/velmora-bench.exe" send --pairs "$send_pairs" || status=1
wineserver -w

echo
echo "== 2. Scaling, instructions counted by callgrind in ComposeMemo (host build)"
scaling=$root/build/host/bench/scaling
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# count KIND N: instructions collected inside ComposeMemo; also writes
# $work/KIND-N.own, the part spent in the program's own source files.
count() {
    local out=$work/$1-$2
    valgrind --tool=callgrind --toggle-collect='ComposeMemo*' --callgrind-out-file="$out.cg" \
        "$scaling" "$1" "$2" 2>"$out.log" >/dev/null ||
        { echo "scaling $1 $2 failed:" >&2; cat "$out.log" >&2; return 1; }
    callgrind_annotate --inclusive=no --threshold=100 --auto=no "$out.cg" 2>/dev/null |
        awk -v src="$root/" '
            /^ *[0-9,]+ +\( *[0-9.]+%\) +[^ ]/ {
                path = $0; sub(/^ *[0-9,]+ +\( *[0-9.]+%\) +/, "", path)
                if (index(path, src) == 1) path = substr(path, length(src) + 1)
                if (path ~ /^(job|app|window)\//) { n = $1; gsub(",", "", n); own += n }
            }
            END { print own + 0 }' >"$out.own"
    sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$out.log"
}
# slope KIND BASE-N N1 N10 UNIT: per-unit cost above the baseline at N1 and at N10.
slope() {
    local kind=$1 b=$2 n1=$3 n10=$4 unit=$5
    local ib i1 i10 ob o1 o10
    ib=$(count "$kind" "$b") && i1=$(count "$kind" "$n1") && i10=$(count "$kind" "$n10") ||
        return 1
    ob=$(cat "$work/$kind-$b.own") o1=$(cat "$work/$kind-$n1.own") o10=$(cat "$work/$kind-$n10.own")
    awk -v kind="$kind" -v unit="$unit" -v b="$b" -v n1="$n1" -v n10="$n10" \
        -v ib="$ib" -v i1="$i1" -v i10="$i10" -v ob="$ob" -v o1="$o1" -v o10="$o10" 'BEGIN {
        s1 = (i1 - ib) / (n1 - b); s10 = (i10 - ib) / (n10 - b)
        p1 = (o1 - ob) / (n1 - b); p10 = (o10 - ob) / (n10 - b)
        printf "  baseline %s %d: %d instructions (subtracted from the others)\n", kind, b, ib
        printf "  %s %6d: %10d instructions, %8.1f per %s above the baseline\n", kind, n1, i1, s1, unit
        printf "  %s %6d: %10d instructions, %8.1f per %s above the baseline\n", kind, n10, i10, s10, unit
        printf "  10x/1x: growth %.3f (ideal 10), cost per %s %.3f (ideal 1; aim within 10%%)\n", \
            (i10 - ib) / (i1 - ib), unit, s10 / s1
        printf "  of which the program'\''s own files (job/, app/, window/): %.1f and %.1f per %s, 10x/1x %.3f\n", \
            p1, p10, unit, p10 / p1
    }'
}
echo "extra attachments (the job's list, paths such as C:\\Documents\\Annexes\\annexe-000001.pdf):"
slope attachments 0 1000 10000 attachment || status=1
echo "body template dense with placeholders and line ends (baseline: a 1-character template):"
slope template 1 200 2000 "template byte" || status=1
echo "  (the rest of each count is the fake Win32 and Notes layer the host build links)"

echo
echo "== 3. Peak memory under Wine, 10,000 extra attachments"
wine "$bin/velmora-bench.exe" memory --pairs "$memory_pairs" || status=1
wineserver -w

echo
echo "== 4. Size and imports of velmora-notes.exe"
exe=$bin/velmora-notes.exe
size=$(stat -c %s "$exe")
awk -v s="$size" 'BEGIN { printf "size: %d bytes = %.1f KiB, %.2f of the 24 KiB allowed (aim: 1 or less)\n",
    s, s / 1024, s / 24576 }'
# The list is checked by tests/pe/check_exe.sh; here it is shown.  objdump's own words,
# not those of the French locale tools/wine.env sets.
echo "imports: $(LC_ALL=C i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | paste -sd ' ')"

exit $status
