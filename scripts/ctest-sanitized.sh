#!/usr/bin/env bash
# Runs ctest for the sanitizer build. LeakSanitizer's own stop-the-world
# tracer now and then crashes at process exit ("Tracer caught signal 11",
# "LeakSanitizer has encountered a fatal error") after a test has passed,
# most often in the GUI tests whose Mesa and X threads are still winding
# down. That is the checker failing, not the test, so when, and only when,
# the log shows that signature, the failed tests are run once more; a real
# failure fails again and still fails the run.
# Usage: ctest-sanitized.sh [ctest arguments...]   (from the build folder)
set -u
log=$(mktemp)
trap 'rm -f "$log"' EXIT
ctest "$@" 2>&1 | tee "$log"
rc=${PIPESTATUS[0]}
if [ "$rc" -ne 0 ] && grep -q "LeakSanitizer has encountered a fatal error" "$log"; then
    echo "LeakSanitizer's tracer crashed (see above); running the failed tests once more."
    ctest --rerun-failed --output-on-failure
    rc=$?
fi
exit "$rc"
