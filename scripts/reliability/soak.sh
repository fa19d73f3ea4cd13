#!/usr/bin/env bash
# Soak, in a Wine prefix of its own: (a) tarnmix.dll initialised, played, its song changed from a
# row callback, stopped and shut down over and over in one host process; (b) the example package
# installed through its wizard (qzwalk's walker) and removed with its silent uninstaller over and
# over. The hosts print their own handle, thread and private-byte figures (first, last, max) and
# fail past their stated bounds; (b) also compares drive C:, the registry and the running
# processes with the start after every cycle. From outside it prints Wine's server's resident
# size over (b) and the prefix's processes left after it.
#   scripts/reliability/soak.sh [--dll-cycles N] [--install-cycles N] BUILD_DIR
# BUILD_DIR is build/win32-test (the shipping i686 files of build/win32 under 32-bit Wine) or
# build/win64; both built, and build/native for qzpack. Defaults: 200 DLL and 30 install cycles.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
dll_cycles=200
install_cycles=30
while [ $# -gt 1 ]; do
  case $1 in
    --dll-cycles) dll_cycles=$2; shift 2 ;;
    --install-cycles) install_cycles=$2; shift 2 ;;
    *) break ;;
  esac
done
[ $# -eq 1 ] || { sed -n '/^#   scripts/p' "$0" >&2; exit 2; }
build=$(cd "$1" && pwd)
case $(basename "$build") in
  win32-test) shipping=$top/build/win32 ;;
  *) shipping=$build ;;
esac
hosts=$build/tests/reliability
qzpack=$top/build/native/tools/qzpack/qzpack
for f in "$hosts/tarnmix_dll_soak.exe" "$hosts/qz_install_soak.exe" "$qzpack" \
         "$shipping/setup/setup.exe" "$shipping/setup/uninstall.exe"; do
  [ -f "$f" ] || { echo "soak: no $f: build the trees" >&2; exit 2; }
done
# Wine's server's resident size moves in pages and stayed within a few hundred KiB over clean
# runs; 2 MiB over 29 cycles is about 70 KiB a cycle: objects left in the server by every
# installation (windows, mappings, registry keys) at that rate would pass it, a few stray handles
# would not (the install host's own counts catch those in the driver).
server_bound_kib=2048

work=$(mktemp -d /tmp/qz-soak.XXXXXX)
session=$work/session
mkdir -p "$session"
trap '"$top/scripts/wine-session.sh" stop "$session" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
prefix=$session/wineprefix
echo "== a new Wine prefix in $session"
display=$(DISPLAY= "$top/scripts/wine-session.sh" start "$session")
wine() {
  DISPLAY=$display WINEPREFIX=$prefix WINEDEBUG=-all \
    WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d" /usr/lib/wine/wine64 "$@"
}

# Wine's server for this prefix: the one whose working folder is named after the prefix's
# device and inode.
server=$(printf 'server-%x-%x' $(stat -c '%d %i' "$prefix"))
server_pid=
for p in $(pgrep -u "$(id -u)" -x 'wineserver(64)?'); do
  [ "$(basename "$(readlink "/proc/$p/cwd" 2>/dev/null)")" = "$server" ] && server_pid=$p
done
[ -n "$server_pid" ] || { echo "soak: Wine's server for $prefix not found" >&2; exit 1; }
server_rss() { awk '/^VmRSS/ {print $2}' "/proc/$server_pid/status"; }
# The prefix's processes: those whose environment names it, by command line; Wine's server and
# its services from the Windows folder, which it starts on demand, left out.
prefix_processes() {
  for p in /proc/[0-9]*; do
    { tr '\0' '\n' < "$p/environ"; } 2>/dev/null | grep -qx "WINEPREFIX=$prefix" || continue
    { tr '\0' ' ' < "$p/cmdline"; } 2>/dev/null | sed 's/ *$//'
    echo
  done | sed '/^$/d' | grep -viE '^(c:\\windows\\|/usr/lib/wine/)' | sort
}

status=0
echo "== (a) $dll_cycles DLL cycles ($(basename "$build"))"
HOME=$build/tests/tarnmix/dll/alsa-null wine "$hosts/tarnmix_dll_soak.exe" "$dll_cycles" ||
  status=1

# What names the package in the registry: its publisher, its title and the folder it lies in.
echo "== (b) $install_cycles install and uninstall cycles of examples/demo"
package=$work/demo-setup.exe
"$qzpack" build "$top/examples/demo/demo.toml" -o "$package" --stub "$shipping/setup/setup.exe" \
  --uninstaller "$shipping/setup/uninstall.exe" >/dev/null
before=$(prefix_processes)
first=; last=; max=0; ended=
while IFS= read -r line; do
  echo "$line"
  case $line in
    exit\ *) ended=$line ;;
    cycle\ *)
      last=$(server_rss)
      [ -n "$first" ] || first=$last
      [ "$last" -gt "$max" ] && max=$last ;;
  esac
done < <(wine "$hosts/qz_install_soak.exe" "$(wine winepath -w "$package" | tr -d '\r')" \
           "$install_cycles" Corvalline "Tarn Demo" qz-soak && echo "exit 0" || echo "exit $?")
[ "$ended" = "exit 0" ] || status=1
if [ -n "$first" ]; then
  growth=$((last - first))
  echo "wineserver KiB first $first  last $last  max $max  growth $growth (bound $server_bound_kib)" \
    "$([ "$growth" -le "$server_bound_kib" ] && echo ok || echo OVER THE BOUND)"
  [ "$growth" -le "$server_bound_kib" ] || status=1
fi
left=$(comm -13 <(echo "$before") <(prefix_processes))
if [ -n "$left" ]; then
  echo "processes of the prefix still running that were not before:"
  echo "$left"
  status=1
else
  echo "no process of the prefix left running that was not there before"
fi
echo "== soak $([ "$status" -eq 0 ] && echo passed || echo FAILED)"
exit "$status"
