# Sourced by the benchmarks that run under 64-bit Wine, from the source tree: makes `work` (a
# scratch folder) and `target` (one for installations), starts a Wine session for build/win64 and
# sets `display` and `prefix`; on exit removes both folders and stops the session unless someone
# else had started it (its server, its virtual screen), which is then left running.
top=$(pwd)
work=$(mktemp -d)
# Installations go to a tmpfs when there is one: each round deletes what the one before made,
# and a disk file system then takes longer to create files for whoever comes next (ext4 passes
# over just-deleted inodes). QZ_BENCH_TARGET=FOLDER installs below FOLDER instead.
if [ -n "${QZ_BENCH_TARGET:-}" ]; then
  target=$(mktemp -d -p "$QZ_BENCH_TARGET")
else
  target=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
fi
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
  rm -rf "$work" "$target"
  if [ -z "$had_server" ]; then
    scripts/wine-session.sh stop build/win64 >/dev/null
  elif [ -z "$had_screen" ] && [ -f "$state/xvfb.pid" ]; then
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
    rm -f "$state/xvfb.pid" "$state/display" "$state/display.number"
  fi
}
trap end_wine_session EXIT
display=$(scripts/wine-session.sh start build/win64)
