#!/usr/bin/env bash
# Floor reader throughput: a generated floor of 1,000,000 vertices (about 40 MB)
# read by the floor reader and by a plain stream-extraction loop.
#   bash bench/run-floor.sh [build-folder]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
cmake --build "$BUILD" --target floor_reader_bench -j 2 >/dev/null
dir=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && dir=/dev/shm
"$BUILD/bench-bin/floor_reader_bench" --vertices "${FLOOR_BENCH_VERTICES:-1000000}" --rounds 5 --dir "$dir"
echo "earlier: 4.5x the stream loop (issue 25 saw 2.7-3.7x); load average $(cut -d' ' -f1-3 /proc/loadavg)"
