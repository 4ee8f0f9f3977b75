#!/usr/bin/env bash
# Crowd simulation throughput:
#  1. agent-updates per second for 400, 2,000 and 10,000 people in a square
#     room at 1 person per m^2 with a 2 m door in each wall (crowd_bench, 4
#     simulated seconds each, the fastest of three runs), on 1 and 2 threads;
#  2. the simulated-to-wall time ratio of mvnrt on the largest scenario the
#     dialog can make: 99 pairs, 99 adults and 99 children (396 people) on the
#     basic floor, headless, without trajectories, for three seeds;
#  3. the large halls: 10,000 people in 100 m x 100 m and 100,000 in
#     320 m x 320 m at 1 person per m^2, a 2 m door in each wall: placing,
#     setup, ns per agent-update and times real time on 1 and 2 threads
#     (1 simulated second each; CROWD_BENCH_LARGE=0 leaves them out);
#  4. the figures against the bars this machine is held to.
#   bash bench/run-crowd.sh [build-folder]
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=${1:-build}
case "$BUILD" in /*) ;; *) BUILD="$ROOT/$BUILD" ;; esac
cmake --build "$BUILD" --target crowd_bench mvnrt escape-build -j 2 >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== agent-updates per second (1 person per m^2, a 2 m door in each wall)"
header=1
for threads in ${CROWD_BENCH_THREADS:-1 2}; do
  "$BUILD/bench-bin/crowd_bench" --people "${CROWD_BENCH_PEOPLE:-400,2000,10000}" \
    --seconds "${CROWD_BENCH_SECONDS:-4}" --threads "$threads" | tail -n +$((2 - header)) |
    tee -a "$work/rooms"
  header=0
done

echo
echo "== mvnrt on the largest dialog scenario (396 people on the basic floor)"
cp -r "$ROOT/unchanged" "$work/"
"$BUILD/bin/escape-build" --dir "$work" --pairs 99 --adults 99 --children 99 >/dev/null
for seed in ${CROWD_BENCH_SEEDS:-1 2 3}; do
  (cd "$work" && "$BUILD/bin/mvnrt" --headless --seed "$seed" ${CROWD_BENCH_THREADS:+--threads "${CROWD_BENCH_THREADS%% *}"} --fps 0 --time-limit 900 --out "results-$seed" |
     grep -E '^(Evacuation|Still inside: [0-9]+|Simulated)' | sed -e "s/^/seed $seed: /" -e 's/: [0-9]* ([a-z].*$//')
done

if [ "${CROWD_BENCH_LARGE:-1}" != 0 ]; then
  echo
  echo "== large halls (1 person per m^2, a 2 m door in each wall, 1 simulated second)"
  header=1
  for threads in 1 2; do
    for hall in 100:10000 320:100000; do
      "$BUILD/bench-bin/crowd_bench" --side "${hall%%:*}" --people "${hall##*:}" --seconds 1 --repeat 1 \
        --threads "$threads" | tail -n +$((2 - header)) | tee -a "$work/halls"
      header=0
    done
  done

  echo
  echo "== bars (2 cores)"
  # Columns: people threads room place setup simulated rate ns realtime.
  awk '
    FNR == 1 && $1 == "people" { next }
    FILENAME ~ /rooms$/ { ns[$2, $1] = $8; rt[$2, $1] = $9 }
    FILENAME ~ /halls$/ && $1 == 100000 { ns[$2, $1] = $8; rt[$2, $1] = $9; setup[$2] = $4 + $5 }
    function verdict(ok) { return ok ? "met" : "MISSED" }
    END {
      printf "10,000 people, 2 threads: %.1f ns per update (bar 55), %.1fx real time (bar 18): %s\n",
             ns[2, 10000], rt[2, 10000], verdict(ns[2, 10000] <= 55 && rt[2, 10000] >= 18)
      printf "10,000 people, 1 thread: %.1f ns per update (bar 90): %s\n",
             ns[1, 10000], verdict(ns[1, 10000] <= 90)
      printf "100,000 people: %.2fx real time on 2 threads, %.2fx on 1 (bar 1): %s\n",
             rt[2, 100000], rt[1, 100000], verdict(rt[2, 100000] >= 1)
      printf "100,000-person hall: placing and setup %.2f s on 2 threads (bar 3): %s\n",
             setup[2], verdict(setup[2] < 3)
      for (t = 1; t <= 2; ++t) {
        lo = 1e30; hi = 0
        split("400 2000 10000 100000", sizes, " ")
        for (k = 1; k <= 4; ++k) {
          v = ns[t, sizes[k]]
          if (v == "") continue
          if (v < lo) lo = v
          if (v > hi) hi = v
        }
        printf "ns per update from 400 to 100,000 people, %d thread%s: %.1f-%.1f, a factor %.2f (bar 1.5): %s\n",
               t, t == 1 ? "" : "s", lo, hi, hi / lo, verdict(hi / lo <= 1.5)
      }
    }' "$work/rooms" "$work/halls"
fi
