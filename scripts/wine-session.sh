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

start() {
  mkdir -p "$state"
  if [ -z "${DISPLAY:-}" ] || [ -f "$state/xvfb.pid" ]; then
    local display
    if [ -f "$state/xvfb.pid" ] && kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null; then
      display=$(cat "$state/display")
    else
      # The server picks a free display itself: several build trees may run tests at once.
      rm -f "$state/display"
      Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$state/display.number" \
        >/dev/null 2>&1 &
      echo $! > "$state/xvfb.pid"
      for _ in $(seq 300); do [ -s "$state/display.number" ] && break; sleep 0.1; done
      [ -s "$state/display.number" ] || { echo "wine-session: Xvfb did not start" >&2; exit 1; }
      display=:$(tr -d '[:space:]' < "$state/display.number")
      echo "$display" > "$state/display"
    fi
    export DISPLAY=$display
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
  if [ -f "$state/xvfb.pid" ]; then
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
    rm -f "$state/xvfb.pid" "$state/display" "$state/display.number"
  fi
}

case $action in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop BUILD_DIR" >&2; exit 2 ;;
esac
