#!/bin/bash
# Both Windows programs on paths at and past the classic limit, under Wine:
#   run_long_paths_wine.sh WINDOWS_CLI WINDOW_EXE DRIVER_EXE MAKE_MODEL CLI PREFIX ARTEFACTS_DIR
# The tree: a folder chain more than 300 characters deep with models at three depths and an
# earlier output at the deepest, and models whose full paths are 246 to 250 characters long,
# each beside an earlier output, named in full and relative to the current folder. duridodi.exe
# (-r on the chain, the others as files), then the window (the same operands as arguments, and
# the 250-character model alone, as the dialog would give it) must convert them all, replacing
# every earlier output, each output equal to the Linux tool's.
# Wine takes long paths without the "\\?\" form, so the conversions alone cannot show a path
# that escaped the programs' one path rule. Every run is therefore traced (WINEDEBUG trace+file)
# and every path that reaches Wine's DOS-to-NT path conversion must be in the "\\?\" form, but
# for the system's own files, the programs' folder and the current folder set at start.
set -euo pipefail
. "$(dirname "$0")/gui_common.sh"

exe=$1
app=$2
driver=$3
makeModel=$4
cli=$5
prefix=$6
artefacts=$7

find_wine
[ -f "$exe" ] || skip_or_fail "$exe missing: the win64 cross build did not run"
[ -f "$app" ] || skip_or_fail "$app missing: the win64 cross build did not run"
[ -f "$driver" ] || skip_or_fail "$driver missing: x86_64-w64-mingw32-g++ was not found when the tests were configured"
[ -x "$makeModel" ] || fail "$makeModel missing"
[ -x "$cli" ] || fail "$cli missing"

top=$(mktemp -d /tmp/duridodi-long.XXXXXX)
mkdir -p "$artefacts"
rm -f "$artefacts"/*.log
appPid=
cleanUp() {
    set +e
    [ -n "$appPid" ] && kill "$appPid" 2>/dev/null
    stop_wine_session
    rm -rf "$top"
}
trap cleanUp EXIT
trap 'exit 1' INT TERM HUP
start_wine_session "$prefix" "$top"

failRun() {
    cp "$top"/*.log "$artefacts"/ 2>/dev/null || true
    fail "$1 (logs in $artefacts)"
}

# The models, all copies of the sample, and the Linux tool's output of it.
work=$top/w
mkdir -p "$work"
"$makeModel" sample "$top/sample.mdx"
"$cli" -q -o "$top/expected.mdx" "$top/sample.mdx" || fail "the Linux tool failed on the sample"
earlier='an earlier output, to be replaced'

deep=$work/deep
folder=$deep
models=()
outputs=()
for depth in 1 2 3; do
    while [ ${#folder} -lt $((depth * 110)) ]; do
        folder=$folder/folder-of-a-deep-tree
    done
    mkdir -p "$folder"
    cp "$top/sample.mdx" "$folder/m$depth.mdx"
    outputs+=("$folder/m${depth}_dezavivi.mdx")
done
[ "${#folder}" -gt 300 ] || fail "the deep tree is only ${#folder} characters deep"

# bandModel KIND LENGTH: a model under band/KIND whose full Wine path is LENGTH characters, beside
# an earlier output; prints its Linux path.
bandModel() {
    local base
    base=$(wine_path "$work/band/$1/")
    local padding=$(($2 - ${#base} - 4))
    local path=$work/band/$1/$(head -c "$padding" /dev/zero | tr '\0' b).mdx
    mkdir -p "$work/band/$1"
    cp "$top/sample.mdx" "$path"
    [ "$(wine_path "$path" | tr -d '\n' | wc -c)" -eq "$2" ] || fail "a band path is not $2 characters long"
    echo "$path"
}
absolute=()
relative=()
for length in 246 247 248 249 250; do
    path=$(bandModel abs "$length")
    absolute+=("$(wine_path "$path")")
    outputs+=("${path%.mdx}_dezavivi.mdx")
    path=$(bandModel rel "$length")
    relative+=("$(echo "${path#$work/}" | tr / '\\')")
    outputs+=("${path%.mdx}_dezavivi.mdx")
done
longestOutput=${outputs[$((${#outputs[@]} - 2))]}

# resetOutputs: the earlier outputs back, every other output gone.
resetOutputs() {
    local output
    for output in "${outputs[@]}"; do
        rm -f "$output"
    done
    for output in "${outputs[@]}" "$folder/m3_dezavivi.mdx"; do
        case $output in
            "$work"/band/*|*/m3_dezavivi.mdx) printf '%s' "$earlier" >"$output" ;;
        esac
    done
}

