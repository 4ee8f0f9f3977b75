#!/usr/bin/env bash
# Frame time of the floor plan view with a 1,000,000-vertex floor, under Xvfb
# with Mesa's software OpenGL.
set -euo pipefail
BUILD=${1:-build}
BIN="$BUILD/bench-bin/floorview_bench"
if [ ! -x "$BIN" ]; then
  echo "run-view: $BIN not built (GUI off?); skipped"
  exit 0
fi
export LIBGL_ALWAYS_SOFTWARE=1 QT_QPA_PLATFORM=xcb
if [ -n "${DISPLAY:-}" ]; then
  "$BIN" "${VIEW_BENCH_VERTICES:-1000000}"
else
  xvfb-run -a -s "-screen 0 1280x1024x24" "$BIN" "${VIEW_BENCH_VERTICES:-1000000}"
fi
