#!/usr/bin/env bash
# Installs what is missing and builds the native (sanitizer and optimised), win32 and win64
# flavours.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/bootstrap.sh
for preset in native native-release win32 win64; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)"
done
