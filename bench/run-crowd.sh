#!/usr/bin/env bash
# Crowd simulation throughput:
#  1. agent-updates per second for 400, 2,000 and 10,000 people in a large
#     square room at 1 person per m^2 (crowd_bench, 4 simulated seconds each,
#     the fastest of three runs);
#  2. the simulated-to-wall time ratio of mvnrt on the largest scenario the
#     dialog can make: 99 pairs, 99 adults and 99 children (396 people) on the
#     basic floor, headless, without trajectories, for three seeds.
#  3. the large halls: 10,000 people in 100 m x 100 m and 100,000 in
#     320 m x 320 m at 1 person per m^2, a 2 m door in each wall: placing,
#     setup, ns per agent-update and times real time on 1 and 2 threads
#     (1 simulated second each; CROWD_BENCH_LARGE=0 leaves them out).
#   Parts 1 and 2 on one thread unless CROWD_BENCH_THREADS=2.
#   bash bench/run-crowd.sh [build-folder]
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=${1:-build}
case "$BUILD" in /*) ;; *) BUILD="$ROOT/$BUILD" ;; esac
cmake --build "$BUILD" --target crowd_bench mvnrt escape-build -j 2 >/dev/null

echo "== agent-updates per second (1 person per m^2, a 2 m door in each wall)"
"$BUILD/bench-bin/crowd_bench" --people "${CROWD_BENCH_PEOPLE:-400,2000,10000}" --seconds "${CROWD_BENCH_SECONDS:-4}" --threads "${CROWD_BENCH_THREADS:-1}"

echo
echo "== mvnrt on the largest dialog scenario (396 people on the basic floor)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$ROOT/unchanged" "$work/"
"$BUILD/bin/escape-build" --dir "$work" --pairs 99 --adults 99 --children 99 >/dev/null
for seed in ${CROWD_BENCH_SEEDS:-1 2 3}; do
  (cd "$work" && "$BUILD/bin/mvnrt" --headless --seed "$seed" ${CROWD_BENCH_THREADS:+--threads "$CROWD_BENCH_THREADS"} --fps 0 --time-limit 900 --out "results-$seed" |
     grep -E '^(Evacuation|Still inside: [0-9]+|Simulated)' | sed -e "s/^/seed $seed: /" -e 's/: [0-9]* ([a-z].*$//')
done

if [ "${CROWD_BENCH_LARGE:-1}" != 0 ]; then
  echo
  echo "== large halls (1 person per m^2, a 2 m door in each wall, 1 simulated second)"
  header=1
  for threads in 1 2; do
    for hall in 100:10000 320:100000; do
      "$BUILD/bench-bin/crowd_bench" --side "${hall%%:*}" --people "${hall##*:}" --seconds 1 --repeat 1 \
        --threads "$threads" | tail -n +$((2 - header))
      header=0
    done
  done
fi
