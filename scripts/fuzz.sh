#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for a bounded time.
#
# Usage: scripts/fuzz.sh [seconds per target, default 90] [target ...]
# Targets: reading (problem input files), scratch (scratch-file records); default both.
#
# Exits non-zero on any finding: a crash, a sanitizer report, a leak, an input that runs longer
# than 10 s, or one that needs more than 2 GB. The input is kept under build-fuzz/findings/<target>/
# (crash-*, leak-*, timeout-*, oom-*); replay it with build-fuzz/fuzz/fuzz_<target> <file>. Once
# the fault is fixed, copy the input into tests/data/fuzz-regressions/<target>/, where the test
# suite replays it on every run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

seconds=${1:-90}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(reading scratch)

build="build-fuzz"
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTREL_FUZZ=ON \
  -DOSTREL_GUI=OFF -DOSTREL_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"

# Leaks are findings; so are reports of undefined behaviour (the targets are built with
# -fno-sanitize-recover, these options make sure nothing is only printed).
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

status=0
for t in "${targets[@]}"; do
  corpus="$root/$build/corpus/$t"       # grows from run to run; the first folder is written
  findings="$root/$build/findings/$t"
  seeds="$root/$build/seeds/$t"         # read only: checked-in seeds and test inputs
  mkdir -p "$corpus" "$findings"
  rm -rf "$seeds"
  mkdir -p "$seeds"
  cp "$root"/fuzz/corpus/"$t"/* "$seeds"/
  if [ -d "$root/tests/data/fuzz-regressions/$t" ]; then
    cp "$root"/tests/data/fuzz-regressions/"$t"/* "$seeds"/ 2>/dev/null || true
  fi
  if [ "$t" = reading ]; then
    cp "$root"/examples/*.inp "$root"/tests/data/bad/*.inp "$seeds"/
  fi
  log="$root/$build/fuzz_$t.log"
  echo "fuzz_$t: ${seconds} s, log in $log"
  rc=0
  "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=8192 -dict="$root/fuzz/$t.dict" -artifact_prefix="$findings/" -print_final_stats=1 \
    "$corpus" "$seeds" >"$log" 2>&1 || rc=$?
  grep -E '^(stat::|Done|INFO: seed corpus|#[0-9]+[[:space:]]+DONE)' "$log" || true
  if [ "$rc" -ne 0 ] || grep -qE 'ERROR: (libFuzzer|AddressSanitizer|LeakSanitizer)|runtime error|finding:' "$log"; then
    echo "fuzz_$t: FINDING (exit status $rc); input kept in $findings/"
    grep -E -A30 'ERROR:|runtime error|finding:' "$log" | head -60 || true
    status=1
  else
    echo "fuzz_$t: no finding"
  fi
done
exit "$status"
