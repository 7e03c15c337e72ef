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

# Whole in-core runs of the capacity case with ni nodes on each element (nd = 100 ni).
for ni in $nis; do
  sed -e "s/^\([0-9]* 3 [13] [0-9]*\) 95 /\1 $ni /" bench/capacity.inp > "$work/cap$ni.inp"
  (cd "$work" && "$root/build/ostrel-phases" $((100 * ni)) "$root/build/ostrel" "cap$ni.inp" \
     "cap$ni.osl" > "phases$ni.txt")
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
# The fill against a tight loop of the same kernels, and the out-of-core passes.
build/ostrel-bench --benchmark_filter='BM_fill_rate|BM_kernel_tight_loop|BM_lockstep' \
  --benchmark_min_time=1 --benchmark_format=csv 2>/dev/null > "$work/bench.csv" || true

get() { awk -v k="$2" 'index($0, k) == 1 { print $NF }' "$1"; }
last=$(echo $nis | awk '{print $NF}')
full="$work/phases$last.txt"
echo "OSTREL speed and memory ($(date -u +%F), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'))"
echo
echo "Capacity case, nd = $((100 * last)), 49 conductors, in core"
printf '%-34s %10s %10s\n' "figure" "measured" "target"
printf '%-34s %10s %10s\n' "whole run / dgetrf (same order)" "$(get "$full" 'run / dgetrf')" "<= 1.30"
printf '%-34s %10s %10s\n' "solutions / factorisation" "$(get "$full" 'solutions / LU')" "<= 0.10"
printf '%-34s %10s %10s\n' "charges / whole run" "$(get "$full" 'charges / run')" "<= 0.05"
printf '%-34s %10s %10s\n' "peak memory / 8 nd^2" "$(get "$full" 'peak / 8 nd^2')" "<= 1.15"
for name in fill_vs_tight_loop fill_two_threads_speedup lockstep_pass_ratio; do
  v=$(tr -d '"' < "$work/bench.csv" | awk -F, -v n="$name" 'NR == 1 { for (i = 1; i <= NF; ++i) col[$i] = i }
      NR > 1 && (n in col) && $col[n] != "" { print $col[n]; exit }')
  [ -n "$v" ] && printf '%-34s %10.3f\n' "$name" "$v"
done
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
