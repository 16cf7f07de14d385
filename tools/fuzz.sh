#!/usr/bin/env bash
# Builds the fuzz targets (host preset) and runs each in turn, one at a time.
#
#   tools/fuzz.sh --short          about 75 s in all, for CI: fails if any target breaks
#   tools/fuzz.sh --long SECONDS   SECONDS per target
#   tools/fuzz.sh                  300 s per target
#   tools/fuzz.sh ... TARGET...    only the targets named (job_file template memo
#                                  command_tail install_settings)
#
# Every run prints its executions; an input that breaks a property is kept under
# build/host/fuzz-runs/TARGET/artifacts/ (copy it to fuzz/regressions/TARGET/ to make it
# a regression case).  The growing corpora stay in build/host/fuzz-runs/TARGET/corpus/;
# the checked-in seeds in fuzz/corpus/ and fuzz/regressions/ are only read.  Assumes tools/bootstrap.sh ran.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

seconds=300
targets=""
while [ $# -gt 0 ]; do
    case "$1" in
        --short) seconds=15 ;;
        --long)
            shift
            case "${1:-}" in
                '' | *[!0-9]*) echo "fuzz.sh: --long needs a number of seconds" >&2; exit 2 ;;
            esac
            seconds=$1 ;;
        -h | --help) sed -n '2,14p' "$0"; exit 0 ;;
        -*) echo "fuzz.sh: unknown option $1" >&2; exit 2 ;;
        *) targets="$targets $1" ;;
    esac
    shift
done
[ -n "$targets" ] || targets="job_file template memo command_tail install_settings"

echo "fuzz.sh: building"
cmake --preset host >/dev/null || exit 1
# shellcheck disable=SC2046,SC2086
cmake --build --preset host --target $(printf 'fuzz_%s ' $targets) || exit 1

runs=build/host/fuzz-runs
failed=""
summary=""
total=0
for t in $targets; do
    bin=build/host/fuzz/fuzz_$t
    if [ ! -x "$bin" ]; then
        echo "fuzz.sh: no target $t" >&2
        failed="$failed $t"
        continue
    fi
    # Longest input, and dictionary, for each target.
    case $t in
        job_file) options="-max_len=16384" ;;     # header and a few dozen list slots
        memo) options="-max_len=6000 -dict=fuzz/dict/template.dict" ;;    # the header, 8 slots
        template) options="-max_len=8192 -dict=fuzz/dict/template.dict" ;;
        command_tail) options="-max_len=2048 -dict=fuzz/dict/command_tail.dict" ;;
        *) options="-max_len=2048" ;;
    esac
    mkdir -p "$runs/$t/corpus" "$runs/$t/artifacts"
    log="$runs/$t/last.log"
    echo "=== $t: $seconds s"
    # The saved regressions are read with the seeds, so a rule they once broke fails here.
    regressions=""
    [ -d "fuzz/regressions/$t" ] && regressions="fuzz/regressions/$t"
    # shellcheck disable=SC2086
    "$bin" -max_total_time="$seconds" -print_final_stats=1 $options \
        -timeout=20 -rss_limit_mb=2048 -artifact_prefix="$runs/$t/artifacts/" \
        "$runs/$t/corpus" "fuzz/corpus/$t" $regressions >"$log" 2>&1
    status=$?
    executions=$(grep -a -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
    rate=$(grep -a -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
    executions=${executions:-0}
    total=$((total + executions))
    if [ $status -eq 0 ]; then
        result="ok"
    else
        result="FAILED (exit $status)"
        failed="$failed $t"
        tr '\r' '\n' <"$log" | grep -a -E -A12 'property broken|ERROR: (AddressSanitizer|libFuzzer|LeakSanitizer)|runtime error' | head -40
        grep -a -E 'Test unit written to|artifact' "$log" | tail -2
    fi
    echo "    $executions executions (${rate:-?}/s): $result"
    summary="$summary$(printf '%-18s %12s %8s/s  %s' "$t" "$executions" "${rate:-?}" "$result")"$'\n'
done

echo "=== executions per target"
printf '%s' "$summary"
printf '%-18s %12s\n' "total" "$total"
if [ -n "$failed" ]; then
    echo "fuzz.sh: FAILED:$failed (inputs under $runs/TARGET/artifacts/)"
    exit 1
fi
echo "fuzz.sh: no property broken"
