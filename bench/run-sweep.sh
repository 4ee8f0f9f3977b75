#!/usr/bin/env bash
# Many runs: 100 seeds of the largest dialog scenario (99 pairs, 99 adults,
# 99 children = 396 people on the basic floor, default exits) with
# `mvnrt --runs 100 --fps 0` on all cores, against the baseline of the same
# runs one after another (the first SWEEP_BENCH_BASELINE seeds, default 10,
# as single `mvnrt --seed K --fps 0 --threads 1` runs, scaled to 100).
# Prints the wall times, the time of the aggregate and report, and the
# statistics the sweep found.
#   bash bench/run-sweep.sh [build-folder]
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=${1:-build}
case "$BUILD" in /*) ;; *) BUILD="$ROOT/$BUILD" ;; esac
RUNS=${SWEEP_BENCH_RUNS:-100}
BASE=${SWEEP_BENCH_BASELINE:-10}
cmake --build "$BUILD" --target mvnrt escape-build -j 2 >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$ROOT/unchanged" "$work/"
"$BUILD/bin/escape-build" --dir "$work" --pairs 99 --adults 99 --children 99 >/dev/null
cd "$work"
echo "== $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"

echo "== baseline: seeds 1-$BASE one after another (single runs, one thread)"
# Wall time and processor time (user + system, of mvnrt and its runs): on
# a machine shared with other work the processor time is the steadier figure.
/usr/bin/time -f "%e %U %S" -o base.time bash -c '
  for seed in $(seq 1 '"$BASE"'); do
    "'"$BUILD"'/bin/mvnrt" --headless --seed "$seed" --fps 0 --threads 1 --quiet --out "single-$seed"
  done'
read -r wall user sys <base.time
awk -v w="$wall" -v u="$user" -v s="$sys" -v n="$BASE" -v r="$RUNS" \
  'BEGIN { c = u + s; printf "%d runs: %.1f s wall, %.1f s processor (%.2f s a run); %d runs one after another: %.0f s\n", n, w, c, c / n, r, c / n * r }'

echo "== one run's parts (processor seconds, mean of 5): process start, start + setup + results, whole run"
part() {  # label, then mvnrt's arguments
  local label=$1; shift
  /usr/bin/time -f "%U %S" -o part.time bash -c '
    for k in 1 2 3 4 5; do "'"$BUILD"'/bin/mvnrt" "$@" >/dev/null 2>&1 || true; done' _ "$@"
  awk -v l="$label" '{ printf "%-46s %.3f s\n", l, ($1 + $2) / 5 }' part.time
}
part "process start (mvnrt --help)" --help
part "start, setup and results (0.05 s simulated)" --headless --seed 1 --fps 0 --threads 1 --quiet --time-limit 0.05 --out part-short
part "whole run" --headless --seed 1 --fps 0 --threads 1 --quiet --out part-whole

echo "== mvnrt --runs $RUNS --fps 0 (all cores)"
/usr/bin/time -f "%e %U %S" -o sweep.time "$BUILD/bin/mvnrt" --runs "$RUNS" --fps 0 --out sweep
read -r wall user sys <sweep.time
awk -v w="$wall" -v u="$user" -v s="$sys" -v n="$(nproc)" \
  'BEGIN { c = u + s; printf "whole sweep: %.1f s wall, %.1f s processor; on %d idle cores about %.0f s\n", w, c, n, c / n }'
echo "goal: 100 runs in under 20 s on 2 quiet cores; before (issue 25): 23.1 s quiet"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
