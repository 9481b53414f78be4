#!/bin/bash
# The window tool end to end, under Wine in a virtual X server:
#   run_e2e.sh APP_EXE DRIVER_EXE MAKE_MODEL CLI ARTEFACTS_DIR
# APP_EXE is the x86_64 build of the program, DRIVER_EXE the Win32 driver (gui_driver.cpp),
# MAKE_MODEL the model maker (duridodi-make-model) and CLI the command-line tool, whose output
# is the reference for the window tool's. One launch of the program runs the whole scenario;
# the driver's transcript must equal the expected one line for line, then the files are checked.
# ARTEFACTS_DIR receives window.png (the window as first shown) and, on failure, the logs.
# E2E_RUNS=N repeats the scenario N times in the same Wine prefix (for reliability figures).
set -euo pipefail
. "$(dirname "$0")/gui_common.sh"

app=$1
driver=$2
makeModel=$3
cli=$4
artefacts=$5
runs=${E2E_RUNS:-1}

# Tools, and the programs that earlier steps make.
wine=${WINE:-/usr/lib/wine/wine64}
[ -x "$wine" ] || wine=$(command -v wine64 || true)
[ -n "$wine" ] && [ -x "$wine" ] || skip_or_fail "the Wine loader /usr/lib/wine/wine64 not found (Debian package: wine64)"
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || true)
[ -n "$wineserver" ] || skip_or_fail "wineserver not found (Debian package: wine64)"
need_tool Xvfb xvfb
need_tool import imagemagick
imConvert=$(command -v convert-im6.q16 || command -v convert-im6 || command -v convert || true)
[ -n "$imConvert" ] || skip_or_fail "ImageMagick's convert not found (Debian package: imagemagick)"
[ -f "$app" ] || skip_or_fail "$app missing: the win64 cross build did not run"
[ -f "$driver" ] || skip_or_fail "$driver missing: x86_64-w64-mingw32-g++ was not found when the tests were configured (Debian package: g++-mingw-w64-x86-64-win32)"
[ -x "$makeModel" ] || fail "$makeModel missing"
[ -x "$cli" ] || fail "$cli missing"

