#!/usr/bin/env bash
# mvnrt with a display shows a refused input in a message box; closing the
# box ends mvnrt with status 2 (bad input), never a crash of the window's
# application object at exit. The box is closed as a user would, with
# xdotool: its Close button (Return) and Escape.
# Exit status: 0 passed, 1 failed, 77 skipped (no display, no xdotool).
# Usage: error_box_test.sh MVNRT
set -u
MVNRT=$1
skip() {
  echo "SKIPPED: $*"
  exit 77
}
[ -n "${DISPLAY:-}" ] || skip "no display (the tests run under xvfb-run)"
command -v xdotool >/dev/null 2>&1 || skip "xdotool is not installed (scripts/install-deps.sh installs it)"

T=$(mktemp -d /tmp/mvnrt-error-box.XXXXXX)
PID=""
cleanup() {
  [ -n "$PID" ] && kill "$PID" 2>/dev/null
  rm -rf "$T"
}
trap cleanup EXIT
cd "$T" || exit 1
echo '{"walkable": 3}' >bad.json

failed=0
# $1: how the box is closed; the rest: mvnrt's arguments.
try() {
  local how=$1
  shift
  local win="" attempt
  # A display busy with other tests may refuse a connection now and then:
  # that start is tried again (it is not what is tested here).
  for attempt in 1 2 3; do
    QT_QPA_PLATFORM=xcb "$MVNRT" "$@" >out.txt 2>err.txt &
    PID=$!
    for _ in $(seq 150); do
      win=$(xdotool search --onlyvisible --pid "$PID" 2>/dev/null | head -n 1)
      [ -n "$win" ] && break
      kill -0 "$PID" 2>/dev/null || break
      sleep 0.1
    done
    [ -n "$win" ] && break
    grep -q "could not connect to display" err.txt || break
    wait "$PID" 2>/dev/null
    sleep 1
  done
  if [ -z "$win" ]; then
    echo "FAILED ($how, $*): no message box appeared"
    cat err.txt
    failed=1
    kill "$PID" 2>/dev/null
    wait "$PID" 2>/dev/null
    PID=""
    return
  fi
  sleep 0.3
  local key=Return
  case $how in
    close-button) key=Return ;;
    escape) key=Escape ;;
  esac
  # No window manager under Xvfb: the box gets the focus directly.
  xdotool windowfocus --sync "$win" 2>/dev/null
  xdotool key --clearmodifiers "$key"
  local status=0
  for _ in $(seq 100); do kill -0 "$PID" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$PID" 2>/dev/null; then
    echo "FAILED ($how, $*): mvnrt still runs after the box was closed"
    failed=1
    kill "$PID"
  fi
  wait "$PID"
  status=$?
  PID=""
  if [ "$status" -ne 2 ]; then
    echo "FAILED ($how, $*): status $status, not 2"
    cat err.txt
    failed=1
  elif ! grep -q "bad.json\|no-such-folder" err.txt; then
    echo "FAILED ($how, $*): the message does not name the input"
    cat err.txt
    failed=1
  else
    echo "ok: $how, $*: status 2"
  fi
}

try close-button --scenario bad.json
try escape --scenario bad.json
try close-button --replay no-such-folder
exit $failed
