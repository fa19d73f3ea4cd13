#!/usr/bin/env bash
# The installation benchmark: makes a bzip2 package of at least 64 MiB of mixed data, decodes
# its entries natively through the archive reader, then installs it with the real installation
# run under Wine, and prints both throughputs. Run by hand: bench/install/run.sh [MIB]
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top"
mib=${1:-64}
for preset in native-release win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target "$( [ $preset = win64 ] && echo install_throughput || echo archive_throughput)" >/dev/null
done
work=$(mktemp -d)
# Leave a Wine session that was already running (a developer's) as it was.
if [ -f build/win64/wine-session/xvfb.pid ]; then
  trap 'rm -rf "$work"' EXIT
else
  trap 'rm -rf "$work"; scripts/wine-session.sh stop build/win64 >/dev/null' EXIT
fi
echo "== native: the same entries through the archive reader"
build/native-release/bench/package/archive_throughput "$mib" --keep "$work/bench.exe"
echo "== Wine: the installation run"
display=$(scripts/wine-session.sh start build/win64)
DISPLAY=$display WINEPREFIX=$top/build/win64/wineprefix \
  scripts/wine-run build/win64/bench/install/install_throughput.exe "$work/bench.exe" "$(echo "Z:$work/installed" | tr / '\\')"
du -sb "$work/installed" | awk '{printf "installed: %.1f MiB on disk\n", $1 / 1048576}'
