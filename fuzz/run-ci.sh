#!/usr/bin/env bash
# Bounded fuzzing, as CI runs it: builds the fuzz targets (preset "fuzz", clang), writes their seed
# corpora, replays every saved input (fuzz/regressions for models, fuzz/regressions-archive for
# maps) and the corpus of the last long campaign (fuzz/corpus/TARGET), so that it goes on from
# where the campaign got to, then fuzzes for FUZZ_SECONDS (180) split between the model and the
# archive target, and fails on any finding: a failed check, a crash, a sanitizer report, a hang or
# a large allocation.
#
#   fuzz/run-ci.sh                  about three minutes, a fresh corpus each time
#   FUZZ_SECONDS=600 fuzz/run-ci.sh
#
# Findings are written to build/fuzz/fuzz-run/findings/. Keep each one as a regression case:
# copy it to fuzz/regressions/ (maps: fuzz/regressions-archive/) under a name that says what it shows.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-180}"
work="${FUZZ_WORK:-build/fuzz/fuzz-run}"

# The preset names clang++; Debian's versioned clang package alone installs only clang++-14.
compiler=()
if ! command -v clang++ >/dev/null && command -v clang++-14 >/dev/null; then
  compiler=(-DCMAKE_CXX_COMPILER=clang++-14)
fi
cmake --preset fuzz "${compiler[@]}" >/dev/null
cmake --build --preset fuzz

if [ -z "${FUZZ_KEEP_CORPUS:-}" ]; then
  rm -rf "$work"
fi
rm -rf "$work/findings"
mkdir -p "$work/seeds" "$work/corpus" "$work/findings" "$work/archive-seeds" "$work/archive-corpus"
build/fuzz/bin/duridodi-fuzz-seeds "$work/seeds"
build/fuzz/bin/duridodi-fuzz-archive-seeds "$work/archive-seeds"
# The model target keeps two thirds of the time it had alone; the archive target gets the rest.
archiveSeconds=$((seconds / 3))
seconds=$((seconds - archiveSeconds))

# Inputs up to 32 KiB: the seeds are at most 16 KiB, and every structure fits in a few KiB.
# An allocation above 64 MiB is a finding: no size a file declares may drive an allocation.
status=0
build/fuzz/bin/duridodi_fuzz \
  -max_total_time="$seconds" -max_len=32768 -dict=fuzz/model.dict -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=64 \
  -print_final_stats=1 -artifact_prefix="$work/findings/" \
  "$work/corpus" "$work/seeds" fuzz/corpus/model fuzz/regressions >"$work/fuzz.log" 2>&1 || status=$?
# Maps inflate their sectors: a few MB of real output from 32 KiB of input is fine, a size a
# field declares is not.
if [ "$status" -eq 0 ]; then
  build/fuzz/bin/duridodi_fuzz_archive \
    -max_total_time="$archiveSeconds" -max_len=32768 -dict=fuzz/archive.dict -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=128 \
    -print_final_stats=1 -artifact_prefix="$work/findings/" \
    "$work/archive-corpus" "$work/archive-seeds" fuzz/corpus/archive fuzz/regressions-archive >>"$work/fuzz.log" 2>&1 || status=$?
fi

grep -E '^#[0-9]+[[:space:]]+(INITED|pulse|DONE)|^stat::' "$work/fuzz.log" || true
findings=$(find "$work/findings" -type f | wc -l)
if [ "$status" -ne 0 ] || [ "$findings" -ne 0 ]; then
  tail -n 60 "$work/fuzz.log" >&2
  echo "fuzzing failed (status $status, $findings finding(s) in $work/findings; log $work/fuzz.log)" >&2
  exit 1
fi
echo "fuzzing passed: no findings in $((seconds + archiveSeconds))s"
