#!/usr/bin/env bash
# Reading a 50,000-entity DXF plan (a hall with 12,499 pillars of four LINEs
# each), made by tests/cad/make_test_plans.py with python3-ezdxf.
#   bash bench/run-cad.sh [build-folder]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
cmake --build "$BUILD" --target cad_bench -j 2 >/dev/null
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
/usr/bin/python3 tests/cad/make_test_plans.py "$dir" --large
"$BUILD/bench-bin/cad_bench" "$dir/large.dxf" --rounds 5
