#!/usr/bin/env bash
# Runs the programs under a sweep of address-space limits (ulimit -v) and checks that every run
# ends within its time with a result or with the message of a shortage of memory, never hangs,
# crashes or ends in silence. Usage: memory_limits.sh OSTREL WINDOW_RUNNER SOURCE_DIR
set -u
ostrel=$(realpath "$1") runner=$(realpath "$2") source=$(realpath "$3")
data=$source/tests/data/memory
bundle=$data/bundle.inp                                  # 1000 unknowns, in core
out_of_core=$data/out_of_core.inp                         # 62 unknowns, out of core
# A run takes well under a second; one that is not over in this many seconds hangs.
seconds=20
# From below the size that the system's loader needs to far above what a run needs, in kB.
limits=$(seq 40000 30000 700000)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# check NAME PROGRAM INPUT LIMIT: one run in a folder of its own.
check() {
  local name=$1 program=$2 input=$3 limit=$4 dir status
  dir=$(mktemp -d "$work/run.XXXXXX")
  cp "$input" "$dir/case.inp"
  (cd "$dir" && ulimit -v "$limit" && exec timeout -k 5 "$seconds" "$program" case.inp \
     >stdout 2>stderr </dev/null)
  status=$?
  local verdict=""
  if [ "$status" -eq 0 ]; then
    grep -q "E+0" "$dir/result.osl" 2>/dev/null || verdict="exit 0 without a matrix in result.osl"
  elif [ "$status" -eq 1 ] && grep -qE "Can not allocate|unsufficient|no blocks of matrix|no memory for last string" "$dir/stdout"; then
    # A failed run leaves no result file.
    [ -e "$dir/result.osl" ] && grep -q "E+0" "$dir/result.osl" && verdict="a matrix left by a failed run"
  elif grep -q "error while loading shared libraries" "$dir/stderr"; then
    :  # too little for the system's loader: no code of the program has run
  elif grep -q "OpenBLAS blas_thread_init" "$dir/stderr"; then
    :  # too little for the BLAS library's start, before the program runs
  elif [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    verdict="no end within $seconds s"
  else
    verdict="exit status $status: $(head -c 300 "$dir/stdout" "$dir/stderr" | tr '\n' ' ')"
  fi
  if [ -n "$verdict" ]; then
    echo "FAIL $name under ulimit -v $limit: $verdict"
    failures=$((failures + 1))
  fi
}

for limit in $limits; do
  check "in-core ostrel" "$ostrel" "$bundle" "$limit"
  check "out-of-core ostrel" "$ostrel" "$out_of_core" "$limit"
  check "windowed in-core (falls back)" "$runner" "$bundle" "$limit"
  check "windowed out-of-core" "$runner" "$out_of_core" "$limit"
done
echo "$failures failure(s) over $(echo $limits | wc -w) limits"
[ "$failures" -eq 0 ]