# Everything of one test run lives in one temporary folder: short paths, no clashes.
top=$(mktemp -d /tmp/duridodi-gui.XXXXXX)
mkdir -p "$artefacts"
rm -f "$artefacts"/*.log "$artefacts"/failure.png
xvfbPid=
appPid=
export WINEPREFIX=$top/prefix WINEDEBUG=-all,err+winediag WINEDLLOVERRIDES="mscoree,mshtml="
cleanUp() {
    [ -n "$appPid" ] && kill "$appPid" 2>/dev/null
    "$wineserver" -k 2>/dev/null || true
    [ -n "$xvfbPid" ] && kill "$xvfbPid" 2>/dev/null
    rm -rf "$top"
}
trap cleanUp EXIT
trap 'exit 1' INT TERM HUP

now() { date +%s.%N; }
since() { echo "$(now) $1" | awk '{ printf "%.1f", $1 - $2 }'; }

# Saves what explains a failure, then fails.
failRun() {
    cp "$top"/*.log "$artefacts"/ 2>/dev/null || true
    import -window root "$artefacts/failure.png" 2>/dev/null || true
    ps -ef >"$artefacts/ps.log" 2>&1 || true
    (cd "$top" && find models -printf '%s %p\n' >"$artefacts/files.log") 2>/dev/null || true
    fail "$1 (logs in $artefacts)"
}

# The Wine form of a Linux path: drive Z: is the root folder.
winePath() { echo "Z:$1" | tr / '\\'; }

# Runs the driver with the given steps; its transcript (CR stripped) goes to stdout.
drive() {
    timeout 120 "$wine" "$driver" "$@" </dev/null 2>>"$top/driver-stderr.log" | tr -d '\r'
}

setupStart=$(now)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$top/display" >"$top/xvfb.log" 2>&1 &
xvfbPid=$!
for _ in $(seq 100); do
    [ -s "$top/display" ] && break
    sleep 0.1
done
[ -s "$top/display" ] || failRun "Xvfb did not start"
export DISPLAY=:$(cat "$top/display")
timeout 120 "$wine" wineboot -i >"$top/wineboot.log" 2>&1 || failRun "wineboot failed"
# No window manager runs: Wine draws the frames itself, and dialogs close without waiting for one.
timeout 60 "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$top/wineboot.log" 2>&1 ||
    failRun "reg add failed"
# The caption buttons need Marlett (package fonts-wine; without it they read "0 1 r").
if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
fi
echo "setup: Xvfb on $DISPLAY, Wine prefix in $(since "$setupStart") s"

# The models of one run, in $top/models: a generated sample and its reference conversion by the
# command-line tool, a file that is not a model, the sample cut short, a name that is not .mdx,
# and the sample at input paths of 250 and 251 characters (in the Wine form of the path).
makeModels() {
    local models=$top/models
    rm -rf "$models"
    mkdir -p "$models"
    "$makeModel" sample "$models/model.mdx" || failRun "duridodi-make-model sample failed"
    "$cli" -q -o "$top/expected.mdx" "$models/model.mdx" || failRun "the command-line tool failed on the sample"
    [ "$(stat -c %s "$top/expected.mdx")" = "$(stat -c %s "$models/model.mdx")" ] ||
        failRun "the reference output differs in length from the sample"
    ! cmp -s "$top/expected.mdx" "$models/model.mdx" || failRun "the sample has no value to reduce"
    printf 'an earlier output, to be replaced' >"$models/model_dezavivi.mdx"
    printf 'this is not a model\n' >"$models/bad.MDX"
    head -c "$(($(stat -c %s "$models/model.mdx") / 2))" "$models/model.mdx" >"$models/truncated.mdx"
    cp "$models/model.mdx" "$models/model.mdx.bak"

    local base
    base=$(winePath "$models/")
    local name='\m.mdx'
    local padding=$((250 - ${#base} - ${#name}))
    [ "$padding" -ge 1 ] && [ "$padding" -le 250 ] || failRun "the temporary folder's path is too long: $base"
    longFolder250=$models/$(head -c "$padding" /dev/zero | tr '\0' p)
    longFolder251=${longFolder250}q
    mkdir "$longFolder250" "$longFolder251"
    cp "$models/model.mdx" "$longFolder250/m.mdx"
    cp "$models/model.mdx" "$longFolder251/m.mdx"
    long250=$(winePath "$longFolder250/m.mdx")
    long251=$(winePath "$longFolder251/m.mdx")
    [ ${#long250} -eq 250 ] && [ ${#long251} -eq 251 ] || failRun "long paths of ${#long250} and ${#long251} characters"
}

# What the driver must print for the scenario below.
expectedTranscript() {
    local m
    m=$(winePath "$top/models")
    cat <<EOF
main: class mdxDuridodi title 'MDX Duridodi 1.00' size 200x100
main: overlapped window yes, client edge yes
button: class Button text 'Dezaro MDX' style 0x50000000 exstyle 0x200 font DEFAULT_GUI_FONT
click
open: filters 'MDX files (*.mdx)'
open: $m\\model.mdx
msgbox: Success|Dezavivi to $m\\model_dezavivi.mdx|icon no
click
open: filters 'MDX files (*.mdx)'
open: $m\\model_dezavivi.mdx
msgbox: Success|Dezavivi to $m\\model_dezavivi_dezavivi.mdx|icon no
click
open: filters 'MDX files (*.mdx)'
open: $m\\bad.MDX
msgbox: Error|Error dezaroing $m\\bad.MDX|icon yes
click
open: filters 'MDX files (*.mdx)'
open: $m\\truncated.mdx
msgbox: Error|Error dezaroing $m\\truncated.mdx|icon yes
click
cancel
nobox
click
open: filters 'MDX files (*.mdx)'
open: $m\\model.mdx.bak
nobox
command: id 102 code 5
nobox
command: id 103 code 0
nobox
click
open: filters 'MDX files (*.mdx)'
open: $long250
msgbox: Success|Dezavivi to ${long250%.mdx}_dezavivi.mdx|icon no
click
open: filters 'MDX files (*.mdx)'
open: $long251
msgbox: Error|Error dezaroing $long251|icon yes
resize 320x240: the button covers the client area
resize 160x90: the button covers the client area
maximize: the button covers the client area
restore: the button covers the client area
close
EOF
}

# The files after the scenario: each output equals the reference conversion, converting an
# output again changes nothing, and the failures, the cancel and the .bak left nothing behind.
checkFiles() {
    local models=$top/models
    cmp "$top/expected.mdx" "$models/model_dezavivi.mdx" || failRun "model_dezavivi.mdx differs from the command-line tool's output"
    cmp "$top/expected.mdx" "$models/model_dezavivi_dezavivi.mdx" || failRun "converting an output again changed it"
    cmp "$top/expected.mdx" "$longFolder250/m_dezavivi.mdx" || failRun "the 250-character input's output differs"
    local listing
    listing=$(cd "$models" && find . -type f | sed 's|^\./||; s|^p*q/|LONG251/|; s|^p*/|LONG250/|' | sort | tr '\n' ' ')
    local wanted="LONG250/m.mdx LONG250/m_dezavivi.mdx LONG251/m.mdx bad.MDX model.mdx model.mdx.bak model_dezavivi.mdx model_dezavivi_dezavivi.mdx truncated.mdx "
    [ "$listing" = "$wanted" ] || failRun "files after the run: $listing; expected: $wanted"
}

