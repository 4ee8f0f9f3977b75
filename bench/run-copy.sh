#!/usr/bin/env bash
# Copy speed of the project build against cp, and the time of a whole build.
#   bash bench/run-copy.sh [BUILD]      (default BUILD: build)
# Makes a 200 MB floor file, copies it with cp, with TemplateCopy alone
# (copy_driver) and with a whole escape-build --floor, best of three each,
# and prints the figures and the ratios (goal: TemplateCopy within 2x of cp).
# Then times 50 builds of the default scenario (goal: under 20 ms each).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
BIN=$BUILD/bin
BENCH_BIN=$BUILD/bench-bin
for program in "$BIN/escape-build" "$BENCH_BIN/copy_driver"; do
  if [ ! -x "$program" ]; then
    echo "run-copy: $program is missing; build it first:" >&2
    echo "  cmake --build $BUILD --target escape-build copy_driver" >&2
    exit 1
  fi
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/escape-copy-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
cp -r unchanged "$WORK/"
FLOOR=$WORK/big-floor.kvx
# The basic floor first (a usable mesh, so escape-build keeps this floor),
# then 200 MB that the reader never reaches.
{
  cat unchanged/floor.kvx
  printf '; 200 MB of padding for the copy benchmark\r\n'
  head -c $((200 * 1024 * 1024)) /dev/urandom
} > "$FLOOR"
SIZE=$(stat -c %s "$FLOOR")

now() { date +%s.%N; }
best=""
keep_best() { if [ -z "$best" ] || awk "BEGIN{exit !($1 < $best)}"; then best=$1; fi; }

best=""
for _ in 1 2 3; do
  rm -f "$WORK/cp-copy.kvx"; sync
  t0=$(now); cp "$FLOOR" "$WORK/cp-copy.kvx"; t1=$(now)
  keep_best "$(awk "BEGIN{print $t1 - $t0}")"
done
CP=$best

best=""
for _ in 1 2 3; do
  rm -f "$WORK/tc-copy.kvx"; sync
  keep_best "$("$BENCH_BIN/copy_driver" "$FLOOR" "$WORK/tc-copy.kvx")"
done
TC=$best
cmp "$FLOOR" "$WORK/tc-copy.kvx"

best=""
for _ in 1 2 3; do
  rm -rf "$WORK/bProj"; sync
  t0=$(now)
  "$BIN/escape-build" --dir "$WORK" --floor "$FLOOR" --scale 70 > /dev/null
  t1=$(now)
  keep_best "$(awk "BEGIN{print $t1 - $t0}")"
done
EB=$best
cmp "$FLOOR" "$WORK/bProj/Content/Actors/Floor/Floor.kvx"

printf 'floor file:                      %d bytes\n' "$SIZE"
printf 'cp:                              %.3f s\n' "$CP"
printf 'TemplateCopy (copy_driver):      %.3f s  (%.2fx cp)\n' "$TC" "$(awk "BEGIN{print $TC / $CP}")"
printf 'escape-build --floor (25 files): %.3f s  (%.2fx cp)\n' "$EB" "$(awk "BEGIN{print $EB / $CP}")"
rm -f "$FLOOR" "$WORK/cp-copy.kvx" "$WORK/tc-copy.kvx"

RUNS=50
rm -rf "$WORK/bProj"
t0=$(now)
for _ in $(seq $RUNS); do "$BIN/escape-build" --dir "$WORK" > /dev/null; done
t1=$(now)
printf 'default scenario, escape-build:  %.2f ms per run (%d runs, process start included)\n' \
  "$(awk "BEGIN{print ($t1 - $t0) * 1000 / $RUNS}")" "$RUNS"
if [ -x "$BENCH_BIN/generator_bench" ]; then
  "$BENCH_BIN/generator_bench" --benchmark_min_time=1 2>/dev/null | grep BM_ || true
fi
