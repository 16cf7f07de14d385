#!/usr/bin/env bash
# Static analysis of the program's sources (app/, job/, window/, notes/) and of the
# tools that ship beside it (tools/velmora-doctor, tools/velmora-job, tools/common, the
# installer's DLL installer/setup-check, Windows only):
#  1. clang-tidy (.clang-tidy) as the host build compiles them, from the host build's
#     compile_commands.json, against the fake Win32 layer;
#  2. clang-tidy again for the real target, 32-bit Windows with the mingw-w64 headers,
#     which also covers app/startup.cpp and app/stack_guard.cpp (Windows build only)
#     and the doctor; velmora-job and tools/common, portable C++, are read in the host pass;
#  3. cppcheck with its Windows library, for the 32-bit ANSI platform, suppressions in
#     tools/cppcheck-suppressions.txt.
# On two cores: cppcheck runs as one process beside the clang-tidy passes (its
# unusedFunction check needs every file in one run, and is off with -j), and clang-tidy
# reads the files two at a time, each file's findings printed whole, in file order.
# Exits non-zero if any pass has a finding.  Assumes tools/bootstrap.sh ran.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

program_sources=$(printf "%s\n" app/*.cpp job/*.cpp window/*.cpp notes/*.cpp)
host_sources=$(grep -vx -e app/startup.cpp -e app/stack_guard.cpp <<<"$program_sources")
all_sources="$program_sources $(printf "%s\n" tools/velmora-doctor/*.cpp installer/setup-check/*.cpp)"

failed=""
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
cmake --preset host -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null || exit 1

# shellcheck disable=SC2086
cppcheck --enable=all --inconclusive --library=windows --platform=win32A --std=c++17 \
    --language=c++ -I . -I build/win32/generated --quiet --error-exitcode=1 \
    --suppressions-list=tools/cppcheck-suppressions.txt -i tools/velmora-job/velmora_job_test.cpp \
    --template='{file}:{line}: {severity} [{id}] {message}' \
    app job window notes tools/velmora-doctor tools/velmora-job tools/common installer/setup-check \
    >"$logs/cppcheck" 2>&1 &
cppcheck_pid=$!

# tidy PASS ARGS...: clang-tidy on each file named on stdin, two at a time, with ARGS
# around the file's name ({} stands for it); the findings in file order, without the
# count of warnings clang hid in system headers.  Fails if any file has a finding.
tidy() {
    local pass=$1; shift
    # shellcheck disable=SC2016
    nl -ba -w4 -nrz | xargs -P 2 -L 1 bash -c 'n=${*: -2:1} file=${*: -1}; set -- "${@:1:$#-2}"
        clang-tidy --quiet "${@//\{\}/$file}" >"$0/$n" 2>&1 || echo "$file" >>"$0/failed"' \
        "$logs/$pass" "$@"
    cat "$logs/$pass"/[0-9]* | grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$'
    test ! -e "$logs/$pass/failed"
}

echo "=== clang-tidy, host build"
mkdir -p "$logs/host" "$logs/win32"
# shellcheck disable=SC2086
printf '%s\n' $host_sources tools/velmora-job/cli.cpp tools/velmora-job/job_format.cpp \
    tools/velmora-job/text_codec.cpp tools/velmora-job/main.cpp tools/common/*.cpp |
    tidy host -p build/host {} || failed="$failed clang-tidy-host"

echo "=== clang-tidy, 32-bit Windows"
# The doctor holds its text in std::string: the C++ headers mingw-w64's compiler uses.
cxx_headers=$(i686-w64-mingw32-g++ -E -x c++ -v /dev/null 2>&1 | sed -n 's|^ \(/.*/c++.*\)|-isystem \1|p')
# Against the real headers WinMain is declared twice: by the platform and by
# app/winmain.h, which the host build needs (the fake windows.h has no WinMain), and
# the platform's declaration names the parameters its own way.
# shellcheck disable=SC2086
printf '%s\n' $all_sources | tidy win32 \
    --checks='-readability-redundant-declaration,-readability-inconsistent-declaration-parameter-name' \
    {} -- --target=i686-w64-mingw32 -std=c++17 -fno-exceptions -fno-rtti -I. \
    -Ibuild/win32/generated $cxx_headers || failed="$failed clang-tidy-win32"

echo "=== cppcheck"
wait "$cppcheck_pid" || failed="$failed cppcheck"
cat "$logs/cppcheck"

if [ -n "$failed" ]; then
    echo "analyse.sh: findings in:$failed"
    exit 1
fi
echo "analyse.sh: no findings"
