#!/usr/bin/env bash
# Prepares a build tree's Wine prefix and keeps Wine's server (and, without a display, an Xvfb)
# running around a batch of Windows test runs.
#   scripts/wine-session.sh start BUILD_DIR   prints the DISPLAY it uses
#   scripts/wine-session.sh stop BUILD_DIR
# Sessions of one tree may nest or overlap (a script run inside another's session, two scripts
# at once): each start is counted, and the stop that closes the last open session stops what
# the starts started, nothing else. A Wine server or display that was there before is left
# running, and a stop without a start does nothing.
set -euo pipefail
action=$1
build=$(cd "$2" && pwd)
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
# What the sessions started, and how many are open: xvfb.pid and display for the Xvfb,
# wineserver when the server is ours, sessions for the count.
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
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 9>&- &
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

# A persistent server started detached from our output (a ctest that started it itself would
# wait for its pipes for ever), before anything else runs in the prefix. The server answers 2
# when one is running already: someone else's, or an open session's.
start_server() {
  local status=0
  mkdir -p "$WINEPREFIX"
  "$wineserver" -p </dev/null >/dev/null 2>&1 9>&- || status=$?
  [ "$status" -eq 0 ] || return 0
  # Every open session keeps a server running: if none was, the count is left over from runs
  # that were killed before their stop.
  sessions=0
  touch "$state/wineserver"
}

start() {
  sessions=$(cat "$state/sessions" 2>/dev/null || echo 0)
  start_server
  if ours; then
    export DISPLAY=$(cat "$state/display")
  elif [ -z "${DISPLAY:-}" ]; then
    start_xvfb
    export DISPLAY=$(cat "$state/display")
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$wine" wineboot -i </dev/null >/dev/null 2>&1 9>&- || true
    # Without a window manager Wine waits about a second at every window hide unless its X11
    # driver leaves the windows unmanaged.
    "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 9>&-
  fi
  "$wine" cmd /c exit </dev/null >/dev/null 2>&1 9>&- || true
  echo $(( sessions + 1 )) > "$state/sessions"
  echo "${DISPLAY:-}"
}

stop() {
  sessions=$(cat "$state/sessions" 2>/dev/null || echo 0)
  [ "$sessions" -gt 0 ] || return 0
  echo $(( sessions - 1 )) > "$state/sessions"
  [ "$sessions" -eq 1 ] || return 0
  if [ -f "$state/wineserver" ]; then
    "$wineserver" -k </dev/null >/dev/null 2>&1 9>&- || true
  fi
  if ours; then
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
  fi
  rm -f "$state/wineserver" "$state/xvfb.pid" "$state/display" "$state/sessions"
}

mkdir -p "$state"
# One start or stop of a tree at a time: the count and the decisions go together. Whatever is
# started closes the lock's descriptor, so as not to hold the lock for its whole life.
exec 9>"$state/lock"
flock 9
case $action in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop BUILD_DIR" >&2; exit 2 ;;
esac
