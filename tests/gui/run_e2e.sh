#!/bin/bash
# The window tool end to end, under Wine in a virtual X server:
#   run_e2e.sh SCENARIO APP_EXE DRIVER_EXE MAKE_MODEL CLI PREFIX ARTEFACTS_DIR
# SCENARIO is "dialog" (one launch: the button, the file dialog, the boxes, the sizes) or "batch"
# (launches with paths as arguments, real drops of models, of a map and of a folder with a map, a
# close during a batch). APP_EXE is the x86_64 build of the program, DRIVER_EXE the Win32 driver
# (gui_driver.cpp), MAKE_MODEL the model maker (duridodi-make-model) and CLI the command-line tool,
# whose output is the reference for the window tool's. PREFIX is the Wine prefix that
# wine_prefix.sh made. The driver's transcript must equal the expected one line for line, then the
# files are checked. ARTEFACTS_DIR receives window.png (the window as first shown) and, on
# failure, the logs.
# E2E_RUNS=N repeats the scenario N times in the same Wine prefix (for reliability figures).
set -euo pipefail
. "$(dirname "$0")/gui_common.sh"

scenario=$1
app=$2
driver=$3
makeModel=$4
cli=$5
prefix=$6
artefacts=$7
runs=${E2E_RUNS:-1}

# Tools, and the programs that earlier steps make.
find_wine
need_tool import imagemagick
imConvert=$(command -v convert-im6.q16 || command -v convert-im6 || command -v convert || true)
[ -n "$imConvert" ] || skip_or_fail "ImageMagick's convert not found (Debian package: imagemagick)"
[ -f "$app" ] || skip_or_fail "$app missing: the win64 cross build did not run"
[ -f "$driver" ] || skip_or_fail "$driver missing: x86_64-w64-mingw32-g++ was not found when the tests were configured (Debian package: g++-mingw-w64-x86-64-win32)"
[ -x "$makeModel" ] || fail "$makeModel missing"
[ -x "$cli" ] || fail "$cli missing"
if [ "$scenario" = batch ]; then
    # The Debian python3 first: python3-xlib is installed for it.
    python=$(command -v /usr/bin/python3 || command -v python3 || true)
    [ -n "$python" ] || skip_or_fail "python3 not found (Debian package: python3)"
    "$python" -c 'import Xlib' 2>/dev/null || skip_or_fail "$python has no Xlib (Debian package: python3-xlib)"
    need_tool smpq smpq
fi

# Everything of one test run lives in one temporary folder: short paths, no clashes.
top=$(mktemp -d /tmp/duridodi-gui.XXXXXX)
mkdir -p "$artefacts"
rm -f "$artefacts"/*.log "$artefacts"/failure.png
appPid=
cleanUp() {
    set +e
    [ -n "$appPid" ] && kill "$appPid" 2>/dev/null
    stop_wine_session
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

winePath() { wine_path "$1"; }

# Runs the driver with the given steps; its transcript (CR stripped) goes to stdout.
drive() {
    timeout 120 "$wine" "$driver" "$@" </dev/null 2>>"$top/driver-stderr.log" | tr -d '\r'
}

setupStart=$(now)
start_wine_session "$prefix" "$top"
echo "setup: Xvfb on $DISPLAY, Wine session in $(since "$setupStart") s"

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
    # A model whose output name is taken by a folder: the folder must stay as it is.
    cp "$models/model.mdx" "$models/held.mdx"
    mkdir "$models/held_dezavivi.mdx"
    printf 'kept' >"$models/held_dezavivi.mdx/kept.txt"

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
open: filters 'MDX files (*.mdx)'
open: $m\\held.mdx
msgbox: Error|Error dezaroing $m\\held.mdx|icon yes
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
    [ "$(cat "$models/held_dezavivi.mdx/kept.txt")" = kept ] || failRun "the folder in the output's place was changed"
    listing=$(cd "$models" && find . -type f ! -path ./held_dezavivi.mdx/kept.txt | sed 's|^\./||; s|^p*q/|LONG251/|; s|^p*/|LONG250/|' | sort | tr '\n' ' ')
    local wanted="LONG250/m.mdx LONG250/m_dezavivi.mdx LONG251/m.mdx bad.MDX held.mdx model.mdx model.mdx.bak model_dezavivi.mdx model_dezavivi_dezavivi.mdx truncated.mdx "
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
        timeout 120 "$wine" "$app" "$@" </dev/null >"$top/app.log" 2>&1 &
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

