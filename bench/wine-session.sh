# Sourced by the benchmarks that run under 64-bit Wine, from the source tree: makes `work` (a
# scratch folder) and `target` (one for installations), starts a Wine session for build/win64 and
# sets `display` and `prefix`; on exit removes both folders and ends the session, which leaves
# running whatever someone else had started (its server, its virtual screen).
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
# The session's stop leaves running whatever was there before its start (a server, a screen,
# someone else's session); it is called only once the start has been counted.
session=
end_wine_session() {
  rm -rf "$work" "$target"
  [ -z "$session" ] || scripts/wine-session.sh stop build/win64 >/dev/null
}
trap end_wine_session EXIT
display=$(scripts/wine-session.sh start build/win64)
session=1
