#!/usr/bin/env bash
# Installation speed beside the installer people use instead: the installation engine alone
# (bench/install/install_throughput.exe) and the whole win64 setup.exe walked through its wizard,
# against an NSIS 3 installer of the same files (amd64-unicode stub, bzip2 per file, silent)
# under the same 64-bit Wine, and native single-stream bzip2 -dc of the same streams. Two
# payloads made from this machine's files: about 64 MiB of shared libraries, headers, docs and
# generated data, and 5,000 small files. Installs nsis when missing; leaves nothing behind.
# Run by hand: bench/install/compare.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top"

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
if ! command -v makensis >/dev/null; then
  as_root apt-get update -qq
  as_root apt-get install -y -qq nsis >/dev/null
fi

cmake --preset native-release >/dev/null
cmake --build --preset native-release --target qzpack >/dev/null
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target setup install_throughput qzwalk >/dev/null

. bench/wine-session.sh

echo "load before: $(uptime | sed 's/.*load/load/')"
DISPLAY=$display WINEPREFIX=$prefix python3 bench/install/measure.py "$top" "$work" "$target"
echo "load after: $(uptime | sed 's/.*load/load/')"
