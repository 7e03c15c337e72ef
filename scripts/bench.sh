#!/usr/bin/env bash
# Speed and memory at full capacity: builds (installing what is missing), runs the capacity case
# (bench/capacity.inp: 49 coated wires in a shield, 100 elements) at several orders in core and
# out of core, the windowed program on the full case, and the benchmarks of the fill and of the
# out-of-core passes, then prints one table of the targets, the growth of each phase with nd
# (fitted exponent) and the out-of-core runs.
# Usage: scripts/bench.sh [node counts per element, default "24 48 71 95"]
# Run it on a quiet machine: every figure is a ratio measured in one run, but a second process
# on the same cores distorts them all. The environment goes to every run: OPENBLAS_CORETYPE, for
# one, overrides the kernels that the programs ask OpenBLAS for.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh >/dev/null
root=$PWD
nis=${1:-"24 48 71 95"}
work=$(mktemp -d)
xvfb=""
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

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
full="$work/phases$last.txt"

# The windowed program on the largest case, three times, on a virtual X server when there is
# one (otherwise on Qt's offscreen platform), each run after one of the console program timed
# the same way: the ratio of the medians of their wall times.
gui_times="" console_times=""
seconds_of() { (TIMEFORMAT=%R && { time "$@" >/dev/null 2>&1; } 2>&1); }
if [ -x build/gui/ostrel-gui ]; then
  platform=(env QT_QPA_PLATFORM=offscreen)
  if command -v Xvfb >/dev/null; then
    for display in $(seq 90 99); do
      [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ] || break
    done
    Xvfb ":$display" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
    platform=(env DISPLAY=":$display")
  fi
  mkdir "$work/gui" "$work/console"
  cp "$work/cap$last.inp" "$work/gui/"
  cp "$work/cap$last.inp" "$work/console/"
  for r in 1 2 3; do
    console_times+="$(cd "$work/console" && seconds_of "$root/build/ostrel" "cap$last.inp") "
    t=$(cd "$work/gui" &&
        seconds_of "${platform[@]}" "$root/build/gui/ostrel-gui" --snapshot "plots$r.png" \
          "cap$last.inp")
    [ -s "$work/gui/plots$r.png" ] && gui_times+="$t "
  done
fi

# Out-of-core runs at their defaults (all conductors in lockstep) at two small orders: peak
# memory against the whole matrix, and the passes over the scratch file.
ooc_nis="12 24"
for ni in $ooc_nis; do
  sed -e "s/^\([0-9]* 3 [13] [0-9]*\) 95 /\1 $ni /" \
      -e "s|^0 /                 iswitch.*|1 /|" bench/capacity.inp > "$work/ooc$ni.inp"
  (cd "$work" && "$root/build/ostrel-phases" $((100 * ni)) "$root/build/ostrel" "ooc$ni.inp" \
     "ooc$ni.osl" > "ooc$ni.txt") || true
  # The solutions' passes and the refinement's together.
  awk '/passes over the scratch file/ { s += $2 } END { print s }' "$work/ostrel.log" \
    > "$work/ooc$ni.passes"
done
# The out-of-core run at its defaults (imm 40, itlim 50, eps 1e-9) of 4000 unknowns: passes over
# the scratch file for all 49 conductors, and time against the in-core run of the same problem.
sed -e "s/^\([0-9]* 3 [13] [0-9]*\) 95 /\1 40 /" -e "s|^0 /                 iswitch.*|1 /|" \
  bench/capacity.inp > "$work/default40.inp"
mkdir "$work/default"
(cd "$work/default" && "$root/build/ostrel-phases" 4000 "$root/build/ostrel" ../default40.inp \
   default40.osl > ../default40.txt) || true
passes=$(awk '/passes over the scratch file for/ { print $2 }' "$work/default/ostrel.log" 2>/dev/null)
refine=$(awk '/passes over the scratch file to refine/ { print $2 }' "$work/default/ostrel.log" \
  2>/dev/null)
sed -e "s/^\([0-9]* 3 [13] [0-9]*\) 95 /\1 40 /" bench/capacity.inp > "$work/core40.inp"
(cd "$work" && "$root/build/ostrel-phases" 4000 "$root/build/ostrel" core40.inp core40.osl \
   > core40.txt) || true

# The fill against a tight loop of the same kernels (on one and two threads), and the
# out-of-core passes of the conductors in lockstep against one by one.
build/ostrel-bench --benchmark_filter='BM_fill_capacity|BM_kernel_tight_loop|BM_lockstep_run' \
  2>/dev/null > "$work/bench.txt" || true

