#!/usr/bin/env bash
# Recording the largest dialog scenario (99 pairs, 99 adults, 99 children:
# 396 people on the basic floor, default exits, seed 1) headless:
#  1. the run without recording (the baseline),
#  2. "Create KVX": the motion file,
#  3. "Create AVI": the 1280x720 movie,
# each with its wall-clock and CPU seconds, the movie's split (drawing on the
# simulation's thread, encoding on its own) and what ffprobe says of it.
#   bash bench/run-record.sh [build-folder]
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=${1:-build}
case "$BUILD" in /*) ;; *) BUILD="$ROOT/$BUILD" ;; esac
cmake --build "$BUILD" --target mvnrt escape-build -j 2 >/dev/null
export LIBGL_ALWAYS_SOFTWARE=1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for record in none kvx avi; do
  mkdir -p "$work/$record"
  cp -r "$ROOT/unchanged" "$work/$record/"
  "$BUILD/bin/escape-build" --dir "$work/$record" --pairs 99 --adults 99 --children 99 --record "$record" >/dev/null
  echo "== record $record"
  (cd "$work/$record" && env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/time -f "wall %e s, CPU %U s user + %S s system" \
     "$BUILD/bin/mvnrt" --seed 1 2>&1 | grep -E '^(Evacuation|Simulated|Recorded|wall)') | tee "$work/$record.out"
done
# The movie's pace against its goal and the figures before the background
# cache and our own colour conversion (issue 25).
awk '/^Simulated/ { for (i = 1; i <= NF; ++i) if ($i == "in") { sim = $2; wall = $(i + 1) } }
     END { if (wall > 0) printf "movie: %.1f times real time (goal 15, aim 30; before: 8.5 on a quiet machine, 1.4 at load 7)\n", sim / wall }' \
  "$work/avi.out"
if command -v ffprobe >/dev/null; then
  echo "== ffprobe test.avi"
  ffprobe -v error -select_streams v:0 -count_packets \
    -show_entries stream=codec_name,pix_fmt,width,height,avg_frame_rate,nb_read_packets:format=duration,size \
    -of default=noprint_wrappers=1 "$work/avi/test.avi"
fi
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
