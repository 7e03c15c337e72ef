#!/usr/bin/env bash
# Builds the whole project (program and tests) with AddressSanitizer and
# UndefinedBehaviorSanitizer in build-asan/ and runs the test suite there. Any sanitizer report
# fails the run: every report also goes to a file under build-asan/sanitizer-reports/, so one
# written by a child process (the end-to-end tests run the program) is caught as well.
# Usage: scripts/sanitize.sh [extra ctest options]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=build-asan

# -O1 keeps the instrumented tests fast; asserts stay on (no NDEBUG) to check the invariants too.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
  -DOSTREL_SANITIZE=ON -DOSTREL_GUI=OFF -DOSTREL_BENCH=OFF >/dev/null
cmake --build "$build" -j2

reports="$root/$build/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:abort_on_error=0:strict_string_checks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1:log_path=$reports/asan"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$reports/ubsan"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"

status=0
ctest --test-dir "$build" --output-on-failure -j2 "$@" || status=$?

if compgen -G "$reports/*" >/dev/null; then
  echo "Sanitizer reports:"
  for f in "$reports"/*; do
    echo "--- $f"
    cat "$f"
  done
  status=1
fi
exit "$status"