# The window as first shown, and the program's icon in its title bar: the 16 x 16 caption icon
# keeps pixels of the arrow's red (220, 0, 0), a colour nothing else in the window has.
takeScreenshot() {
    local rect
    rect=$(drive wait-main rect | sed -n 's/^rect: //p') || true
    [ -n "$rect" ] || failRun "the main window did not appear"
    import -window root -crop "$rect" +repage "$artefacts/window.png" || failRun "import failed"
    local red
    red=$("$imConvert" "$artefacts/window.png" -crop 24x24+0+0 txt:- | grep -ci '#DC0000' || true)
    [ "$red" -ge 8 ] || failRun "no icon in the title bar ($red red pixels in its corner)"
    echo "screenshot: $artefacts/window.png ($rect), icon in the title bar"
}

# Starts the program and waits for its main window. A start that never shows the window (seen
# very rarely, only as the first start in a fresh prefix) is tried once more; the logs of such a
# start are kept with the artefacts.
launchApp() {
    local attempt
    for attempt in 1 2; do
        timeout 120 "$wine" "$app" </dev/null >"$top/app.log" 2>&1 &
        appPid=$!
        if drive wait-main >"$top/launch.log"; then
            return 0
        fi
        kill "$appPid" 2>/dev/null || true
        wait "$appPid" 2>/dev/null || true
        appPid=
        cp "$top/app.log" "$artefacts/app-start-$attempt.log" 2>/dev/null || true
        echo "start $attempt: the main window did not appear"
    done
    failRun "the main window did not appear in two starts"
}

runScenario() {
    local run=$1
    local start
    start=$(now)
    makeModels
    launchApp
    if [ "$run" -eq 1 ]; then
        takeScreenshot
    fi
    local m
    m=$(winePath "$top/models")
    drive wait-main \
        click open "$m\\model.mdx" msgbox \
        click open "$m\\model_dezavivi.mdx" msgbox \
        click open "$m\\bad.MDX" msgbox \
        click open "$m\\truncated.mdx" msgbox \
        click cancel nobox \
        click open "$m\\model.mdx.bak" nobox \
        command 102 5 nobox \
        command 103 0 nobox \
        click open "$long250" msgbox \
        click open "$long251" msgbox \
        resize 320 240 resize 160 90 maximize restore \
        close >"$top/transcript.log" || true
    # After a normal close the program is gone at once; after a failed step it may sit in a modal
    # box, so it gets a few seconds and is then stopped.
    for _ in $(seq 50); do
        kill -0 "$appPid" 2>/dev/null || break
        sleep 0.1
    done
    kill "$appPid" 2>/dev/null || true
    local exitCode=0
    wait "$appPid" || exitCode=$?
    appPid=
    expectedTranscript >"$top/expected-transcript.log"
    diff -u "$top/expected-transcript.log" "$top/transcript.log" >"$top/transcript-diff.log" ||
        failRun "run $run: the transcript differs from the expected one:
$(cat "$top/transcript-diff.log")"
    [ "$exitCode" -eq 0 ] || failRun "run $run: the program exited with code $exitCode"
    checkFiles
    echo "run $run: scenario passed in $(since "$start") s (exit code 0, outputs equal the command-line tool's)"
}

for run in $(seq "$runs"); do
    runScenario "$run"
done
