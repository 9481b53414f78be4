#!/usr/bin/env bash
# Longer fuzzing on demand: as fuzz/run-ci.sh, for SECONDS (default one hour), with a corpus that
# is kept in build/fuzz/fuzz-long/ and grows from one run to the next.
#
#   fuzz/run-long.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
FUZZ_SECONDS="${1:-3600}" FUZZ_WORK=build/fuzz/fuzz-long FUZZ_KEEP_CORPUS=1 exec fuzz/run-ci.sh
