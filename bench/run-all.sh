#!/usr/bin/env bash
# Runs every benchmark script bench/run-*.sh against the build folder given.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
status=0
for script in bench/run-*.sh; do
  [ -e "$script" ] || continue
  echo "== $script (load average: $(uptime | sed 's/.*load average: //'))"
  bash "$script" "$BUILD" || status=1
done
exit $status