get() { awk -v k="$2" 'index($0, k "  ") == 1 { print $NF }' "$1"; }
# A figure of a benchmark's console line: bench NAME COUNTER (a counter "COUNTER=value"), or
# bench NAME time (the time, the second field).
bench() {
  awk -v n="$1" -v k="$2" '$1 == n {
      if (k == "time") { print $2; exit }
      for (i = 2; i <= NF; ++i) if (index($i, k "=") == 1) { print substr($i, length(k) + 2); exit } }' \
    "$work/bench.txt"
}
row() { printf '%-40s %10.3f %10s\n' "$1" "${2:-nan}" "$3"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a > 0 && b > 0) print a / b; else print "nan" }'; }
median() { echo "$@" | tr ' ' '\n' | grep . | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

flags=$(grep -m1 '^flags' /proc/cpuinfo)
unit="SSE2"
[[ " $flags " == *" avx2 "* ]] && unit="AVX2"
[[ " $flags " == *" avx512f "* ]] && unit="AVX-512"
kernels=$(awk '/^blas kernels/ { print $NF }' "$full")
echo "OSTREL speed and memory ($(date -u +%F), $(nproc) cores," \
  "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'))"
echo "Vector unit $unit; OpenBLAS kernels $kernels; transparent huge pages" \
  "$(sed 's/.*\[\(.*\)\].*/\1/' /sys/kernel/mm/transparent_hugepage/enabled 2>/dev/null || echo "-")"
case "$kernels" in
  Prescott | Core2 | Nehalem | Penryn | Dunnington | Atom)
    [ "$unit" = "SSE2" ] ||
      echo "Note: OpenBLAS runs its generic $kernels kernels on this $unit processor (is" \
           "OPENBLAS_CORETYPE set?); the factorisation and dgetrf then run several times slower" \
           "than with Haswell (AVX2) or SkylakeX (AVX-512)." ;;
esac
echo
echo "Capacity case in core, nd = $((100 * last)), 49 conductors (median of 3 runs), and benchmarks"
printf '%-40s %10s %10s\n' "figure" "measured" "target"
runs=$(for f in "$work"/phases$last.[0-9]*.txt; do get "$f" 'run / dgetrf'; done | sort -g | xargs)
row "whole process / dgetrf (same order)" "$(get "$full" 'run / dgetrf')" "<= 1.30"
printf '%-40s %21s\n' "  the three runs" "$runs"
row "  taking the matrix's pages / whole" "$(get "$full" 'pages / run')" ""
row "solutions / factorisation" "$(get "$full" 'solutions / LU')" "<= 0.10"
row "charges / whole run" "$(get "$full" 'charges / run')" "<= 0.05"
row "peak memory / 8 nd^2" "$(get "$full" 'peak / 8 nd^2')" "<= 1.15"
row "windowed / console, whole process" \
  "$(ratio "$(median $gui_times)" "$(median $console_times)")" "<= 1.15"
row "fill / tight loop, 2 threads" "$(bench BM_fill_capacity/2/iterations:5/manual_time vs_tight)" \
  ">= 0.70"
row "  the same, first fill (fresh pages)" \
  "$(bench BM_fill_capacity/2/iterations:5/manual_time vs_tight_first)" ""
row "fill / tight loop, 1 thread" "$(bench BM_fill_capacity/1/iterations:5/manual_time vs_tight)" ""
row "fill speed-up, 2 threads / 1" \
  "$(bench BM_fill_capacity/2/iterations:5/manual_time vs_one_thread)" ">= 1.80"
row "  the same, tight loop" \
  "$(bench BM_fill_capacity/2/iterations:5/manual_time tight_vs_one_thread)" ""
row "out of core: passes 1-by-1 / lockstep" \
  "$(bench BM_lockstep_run/iterations:1/real_time lockstep_pass_ratio)" "~ m"
row "out of core: time 1-by-1 / lockstep" \
  "$(bench BM_lockstep_run/iterations:1/real_time lockstep_speedup)" ""
echo
echo "Seconds per phase against nd, and the exponent p of a least-squares fit t = c nd^p"
printf '%-18s' "phase"
for ni in $nis; do printf '%9s' "$((100 * ni))"; done
printf '%8s\n' "p"
for phase in "reading+picture" "matrix pages" "fill" "factorisation" "solutions" "charges" \
             "output" "whole run" "dgetrf" "peak memory"; do
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
echo "Out of core at its defaults: time, passes and peak memory against the whole matrix"
printf '%-8s %10s %8s %12s %14s\n' "nd" "seconds" "passes" "peak MiB" "8 nd^2 MiB"
for ni in $ooc_nis; do
  [ -s "$work/ooc$ni.txt" ] || continue
  printf '%-8s %10s %8s %12s %14.1f\n' $((100 * ni)) "$(get "$work/ooc$ni.txt" 'whole run')" \
    "$(cat "$work/ooc$ni.passes")" "$(get "$work/ooc$ni.txt" 'peak memory')" \
    "$(awk -v n=$((100 * ni)) 'BEGIN { print 8 * n * n / 1048576 }')"
done
echo
echo "Out of core at its defaults (imm 40, itlim 50, eps 1e-9), nd = 4000, 49 conductors"
ooc_s=$(get "$work/default40.txt" 'whole run')
core_s=$(get "$work/core40.txt" 'whole run')
printf '%-40s %10s\n' "passes over the scratch file" "${passes:-nan}"
printf '%-40s %10s\n' "  per conductor" "$(ratio "${passes:-0}" 49)"
printf '%-40s %10s\n' "passes to refine the charges" "${refine:-nan}"
printf '%-40s %10s\n' "seconds out of core / in core" "${ooc_s:-nan} / ${core_s:-nan}"
printf '%-40s %10s\n' "  ratio" "$(ratio "${ooc_s:-0}" "${core_s:-0}")"
printf '%-40s %10s\n' "peak MiB out of core / in core" \
  "$(get "$work/default40.txt" 'peak memory') / $(get "$work/core40.txt" 'peak memory')"
