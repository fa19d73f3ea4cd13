# Sourced by the benchmarks that run under 64-bit Wine: starts a Wine session for build/win64 and
# sets `display`; end_wine_session stops it again unless someone else had started it (its server,
# its virtual screen), which is then left running. Needs `top`, the source tree.
prefix=$top/build/win64/wineprefix
state=$top/build/win64/wine-session
server_running() {
  local pid
  for pid in $(pgrep -x wineserver64 || true) $(pgrep -x wineserver || true); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$prefix" && return 0
  done
  return 1
}
had_server=; server_running && had_server=1
had_screen=; [ -f "$state/xvfb.pid" ] && kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null && had_screen=1
end_wine_session() {
  if [ -z "$had_server" ]; then
    scripts/wine-session.sh stop build/win64 >/dev/null
  elif [ -z "$had_screen" ] && [ -f "$state/xvfb.pid" ]; then
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
    rm -f "$state/xvfb.pid" "$state/display" "$state/display.number"
  fi
}
display=$(scripts/wine-session.sh start build/win64)
