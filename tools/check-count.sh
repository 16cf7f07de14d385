# Sourced by the release checks and the checks of built files (tests/pe/*.sh):
# `check DESCRIPTION COMMAND...` runs COMMAND, counts it passed or failed and names it
# when it fails; `finish` prints "N passed, N failed" and exits non-zero on any failure.
passed=0 failed=0
check() {
    local what=$1; shift
    if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "check failed: $what"; fi
}
finish() { echo "$passed passed, $failed failed"; [ "$failed" -eq 0 ]; exit $?; }
