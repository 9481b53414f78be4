# Shared by the window tool's test scripts (sourced, POSIX sh).
# A missing tool or an input that an earlier step did not make is reported as SKIPPED with the
# reason (exit 77, the tests' SKIP_RETURN_CODE); with CI=true it is a failure (exit 1), since CI
# installs every tool these tests need.

readonly SKIPPED=77

# skip_or_fail REASON: ends the test.
skip_or_fail() {
    if [ "${CI:-}" = true ]; then
        echo "FAILED (CI=true, so nothing may be skipped): $1" >&2
        exit 1
    fi
    echo "SKIPPED: $1"
    exit "$SKIPPED"
}

# need_tool PROGRAM PACKAGE: ends the test unless PROGRAM is on PATH.
need_tool() {
    command -v "$1" >/dev/null 2>&1 || skip_or_fail "$1 not found (Debian package: $2)"
}

# fail MESSAGE: ends the test with a failure.
fail() {
    echo "FAILED: $1" >&2
    exit 1
}