# checkOutputs WHAT: every output is the Linux tool's, and no temporary file is left.
checkOutputs() {
    local output
    for output in "${outputs[@]}"; do
        cmp -s "$output" "$top/expected.mdx" || failRun "$1: ${output#$work/} (${#output} characters) is not the expected output"
    done
    ! find "$work" -name '*.part*' -o -name '~dz*' | grep -q . || failRun "$1: a temporary file was left"
}

# checkTrace WHAT LOG: every path of the traced run went through the "\\?\" form, but for the
# system's files, the program's folder and the current folder that Wine sets at start.
checkTrace() {
    local bin cwd
    bin=$(wine_path "$(dirname "$exe")/")
    cwd=$(wine_path "$work/")
    grep -o 'RtlDosPathNameToNtPathName_U_WithStatus (L"[^"]*"' "$2" | sed 's/^[^"]*"//; s/"$//; s/\\\\/\\/g' |
        grep -v -F -e '\\?\' | grep -v -i -F -e 'C:\windows\' | grep -v -F -e "$bin" | grep -v -x -F -e "$cwd" \
        >"$top/bypass.log" || true
    grep -q 'RtlDosPathNameToNtPathName_U_WithStatus (L"\\\\\\\\?\\\\' "$2" || failRun "$1: no path was traced"
    [ ! -s "$top/bypass.log" ] || failRun "$1: paths passed to the system without the one path rule:
$(sort -u "$top/bypass.log" | head -20)"
}

resetOutputs
# The command-line tool.
code=0
(cd "$work" && WINEDEBUG=-all,trace+file timeout 300 "$wine" "$exe" -r -q deep "${absolute[@]}" "${relative[@]}" \
    </dev/null >"$top/cli.out" 2>"$top/cli-trace.log") || code=$?
tr -d '\r' <"$top/cli.out" >"$top/cli-out.log"
grep -v ':trace:' "$top/cli-trace.log" >"$top/cli-err.log" || true
[ "$code" -eq 0 ] || failRun "duridodi.exe exited with $code: $(cat "$top/cli-out.log" "$top/cli-err.log")"
[ ! -s "$top/cli-out.log" ] && [ ! -s "$top/cli-err.log" ] || failRun "duridodi.exe -q printed: $(cat "$top/cli-out.log" "$top/cli-err.log")"
checkOutputs "duridodi.exe"
checkTrace "duridodi.exe" "$top/cli-trace.log"
echo "duridodi.exe: ${#outputs[@]} models converted, the deepest at ${#folder} characters, every path through \\\\?\\"

# The window: the same operands as arguments make a batch; then the 250-character model alone.
drive() {
    timeout 120 "$wine" "$driver" "$@" </dev/null 2>>"$top/driver-stderr.log" | tr -d '\r'
}
# runWindow LOG EXPECTED-BOX ARGS...: one launch, traced, whose one box must be EXPECTED-BOX.
runWindow() {
    local log=$1 box=$2
    shift 2
    local exitCode attempt
    # A window that never appears is tried once more: Wine now and then starts a program late.
    for attempt in 1 2; do
        (cd "$work" && WINEDEBUG=-all,trace+file timeout 300 "$wine" "$app" "$@" </dev/null >/dev/null 2>"$top/$log") &
        appPid=$!
        drive wait-main msgbox close | grep '^msgbox: ' >"$top/box.log" || true
        # A window that came too late is not waited for.
        [ -s "$top/box.log" ] || pkill -f -- "$app" 2>/dev/null || true
        exitCode=0
        wait "$appPid" || exitCode=$?
        appPid=
        [ -s "$top/box.log" ] && break
        echo "the window did not show a box (attempt $attempt)" >>"$top/driver-stderr.log"
    done
    [ "$(cat "$top/box.log")" = "msgbox: $box" ] || failRun "the window showed $(cat "$top/box.log"), not $box"
    [ "$exitCode" -eq 0 ] || failRun "the window exited with code $exitCode"
}
resetOutputs
runWindow window-batch-trace.log "Success|Dezavivi ${#outputs[@]} models|icon no" \
    "$(wine_path "$deep")" "${absolute[@]}" "${relative[@]}"
checkOutputs "the window's batch"
checkTrace "the window's batch" "$top/window-batch-trace.log"
resetOutputs
last=${absolute[4]}
runWindow window-single-trace.log "Success|Dezavivi to ${last%.mdx}_dezavivi.mdx|icon no" "$last"
cmp -s "$longestOutput" "$top/expected.mdx" || failRun "the window's single model: the output is not the expected one"
checkTrace "the window's single model" "$top/window-single-trace.log"
echo "mdx-duridodi.exe: the batch and a single model of 250 characters converted, every path through \\\\?\\"
