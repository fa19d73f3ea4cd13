#!/usr/bin/env bash
# Removal speed beside installation speed: a package of each of the installation benchmark's
# payloads (about 64 MiB of this machine's files and generated data, and 5,000 small files) is
# installed by the installation engine and removed by uninstall.exe /S under 64-bit Wine, both
# timed as whole processes. Leaves nothing behind.
# Run by hand: bench/uninstall/compare.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top"

cmake --preset native-release >/dev/null
cmake --build --preset native-release --target qzpack >/dev/null
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target setup uninstall install_throughput >/dev/null

. bench/wine-session.sh

echo "load before: $(uptime | sed 's/.*load/load/')"
DISPLAY=$display WINEPREFIX=$prefix python3 bench/uninstall/measure.py "$top" "$work" "$target"
echo "load after: $(uptime | sed 's/.*load/load/')"
