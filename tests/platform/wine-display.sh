#!/bin/sh
# An Xvfb for the Wine test run.
#   wine-display.sh start STATE     start Xvfb, keep its number and pid in the folder STATE
#   wine-display.sh run STATE CMD…  run CMD with DISPLAY set to it (unset when there is none)
#   wine-display.sh stop STATE      end Wine's session on it, then Xvfb
set -u
action=$1
state=$2
shift 2

case $action in
start)
  mkdir -p "$state"
  rm -f "$state/display" "$state/pid"
  if ! command -v Xvfb >/dev/null 2>&1; then
    echo "Xvfb is not installed: the window tests will be skipped" >&2
    exit 0
  fi
  # -displayfd: Xvfb picks a free display and writes its number once it accepts clients.
  # Every descriptor is redirected, so that CTest does not wait for Xvfb's output.
  Xvfb -displayfd 9 -nolisten tcp -screen 0 800x600x24 9>"$state/display.tmp" </dev/null >/dev/null 2>&1 &
  echo $! >"$state/pid"
  i=0
  while [ $i -lt 200 ]; do
    if grep -q '^[0-9][0-9]*$' "$state/display.tmp" 2>/dev/null; then
      mv "$state/display.tmp" "$state/display"
      echo "Xvfb on :$(cat "$state/display")"
      exit 0
    fi
    kill -0 "$(cat "$state/pid")" 2>/dev/null || break
    sleep 0.1
    i=$((i + 1))
  done
  echo "Xvfb did not start" >&2
  exit 1
  ;;
run)
  if [ -s "$state/display" ]; then
    DISPLAY=":$(cat "$state/display")"
    export DISPLAY
  else
    unset DISPLAY
  fi
  exec "$@"
  ;;
stop)
  # Wine's processes of this session hold the display: end them first.
  if command -v wineserver >/dev/null 2>&1; then
    wineserver -k >/dev/null 2>&1 || true
  fi
  if [ -s "$state/pid" ]; then
    pid=$(cat "$state/pid")
    kill "$pid" 2>/dev/null
    i=0
    while kill -0 "$pid" 2>/dev/null && [ $i -lt 50 ]; do
      sleep 0.1
      i=$((i + 1))
    done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -rf "$state"
  exit 0
  ;;
*)
  echo "usage: $0 start|run|stop STATE [command...]" >&2
  exit 2
  ;;
esac
