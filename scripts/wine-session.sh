#!/usr/bin/env bash
# Prepares a build tree's Wine prefix and keeps Wine's server (and, without a display, an Xvfb)
# running around a batch of Windows test runs.
#   scripts/wine-session.sh start BUILD_DIR   prints the DISPLAY it uses
#   scripts/wine-session.sh stop BUILD_DIR
set -euo pipefail
action=$1
build=$(cd "$2" && pwd)
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
wine=/usr/lib/wine/wine64
state=$build/wine-session

# The process that holds X display number $1, from its lock file; empty when there is none.
lock_owner() {
  tr -d '[:space:]' 2>/dev/null < "/tmp/.X$1-lock" || true
}

# Whether the Xvfb recorded in the state folder is still ours and alive: the display's lock file
# names its process. A bare process id is not enough: once that Xvfb has gone, the number may
# belong to anything, another tree's X server or Wine server included.
ours() {
  [ -f "$state/xvfb.pid" ] && [ -f "$state/display" ] || return 1
  local pid display
  pid=$(cat "$state/xvfb.pid")
  display=$(cat "$state/display")
  [ "$(lock_owner "${display#:}")" = "$pid" ]
}

# Starts an Xvfb on a free display, away from the low numbers that a display just given up would
# be handed out again from: several build trees may run tests at once.
start_xvfb() {
  local n pid
  for _ in $(seq 50); do
    n=$(( 100 + RANDOM % 800 ))
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 300); do
      [ "$(lock_owner "$n")" = "$pid" ] && break
      kill -0 "$pid" 2>/dev/null || break  # the display was taken meanwhile: try another
      sleep 0.1
    done
    if [ "$(lock_owner "$n")" = "$pid" ]; then
      echo "$pid" > "$state/xvfb.pid"
      echo ":$n" > "$state/display"
      return 0
    fi
    kill "$pid" 2>/dev/null || true
  done
  echo "wine-session: Xvfb did not start" >&2
  exit 1
}

start() {
  mkdir -p "$state"
  if [ -z "${DISPLAY:-}" ] || [ -f "$state/xvfb.pid" ]; then
    ours || start_xvfb
    export DISPLAY=$(cat "$state/display")
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$wine" wineboot -i </dev/null >/dev/null 2>&1 || true
    # Without a window manager Wine waits about a second at every window hide unless its X11
    # driver leaves the windows unmanaged.
    "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
  fi
  # A persistent server started detached from our output: a ctest that started it itself would
  # wait for its pipes for ever.
  /usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1 || true
  "$wine" cmd /c exit </dev/null >/dev/null 2>&1 || true
  echo "${DISPLAY:-}"
}

stop() {
  /usr/lib/wine/wineserver -k </dev/null >/dev/null 2>&1 || true
  if ours; then
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
  fi
  rm -f "$state/xvfb.pid" "$state/display" "$state/display.number"
}

case $action in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop BUILD_DIR" >&2; exit 2 ;;
esac
