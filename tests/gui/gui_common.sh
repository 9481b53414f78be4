# Shared by the test scripts of the window tool and of the release packages (sourced, POSIX sh).
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

# The Wine loader and server (Debian package wine64), in wine and wineserver, and Wine's quiet
# settings: only the diagnostic that says the display is missing is kept.
find_wine() {
    wine=${WINE:-/usr/lib/wine/wine64}
    [ -x "$wine" ] || wine=$(command -v wine64 || true)
    [ -n "$wine" ] && [ -x "$wine" ] || skip_or_fail "the Wine loader /usr/lib/wine/wine64 not found (Debian package: wine64)"
    wineserver=$(dirname "$wine")/wineserver
    [ -x "$wineserver" ] || wineserver=$(command -v wineserver || true)
    [ -n "$wineserver" ] || skip_or_fail "wineserver not found (Debian package: wine64)"
    export WINEDEBUG=-all,err+winediag WINEDLLOVERRIDES="mscoree,mshtml="
}

# start_wine_session PREFIX FOLDER: runs Wine in the prefix that the test gui.wine_prefix made,
# under a virtual X server on a free display, with one idle Wine program for the whole session:
# a program started a few seconds after the previous one of the prefix ended would otherwise
# wait about 10 s for its window. FOLDER keeps the session's files. Tests that share the prefix
# run one at a time (RESOURCE_LOCK wine_display), since they share its window list. The caller's
# EXIT trap calls stop_wine_session.
start_wine_session() {
    need_tool Xvfb xvfb
    export WINEPREFIX=$1
    sessionFolder=$2
    [ -f "$WINEPREFIX/system.reg" ] || skip_or_fail "no Wine prefix in $WINEPREFIX: the test gui.wine_prefix did not run"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$sessionFolder/display" >"$sessionFolder/xvfb.log" 2>&1 &
    xvfbPid=$!
    for _ in $(seq 100); do
        [ -s "$sessionFolder/display" ] && break
        sleep 0.1
    done
    [ -s "$sessionFolder/display" ] || fail "Xvfb did not start"
    DISPLAY=:$(cat "$sessionFolder/display")
    export DISPLAY
    mkfifo "$sessionFolder/idle"
    "$wine" cmd /c pause <"$sessionFolder/idle" >"$sessionFolder/idle.log" 2>&1 &
    exec 9>"$sessionFolder/idle"
}

# Ends every Wine program of the session and the X server; never fails, as it runs in EXIT traps.
stop_wine_session() {
    exec 9>&-
    "$wineserver" -k 2>/dev/null || true
    "$wineserver" -w 2>/dev/null || true
    if [ -n "${xvfbPid:-}" ]; then
        kill "$xvfbPid" 2>/dev/null || true
    fi
    xvfbPid=
}

# The Wine form of a Linux path: drive Z: is the root folder.
wine_path() {
    echo "Z:$1" | tr / '\\'
}
