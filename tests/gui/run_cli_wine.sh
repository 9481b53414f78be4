#!/bin/bash
# The command-line tool's Windows build under Wine, against the Linux build on the same models:
#   run_cli_wine.sh WINDOWS_CLI LINUX_CLI MAKE_MODEL PREFIX ARTEFACTS_DIR
# WINDOWS_CLI is the x86_64 duridodi.exe, LINUX_CLI the native tool, MAKE_MODEL the model writer
# and PREFIX the Wine prefix that wine_prefix.sh made. The two builds run on two copies of one
# tree of models: their exit codes and lines must be the same (the Windows lines with "\" where
# the Linux ones have "/") and so must every output byte, a map's included. Then the Windows build alone: "-o" onto
# the input spelt in another case, a name in Cyrillic and CJK letters, and a path longer than
# MAX_PATH. ARTEFACTS_DIR receives the logs of a failure.
set -euo pipefail
. "$(dirname "$0")/gui_common.sh"

exe=$1
cli=$2
makeModel=$3
prefix=$4
artefacts=$5

find_wine
[ -f "$exe" ] || skip_or_fail "$exe missing: the win64 cross build did not run"
[ -x "$cli" ] || fail "$cli missing"
[ -x "$makeModel" ] || fail "$makeModel missing"

