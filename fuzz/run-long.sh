#!/usr/bin/env bash
# A long fuzzing campaign for one target: runs it until RUNS inputs have been executed, in rounds
# of ROUND_RUNS (one fuzzing process at a time), then minimizes what it found into the committed
# corpus fuzz/corpus/TARGET/, which the ordinary test run replays. The working corpus in
# build/fuzz/long-TARGET/ is kept, so a later campaign goes on from it. Interrupting (Ctrl-C,
# kill) ends the round under way and still minimizes the corpus so far.
#
#   fuzz/run-long.sh TARGET RUNS          e.g. nice -n 19 fuzz/run-long.sh model 10000000
#   ROUND_RUNS=500000 fuzz/run-long.sh model 2000000
#
# A finding (failed check, crash, sanitizer report, hang, large allocation) stops the campaign;
# it lies in build/fuzz/long-TARGET/findings/. Fix it and keep it in fuzz/regressions/ (maps:
# fuzz/regressions-archive/) under a name that says what it shows.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { echo "usage: $0 TARGET RUNS   (TARGET: model or archive)" >&2; exit 2; }
[ $# -eq 2 ] || usage
target=$1
runs=$2

# Each target: its fuzzer, the program that writes its seeds, its saved findings, and its
# libFuzzer options. An allocation above the limit is a finding: no size a file declares may drive
# an allocation. Maps inflate their sectors, so a few MB of real output from 32 KiB of input is
# fine there (as in run-ci.sh).
case "$target" in
  model)
    fuzzer=duridodi_fuzz seeder=duridodi-fuzz-seeds regressions=fuzz/regressions
    options="-max_len=32768 -dict=fuzz/model.dict -malloc_limit_mb=64" ;;
  archive)
    fuzzer=duridodi_fuzz_archive seeder=duridodi-fuzz-archive-seeds regressions=fuzz/regressions-archive
    options="-max_len=32768 -dict=fuzz/archive.dict -malloc_limit_mb=128" ;;
  *) usage ;;
esac

round_runs="${ROUND_RUNS:-1000000}"
work="build/fuzz/long-$target"
kept="fuzz/corpus/$target"

# The preset names clang++; Debian's versioned clang package alone installs only clang++-14.
compiler=()
if ! command -v clang++ >/dev/null && command -v clang++-14 >/dev/null; then
  compiler=(-DCMAKE_CXX_COMPILER=clang++-14)
fi
cmake --preset fuzz "${compiler[@]}" >/dev/null
cmake --build --preset fuzz

mkdir -p "$work/seeds" "$work/corpus" "$work/findings" "$kept"
"build/fuzz/bin/$seeder" "$work/seeds" >/dev/null
log="$work/campaign.log"

# An interruption ends the round under way; what was found so far is still minimized below.
stopping=0
fuzzing=""
trap 'stopping=1; [ -n "$fuzzing" ] && kill -INT "$fuzzing" 2>/dev/null' INT TERM

executed=0
round=0
while [ "$executed" -lt "$runs" ] && [ "$stopping" -eq 0 ]; do
  round=$((round + 1))
  want=$((runs - executed < round_runs ? runs - executed : round_runs))
  status=0
  # shellcheck disable=SC2086 # the options split into words
  "build/fuzz/bin/$fuzzer" -runs="$want" $options -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$work/findings/" \
    "$work/corpus" "$work/seeds" "$kept" "$regressions" >"$work/round.log" 2>&1 &
  fuzzing=$!
  wait "$fuzzing" || status=$?
  if [ "$stopping" -eq 1 ]; then
    # The signal ended the wait, not the fuzzer, which is still finishing its round.
    status=0
    wait "$fuzzing" 2>/dev/null || true
  fi
  fuzzing=""
  done_now=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/round.log" | tail -n 1)
  executed=$((executed + ${done_now:-0}))
  line=$(grep -E '^#[0-9]+[[:space:]]+(DONE|pulse|NEW|REDUCE)' "$work/round.log" | tail -n 1 || true)
  echo "$(date -u +%FT%TZ) round $round: ${done_now:-0} executed ($executed in all), $line" | tee -a "$log"
  if [ "$status" -ne 0 ] || [ -n "$(find "$work/findings" -type f)" ]; then
    tail -n 60 "$work/round.log" >&2
    echo "finding in $work/findings (status $status; log $work/round.log)" >&2
    exit 1
  fi
done

# The smallest set of inputs that covers what the kept corpus and this campaign's corpus cover.
minimized="$work/minimized"
rm -rf "$minimized"
mkdir -p "$minimized"
# shellcheck disable=SC2086
"build/fuzz/bin/$fuzzer" -merge=1 $options -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$work/findings/" "$minimized" "$kept" "$work/corpus" >"$work/merge.log" 2>&1
rm -rf "$kept"
mv "$minimized" "$kept"
files=$(find "$kept" -type f | wc -l)
size=$(du -sh "$kept" | cut -f1)
echo "$(date -u +%FT%TZ) $target: $executed executed in $round round(s); kept corpus $kept: $files files, $size" |
  tee -a "$log"