# Waits for the program to end (after a failed step it may sit in a modal box, so it gets a few
# seconds and is then stopped), compares the driver's transcript with the expected one in
# expected-transcript.log, and requires exit code 0.
checkLaunch() {
    local what=$1
    for _ in $(seq 50); do
        kill -0 "$appPid" 2>/dev/null || break
        sleep 0.1
    done
    kill "$appPid" 2>/dev/null || true
    local exitCode=0
    wait "$appPid" || exitCode=$?
    appPid=
    diff -u "$top/expected-transcript.log" "$top/transcript.log" >"$top/transcript-diff.log" ||
        failRun "$what: the transcript differs from the expected one:
$(cat "$top/transcript-diff.log")"
    [ "$exitCode" -eq 0 ] || failRun "$what: the program exited with code $exitCode"
}

runDialogScenario() {
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
    drive wait-main button \
        click open "$m\\model.mdx" msgbox \
        click open "$m\\model_dezavivi.mdx" msgbox \
        click open "$m\\bad.MDX" msgbox \
        click open "$m\\truncated.mdx" msgbox \
        click open "$m\\held.mdx" msgbox \
        click cancel nobox \
        click open "$m\\model.mdx.bak" nobox \
        command 102 5 nobox \
        command 103 0 nobox \
        click open "$long250" msgbox \
        click open "$long251" msgbox \
        resize 320 240 resize 160 90 maximize restore \
        close >"$top/transcript.log" || true
    expectedTranscript >"$top/expected-transcript.log"
    checkLaunch "run $run"
    checkFiles
    echo "run $run: scenario passed in $(since "$start") s (exit code 0, outputs equal the command-line tool's)"
}

# The lines wait-main prints for the window as it opens.
mainWindowLines() {
    cat <<EOF
main: class mdxDuridodi title 'MDX Duridodi 1.00' size 200x100
main: overlapped window yes, client edge yes
EOF
}

# The button when no batch runs. A launch with paths, or a drop, starts a batch at once, so its
# button is read only once the batch's box has come.
idleButton="button: class Button text 'Dezaro MDX' style 0x50000000 exstyle 0x200 font DEFAULT_GUI_FONT"

# expect LINE...: the transcript of a launch is the window as it opens, then LINE...
expect() {
    { mainWindowLines; printf '%s\n' "$@"; } >"$top/expected-transcript.log"
}

# makeBatchModel KIND PATH [ARGS]: a model from the model writer, and its reference output from
# the command-line tool at the output's path under $top/expected.
makeBatchModel() {
    local kind=$1 path=$2
    shift 2
    mkdir -p "$(dirname "$path")"
    "$makeModel" "$kind" "$path" "$@" || failRun "duridodi-make-model $kind $path failed"
    local output=${path%.*}_dezavivi.mdx
    mkdir -p "$top/expected$(dirname "$output")"
    "$cli" -q -o "$top/expected$output" "$path" || failRun "the command-line tool failed on $path"
}

