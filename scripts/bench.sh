#!/usr/bin/env bash
# Speed and memory at full capacity: builds (installing what is missing), runs the capacity case
# (bench/capacity.inp: 49 coated wires in a shield, 100 elements) at several orders in core and
# out of core, and the benchmarks of the fill and of the out-of-core passes, then prints one
# table of the targets and the growth of each phase with nd (fitted exponent).
# Usage: scripts/bench.sh [node counts per element, default "24 48 71 95"]
# Run it on a quiet machine: every figure is a ratio measured in one run, but a second process
# on the same cores distorts them all.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh >/dev/null
root=$PWD
nis=${1:-"24 48 71 95"}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Whole in-core runs of the capacity case with ni nodes on each element (nd = 100 ni); the
# largest three times, keeping the run with the median ratio to dgetrf.
last=$(echo $nis | awk '{print $NF}')
for ni in $nis; do
  sed -e "s/^\([0-9]* 3 [13] [0-9]*\) 95 /\1 $ni /" bench/capacity.inp > "$work/cap$ni.inp"
  runs=1
  [ "$ni" = "$last" ] && runs=3
  for r in $(seq $runs); do
    (cd "$work" && "$root/build/ostrel-phases" $((100 * ni)) "$root/build/ostrel" "cap$ni.inp" \
       "cap$ni.osl" > "phases$ni.$r.txt")
  done
  median=$(for f in "$work"/phases$ni.*.txt; do
             echo "$(awk '/^run \/ dgetrf/ { print $NF }' "$f") $f"; done | sort -n |
           awk '{ a[NR] = $2 } END { print a[int((NR + 1) / 2)] }')
  cp "$median" "$work/phases$ni.txt"
done
# Out-of-core runs (all conductors in lockstep) at two small orders: peak memory against the
# whole matrix.
ooc_nis="12 24"
for ni in $ooc_nis; do
  sed -e "s/^\([0-9]* 3 [13] [0-9]*\) 95 /\1 $ni /" \
      -e "s|^0 /                 iswitch.*|1 5 50 1e-4 /|" bench/capacity.inp > "$work/ooc$ni.inp"
  (cd "$work" && "$root/build/ostrel-phases" $((100 * ni)) "$root/build/ostrel" "ooc$ni.inp" \
     "ooc$ni.osl" > "ooc$ni.txt") || true
done
# The fill against a tight loop of the same kernels (on one and two threads), and the
# out-of-core passes of the conductors in lockstep against one by one.
build/ostrel-bench --benchmark_filter='BM_fill_capacity|BM_kernel_tight_loop|BM_lockstep_run' \
  2>/dev/null > "$work/bench.txt" || true

get() { awk -v k="$2" 'index($0, k "  ") == 1 { print $NF }' "$1"; }
# A figure of a benchmark's console line: bench NAME COUNTER (a counter "COUNTER=value"), or
# bench NAME time (the wall time, the second field).
bench() {
  awk -v n="$1" -v k="$2" '$1 == n {
      if (k == "time") { print $2; exit }
      for (i = 2; i <= NF; ++i) if (index($i, k "=") == 1) { print substr($i, length(k) + 2); exit } }' \
    "$work/bench.txt"
}
row() { printf '%-34s %10.3f %10s\n' "$1" "$2" "$3"; }
full="$work/phases$last.txt"
echo "OSTREL speed and memory ($(date -u +%F), $(nproc) cores," \
  "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'))"
echo
echo "Capacity case in core, nd = $((100 * last)), 49 conductors (median of 3 runs), and benchmarks"
printf '%-34s %10s %10s\n' "figure" "measured" "target"
row "whole run / dgetrf (same order)" "$(get "$full" 'run / dgetrf')" "<= 1.30"
row "solutions / factorisation" "$(get "$full" 'solutions / LU')" "<= 0.10"
row "charges / whole run" "$(get "$full" 'charges / run')" "<= 0.05"
row "peak memory / 8 nd^2" "$(get "$full" 'peak / 8 nd^2')" "<= 1.15"
row "fill / tight loop, 2 threads" "$(bench BM_fill_capacity/2/iterations:3/real_time vs_tight)" ">= 0.70"
row "  the same, first fill (fresh pages)" \
  "$(bench BM_fill_capacity/2/iterations:3/real_time vs_tight_first)" ""
row "fill / tight loop, 1 thread" "$(bench BM_fill_capacity/1/iterations:3/real_time vs_tight)" ""
row "fill speed-up, 2 threads / 1" "$(awk -v a="$(bench BM_fill_capacity/1/iterations:3/real_time time)" \
  -v b="$(bench BM_fill_capacity/2/iterations:3/real_time time)" 'BEGIN { print a / b }')" ""
row "out of core: passes 1-by-1 / lockstep" \
  "$(bench BM_lockstep_run/iterations:1/real_time lockstep_pass_ratio)" "~ m"
row "out of core: time 1-by-1 / lockstep" \
  "$(bench BM_lockstep_run/iterations:1/real_time lockstep_speedup)" ""
echo
echo "Seconds per phase against nd, and the exponent p of a least-squares fit t = c nd^p"
printf '%-18s' "phase"
for ni in $nis; do printf '%9s' "$((100 * ni))"; done
printf '%8s\n' "p"
for phase in "reading+picture" "fill" "factorisation" "solutions" "charges" "output" \
             "whole run" "dgetrf" "peak memory"; do
  printf '%-18s' "$phase"
  pairs=""
  for ni in $nis; do
    v=$(get "$work/phases$ni.txt" "$phase")
    printf '%9s' "$v"
    pairs+="$((100 * ni)) $v "
  done
  echo $pairs | awk '{ n = 0; for (i = 1; i < NF; i += 2) if ($(i + 1) > 0) {
      x = log($i); y = log($(i + 1)); sx += x; sy += y; sxx += x * x; sxy += x * y; ++n }
    if (n >= 2) printf "%8.2f\n", (n * sxy - sx * sy) / (n * sxx - sx * sx); else print "" }'
done
echo
echo "Out of core (iswitch 1, imm 5, eps 1e-4): time and peak memory against the whole matrix"
printf '%-8s %10s %12s %14s\n' "nd" "seconds" "peak MiB" "8 nd^2 MiB"
for ni in $ooc_nis; do
  [ -s "$work/ooc$ni.txt" ] || continue
  printf '%-8s %10s %12s %14.1f\n' $((100 * ni)) "$(get "$work/ooc$ni.txt" 'whole run')" \
    "$(get "$work/ooc$ni.txt" 'peak memory')" \
    "$(awk -v n=$((100 * ni)) 'BEGIN { print 8 * n * n / 1048576 }')"
done
