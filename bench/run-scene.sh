#!/usr/bin/env bash
# Frame time of the scene renderer (the live window's and the movies'
# drawing): 396 and 10,000 people at 1280 x 720 with both cameras, offscreen
# through EGL with Mesa's software OpenGL. No display needed.
set -euo pipefail
BUILD=${1:-build}
BIN="$BUILD/bench-bin/scene_bench"
if [ ! -x "$BIN" ]; then
  echo "run-scene: $BIN not built (GUI off?); skipped"
  exit 0
fi
LIBGL_ALWAYS_SOFTWARE=1 "$BIN"