# The models of the batch scenario: a single model; two models and a folder holding models at two
# depths, a model cut short, an earlier output, a text file and a link loop; an empty folder; what
# is dropped (a name with a blank, a folder with a name outside ASCII); and a folder large enough
# that closing the window meets the batch running.
makeBatchModels() {
    local b=$top/batch
    rm -rf "$b" "$top/expected"
    makeBatchModel sample "$b/single/one.mdx"
    makeBatchModel full "$b/pair/a.mdx" 900
    makeBatchModel full "$b/pair/B.MDX" 1000
    makeBatchModel full "$b/tree/c.mdx" 1100
    makeBatchModel random "$b/tree/sub/d.mdx" 3 800
    head -c 1000 "$b/single/one.mdx" >"$b/tree/bad.mdx"
    head -c 3000 "$b/single/one.mdx" >"$b/tree/sub/e.mdx"
    head -c 1500 "$b/single/one.mdx" >"$b/pair/cut.mdx"
    printf 'an earlier output, left alone' >"$b/tree/old_dezavivi.mdx"
    printf 'not a model\n' >"$b/tree/notes.txt"
    ln -s .. "$b/tree/sub/loop"
    mkdir -p "$b/empty/inner"
    makeBatchModel random "$b/drop/x y.mdx" 11
    makeBatchModel full "$b/drop/more/caf$(printf '\303\251').mdx" 800
    makeBatchModel random "$b/drop/more/f.mdx" 12 1000
    makeBatchModel geometry "$b/large/g00.mdx" "$largeModelMegabytes"
    mv "$top/expected$b/large/g00_dezavivi.mdx" "$top/large-expected.mdx"
    rmdir "$top/expected$b/large"
    for i in $(seq -w 1 $((largeModelCount - 1))); do
        ln "$b/large/g00.mdx" "$b/large/g$i.mdx"
    done
}

# The outputs under the batch folder FOLDER are exactly the expected ones, each equal to its
# reference, and no temporary file is left.
checkBatchOutputs() {
    local folder=$1 output
    (cd "$top/expected$folder" && find . -type f | sort) >"$top/expected-outputs.log"
    (cd "$folder" && find . -type f -name '*_dezavivi.mdx' ! -path ./tree/old_dezavivi.mdx | sort) >"$top/outputs.log"
    diff -u "$top/expected-outputs.log" "$top/outputs.log" >"$top/outputs-diff.log" ||
        failRun "the outputs differ from the expected ones:
$(cat "$top/outputs-diff.log")"
    while read -r output; do
        cmp -s "$top/expected$folder/$output" "$folder/$output" || failRun "$output differs from the command-line tool's output"
    done <"$top/outputs.log"
    ! find "$folder" -name '*.part*' -o -name '~dz*' | grep -q . || failRun "a temporary file was left in $folder"
    [ "$(cat "$folder/tree/old_dezavivi.mdx")" = "an earlier output, left alone" ] || failRun "the earlier output was touched"
}

# cliReason MODEL: why the command-line tool fails on MODEL, as it says it after the file's name.
cliReason() {
    "$cli" "$1" 2>&1 >/dev/null | sed "s|^duridodi: $1: ||"
}

# Enough work that the batch still runs when the close arrives (about 1 s after the start here,
# where the batch takes about 5 s: 150 models took only 1.1 to 1.5 s); the inputs are links to
# one file.
largeModelMegabytes=8
largeModelCount=600

