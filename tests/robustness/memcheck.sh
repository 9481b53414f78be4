#!/bin/sh
# memcheck.sh VALGRIND STATUS TOOL INPUT OUTPUT: runs `TOOL -q -o OUTPUT INPUT` under memcheck
# and passes when memcheck finds no error and no leak and the tool exits with STATUS.
valgrind=$1 expected=$2 tool=$3 input=$4 output=$5
mkdir -p "$(dirname "$output")" && rm -f "$output"
"$valgrind" --quiet --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect \
  "$tool" -q -o "$output" "$input"
status=$?
if [ "$status" -ne "$expected" ]; then
  echo "memcheck.sh: exit status $status, expected $expected (99: memcheck found errors)" >&2
  exit 1
fi
if [ "$expected" -ne 0 ] && [ -e "$output" ]; then
  echo "memcheck.sh: a failed conversion left $output behind" >&2
  exit 1
fi
