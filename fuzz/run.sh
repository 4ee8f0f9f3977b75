#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer + ASan + UBSan) in build-fuzz
# and runs each of them for a bounded time.
#   FUZZ_SECONDS   seconds per target (default 60)
#   FUZZ_TARGETS   space-separated names to run (default: all in fuzz/CMakeLists.txt)
#   FUZZ_BUILD     build folder (default build-fuzz)
#   FUZZ_JOBS      build jobs (default 2)
# The working corpus of each target grows in <build>/corpus/<target>, seeded
# from fuzz/corpus/<target> (and, for the project reader, from the golden
# files of the tests, tests/golden); a finding is written to <build>/artifacts/
# and makes the script fail.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=${FUZZ_BUILD:-build-fuzz}
case "$BUILD" in /*) ;; *) BUILD="$ROOT/$BUILD" ;; esac
SECONDS_EACH=${FUZZ_SECONDS:-60}
JOBS=${FUZZ_JOBS:-2}

cmake -S fuzz -B "$BUILD" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=${FUZZ_TARGETS:-$(cat "$BUILD/fuzz-targets.txt")}
# shellcheck disable=SC2086
cmake --build "$BUILD" -j "$JOBS" --target $targets

mkdir -p "$BUILD/artifacts"
status=0
for t in $targets; do
  corpus="$BUILD/corpus/$t"
  mkdir -p "$corpus"
  seeds=()
  [ -d "fuzz/corpus/$t" ] && seeds=("$ROOT/fuzz/corpus/$t")
  [ "$t" = fuzz_project_reader ] && seeds+=("$ROOT/tests/golden")
  echo "== $t: ${SECONDS_EACH}s"
  if "$BUILD/bin/$t" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
       -print_final_stats=1 -artifact_prefix="$BUILD/artifacts/$t-" "$corpus" "${seeds[@]}" \
       >"$BUILD/$t.log" 2>&1; then
    grep -E '^(#[0-9]+.*DONE|Done [0-9]+ runs|stat::number_of_executed_units)' "$BUILD/$t.log" | tail -n 2
    echo "   $t: no finding"
  else
    status=1
    tail -n 40 "$BUILD/$t.log"
    echo "   $t: FINDING (see $BUILD/artifacts and $BUILD/$t.log)"
  fi
done
exit $status