top=$(mktemp -d /tmp/duridodi-cli-wine.XXXXXX)
mkdir -p "$artefacts"
rm -f "$artefacts"/*.log
cleanUp() {
    set +e
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

# run NAME FOLDER PROGRAM ARGS...: runs PROGRAM in FOLDER; stdout, stderr and the exit code go to
# $top/NAME.out, .err and .code, with the Windows line ends and separators made the Linux ones.
run() {
    local name=$1 folder=$2 program=$3
    shift 3
    local code=0
    if [ "$program" = "$exe" ]; then
        (cd "$folder" && timeout 120 "$wine" "$exe" "$@" </dev/null >"$top/$name.raw-out" 2>"$top/$name.raw-err") || code=$?
    else
        (cd "$folder" && timeout 120 "$program" "$@" </dev/null >"$top/$name.raw-out" 2>"$top/$name.raw-err") || code=$?
    fi
    tr -d '\r' <"$top/$name.raw-out" | tr '\\' / >"$top/$name.out"
    tr -d '\r' <"$top/$name.raw-err" | tr '\\' / >"$top/$name.err"
    echo "$code" >"$top/$name.code"
}

# sameAsLinux ARGS...: both builds on their copy of the tree give the same exit code and lines.
sameAsLinux() {
    run linux "$top/linux" "$cli" "$@"
    run windows "$top/windows" "$exe" "$@"
    local part
    for part in code out err; do
        diff -u "$top/linux.$part" "$top/windows.$part" >"$top/diff.log" ||
            failRun "duridodi $*: the Windows build's $part differs from the Linux build's:
$(cat "$top/diff.log")"
    done
    echo "same as Linux: duridodi $* (exit code $(cat "$top/linux.code"))"
}

# The tree: the model writer's models of every version at two depths, one cut short, an earlier
# output, and a name in Cyrillic and CJK letters.
tree=$top/linux/models
mkdir -p "$tree/deep"
"$makeModel" sample "$tree/sample.mdx"
for version in 800 900 1000 1100; do
    "$makeModel" full "$tree/v$version.mdx" "$version"
    "$makeModel" random "$tree/deep/r$version.MDX" "$version" "$version"
done
"$makeModel" random "$tree/Жар 漢字.mdx" 7
head -c 1500 "$tree/sample.mdx" >"$tree/broken.mdx"
printf 'an earlier output' >"$tree/sample_dezavivi.mdx"
# A map of about 1 MB: its models are reduced inside it, on two workers.
mkdir -p "$top/linux/maps"
"$makeModel" map "$top/linux/maps/td.w3x" 21 1
cp -a "$top/linux" "$top/windows"

sameAsLinux --version
sameAsLinux --help
sameAsLinux -x models
sameAsLinux -r -q --dry-run --stats models
sameAsLinux -r --stats models
[ "$(cat "$top/windows.code")" = 1 ] || failRun "a batch with a bad model did not exit 1"
grep -q '^duridodi: models/broken.mdx: ' "$top/windows.err" || failRun "the bad model is not named"
grep -q '^summary: 10 converted, 1 failed, 1 skipped; ' "$top/windows.out" || failRun "wrong summary: $(cat "$top/windows.out")"
sameAsLinux --json --dry-run --stats maps/td.w3x
sameAsLinux -j 2 maps/td.w3x
grep -q '^maps/td.w3x -> maps/td_dezavivi.w3x: 4 models reduced, 0 kept; ' "$top/windows.out" ||
    failRun "the map's line: $(cat "$top/windows.out" "$top/windows.err")"
(cd "$top/linux" && find . -type f | sort) >"$top/linux-files.log"
(cd "$top/windows" && find . -type f | sort) >"$top/windows-files.log"
diff -u "$top/linux-files.log" "$top/windows-files.log" >"$top/diff.log" || failRun "the files differ:
$(cat "$top/diff.log")"
while read -r file; do
    cmp -s "$top/linux/$file" "$top/windows/$file" || failRun "$file differs between the builds"
done <"$top/linux-files.log"
echo "outputs: $(grep -c _dezavivi "$top/windows-files.log") files byte-identical to the Linux build's"

# One name, two spellings: the output is the input itself and is refused.
cp "$tree/v800.mdx" "$top/v800.mdx"
run windows "$top/windows" "$exe" -o MODELS/V800.MDX models/v800.mdx
[ "$(cat "$top/windows.code")" = 1 ] || failRun "-o onto the input in another case: exit $(cat "$top/windows.code")"
grep -qx 'duridodi: models/v800.mdx: the output MODELS/V800.MDX is the input file itself' "$top/windows.err" ||
    failRun "-o onto the input in another case: $(cat "$top/windows.err")"
cmp -s "$top/v800.mdx" "$top/windows/models/v800.mdx" || failRun "-o onto the input in another case changed the input"
echo "refused: -o MODELS/V800.MDX models/v800.mdx"

# A name the ANSI code page cannot spell, given on the command line.
rm "$top/windows/models/Жар 漢字_dezavivi.mdx"
run windows "$top/windows/models" "$exe" "Жар 漢字.mdx"
grep -qx 'Жар 漢字.mdx -> Жар 漢字_dezavivi.mdx: .* floats reduced, version 800' "$top/windows.out" ||
    failRun "the Cyrillic and CJK name: $(cat "$top/windows.out" "$top/windows.err")"
cmp -s "$top/linux/models/Жар 漢字_dezavivi.mdx" "$top/windows/models/Жар 漢字_dezavivi.mdx" ||
    failRun "the output of the Cyrillic and CJK name differs"
echo "converted: Жар 漢字.mdx -> Жар 漢字_dezavivi.mdx"

# A path longer than MAX_PATH, named in full.
long=$top/long
while [ ${#long} -lt 300 ]; do
    long=$long/folder-of-a-deep-tree
done
mkdir -p "$long"
cp "$tree/v900.mdx" "$long/m.mdx"
run windows "$top" "$exe" "$(wine_path "$long/m.mdx")"
[ "$(cat "$top/windows.code")" = 0 ] || failRun "a path of $((${#long} + 8)) characters: $(cat "$top/windows.err")"
cmp -s "$top/linux/models/v900_dezavivi.mdx" "$long/m_dezavivi.mdx" || failRun "the output at the long path differs"
[ "$(ls "$long")" = "$(printf 'm.mdx\nm_dezavivi.mdx')" ] || failRun "files at the long path: $(ls "$long")"
echo "converted: a path of $((${#long} + 8)) characters"