runBatchScenario() {
    local run=$1 start b
    start=$(now)
    makeBatchModels
    b=$(winePath "$top/batch")

    launchApp "$b\\single\\one.mdx"
    drive wait-main msgbox button close >"$top/transcript.log" || true
    expect "msgbox: Success|Dezavivi to $b\\single\\one_dezavivi.mdx|icon no" "$idleButton" close
    checkLaunch "one model as argument"

    # Each failure with the command-line tool's reason: a file given by its full path, the
    # models found in a folder by their paths in it.
    launchApp "$b\\pair\\a.mdx" "$b\\pair\\cut.mdx" "$b\\pair\\B.MDX" "$b\\tree"
    drive wait-main msgbox button close >"$top/transcript.log" || true
    expect "msgbox: Error|Dezavivi 4 models" "Error dezaroing 3 models:" \
        "$b\\pair\\cut.mdx: $(cliReason "$top/batch/pair/cut.mdx")" "bad.mdx: $(cliReason "$top/batch/tree/bad.mdx")" \
        "sub\\e.mdx: $(cliReason "$top/batch/tree/sub/e.mdx")|icon yes" "$idleButton" close
    checkLaunch "two models, a bad one and a folder as arguments"

    launchApp "$b\\empty"
    drive wait-main msgbox button close >"$top/transcript.log" || true
    expect "msgbox: Error|No MDX models in $b\\empty|icon yes" "$idleButton" close
    checkLaunch "an empty folder as argument"

    # The drop, as a file manager makes it: Wine turns the X11 drop into WM_DROPFILES.
    launchApp
    "$python" "$(dirname "$0")/xdnd_drop.py" "MDX Duridodi 1.00" "$top/batch/drop/x y.mdx" "$top/batch/drop/more" \
        >"$top/drop.log" 2>&1 || failRun "the drop failed: $(cat "$top/drop.log")"
    drive wait-main msgbox button close >"$top/transcript.log" || true
    expect "msgbox: Success|Dezavivi 3 models|icon no" "$idleButton" close
    checkLaunch "the drop"
    checkBatchOutputs "$top/batch"

    # A map dropped alone: converted on the worker into the command-line tool's bytes, and one
    # box with the models, the output and the sizes. Then a folder holding a map and a model.
    local maps before after percent
    maps=$top/maps
    rm -rf "$maps"
    mkdir -p "$maps"
    "$makeModel" map "$maps/td.w3x" 21 1 || failRun "duridodi-make-model map failed"
    "$cli" -q -o "$top/td-expected.w3x" "$maps/td.w3x" || failRun "the command-line tool failed on the map"
    before=$(stat -c %s "$maps/td.w3x")
    after=$(stat -c %s "$top/td-expected.w3x")
    percent=$(awk -v b="$before" -v a="$after" 'BEGIN { printf "%.1f", 100 * (b - a) / b }')
    launchApp
    "$python" "$(dirname "$0")/xdnd_drop.py" "MDX Duridodi 1.00" "$maps/td.w3x" >"$top/drop.log" 2>&1 ||
        failRun "the map drop failed: $(cat "$top/drop.log")"
    drive wait-main msgbox button close >"$top/transcript.log" || true
    expect "msgbox: Success|Dezavivi 4 models to" "$(winePath "$maps")\\td_dezavivi.w3x" \
        "$before -> $after bytes ($percent% smaller)|icon no" "$idleButton" close
    checkLaunch "a map dropped"
    cmp -s "$top/td-expected.w3x" "$maps/td_dezavivi.w3x" || failRun "the dropped map's output differs from the tool's"
    makeBatchModel sample "$maps/one.mdx"
    rm "$maps/td_dezavivi.w3x"
    launchApp
    "$python" "$(dirname "$0")/xdnd_drop.py" "MDX Duridodi 1.00" "$maps" >"$top/drop.log" 2>&1 ||
        failRun "the folder drop failed: $(cat "$top/drop.log")"
    drive wait-main msgbox button close >"$top/transcript.log" || true
    expect "msgbox: Success|Dezavivi 1 models and 1 maps|icon no" "$idleButton" close
    checkLaunch "a folder with a map dropped"
    cmp -s "$top/td-expected.w3x" "$maps/td_dezavivi.w3x" || failRun "the map's output in the folder differs"
    cmp -s "$top/expected$maps/one_dezavivi.mdx" "$maps/one_dezavivi.mdx" || failRun "the model beside the map differs"

    # A map given as argument with a model kept unchanged (packed by smpq, StormLib's packer):
    # the warning box lists it with the command-line tool's reason. A map cut short: the error box
    # with the reason, and no output.
    local kept=$top/kept reason
    rm -rf "$kept"
    mkdir -p "$kept/units"
    cp "$maps/one.mdx" "$kept/units/good.mdx"
    printf 'this is not a model' >"$kept/units/bad.mdx"
    (cd "$kept" && smpq -c -M 1 -q kept.w3x units/good.mdx units/bad.mdx) || failRun "smpq could not pack kept.w3x"
    # The tool exits 1 for the kept model.
    reason=$("$cli" -o "$top/kept-expected.w3x" "$kept/kept.w3x" 2>&1 >/dev/null | sed 's|^.* kept unchanged: ||' || true)
    before=$(stat -c %s "$kept/kept.w3x")
    after=$(stat -c %s "$top/kept-expected.w3x")
    percent=$(awk -v b="$before" -v a="$after" 'BEGIN { printf "%.1f", 100 * (b - a) / b }')
    head -c 3000 "$maps/td.w3x" >"$kept/cut.w3m"
    launchApp "$(winePath "$kept")\\kept.w3x"
    drive wait-main msgbox button close >"$top/transcript.log" || true
    expect "msgbox: Warning|Dezavivi 1 models to" "$(winePath "$kept")\\kept_dezavivi.w3x" \
        "$before -> $after bytes ($percent% smaller)" "Kept 1 models unchanged:" "units\\bad.mdx: $reason|icon yes" "$idleButton" close
    checkLaunch "a map with a model kept"
    cmp -s "$top/kept-expected.w3x" "$kept/kept_dezavivi.w3x" || failRun "the map with a kept model differs"
    launchApp "$(winePath "$kept")\\cut.w3m"
    drive wait-main msgbox button close >"$top/transcript.log" || true
    expect "msgbox: Error|Error dezaroing $(winePath "$kept")\\cut.w3m" "$(cliReason "$kept/cut.w3m")|icon yes" "$idleButton" close
    checkLaunch "a map cut short"
    [ ! -e "$kept/cut_dezavivi.w3m" ] || failRun "the map cut short left an output"

    # Closing the window while a batch runs: the model being converted is finished, the batch
    # stops, no partial output is left and the program ends with code 0. A drop and a click
    # meanwhile do nothing.
    rm -rf "$top/late"
    makeBatchModel sample "$top/late/z.mdx"
    launchApp "$b\\large"
    drive wait-main busy >"$top/transcript.log" || true
    "$python" "$(dirname "$0")/xdnd_drop.py" "MDX Duridodi 1.00" "$top/late/z.mdx" >"$top/drop.log" 2>&1 ||
        failRun "the drop during a batch failed: $(cat "$top/drop.log")"
    drive wait-main click close >>"$top/transcript.log" || true
    { mainWindowLines; echo "busy: button disabled, text 'Dezaroing N of $largeModelCount'";
      mainWindowLines; printf '%s\n' click close; } >"$top/expected-transcript.log"
    checkLaunch "a drop and a close during a batch"
    [ ! -e "$top/late/z_dezavivi.mdx" ] || failRun "a model dropped during a batch was converted"
    local converted=0 output
    for output in "$top"/batch/large/*_dezavivi.mdx; do
        [ -e "$output" ] || continue
        cmp -s "$output" "$top/large-expected.mdx" || failRun "$output is not a complete output"
        converted=$((converted + 1))
    done
    ! find "$top/batch/large" -name '*.part*' -o -name '~dz*' | grep -q . || failRun "a temporary file was left in large"
    [ "$converted" -lt "$largeModelCount" ] || failRun "the batch did not stop when the window closed"
    echo "run $run: batch scenario passed in $(since "$start") s (closed after $converted of $largeModelCount models)"
}

for run in $(seq "$runs"); do
    case $scenario in
        dialog) runDialogScenario "$run" ;;
        batch) runBatchScenario "$run" ;;
        *) fail "unknown scenario $scenario" ;;
    esac
done
