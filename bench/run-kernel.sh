#!/usr/bin/env bash
# The crowd step against the floor of a bare social-force step
# (bench/bare_kernel.cpp): ns per agent-update of crowd_bench and of
# bare_kernel at 10,000 and 100,000 people (1 person per m^2, a door in each
# wall), on 1 and 2 threads, measured one right after the other, and their
# ratio (goal: within 1.5, aim 1.2). 1 simulated second each (KERNEL_BENCH_SECONDS),
# the fastest of KERNEL_BENCH_REPEAT (default 2) runs.
#   bash bench/run-kernel.sh [build-folder]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
cmake --build "$BUILD" --target crowd_bench bare_kernel -j 2 >/dev/null
SECONDS_SIM=${KERNEL_BENCH_SECONDS:-1}
REPEAT=${KERNEL_BENCH_REPEAT:-2}
echo "== load before: $(uptime | sed 's/.*load average: //')"
printf "%8s %8s %14s %14s %8s\n" people threads "step (ns)" "bare (ns)" ratio
for threads in 1 2; do
  for people in ${KERNEL_BENCH_PEOPLE:-10000 100000}; do
    step=$("$BUILD/bench-bin/crowd_bench" --people "$people" --seconds "$SECONDS_SIM" --repeat "$REPEAT" \
             --threads "$threads" | awk 'NR == 2 { print $8 }')
    bare=$("$BUILD/bench-bin/bare_kernel" --people "$people" --seconds "$SECONDS_SIM" --repeat "$REPEAT" \
             --threads "$threads" | awk 'NR == 2 { print $3 }')
    awk -v n="$people" -v t="$threads" -v s="$step" -v b="$bare" \
      'BEGIN { printf "%8d %8d %14.1f %14.1f %8.2f\n", n, t, s, b, s / b }'
  done
done
echo "== load after: $(uptime | sed 's/.*load average: //')"
echo "earlier (issue 25, quiet machine): 10,000 people 44.9 ns on 2 threads, 94.5-102.5 on 1; bare kernel 20.7 ns on 2 threads: 2.2x"
