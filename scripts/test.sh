#!/usr/bin/env bash
# Builds every flavour and runs every test: native unit tests (ASan/UBSan) and short fuzz runs,
# the installation run's and the packager's threads under ThreadSanitizer, static checks of the
# shipping i686 binaries, and the win64 tests under Wine (and Xvfb when there is no display).
# Installs what it needs first.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/build-all.sh
jobs=$(nproc)

echo "== test native"
ctest --preset native -j "$jobs"
echo "== test the installation run's and the packager's threads under ThreadSanitizer"
cmake --preset native-tsan >/dev/null
cmake --build --preset native-tsan -j "$jobs"
ctest --preset native-tsan -j "$jobs"
echo "== test win32 (static checks of the shipping binaries)"
ctest --preset win32 -j "$jobs"

echo "== test win64 under Wine"
display=$(scripts/wine-session.sh start build/win64)
trap 'scripts/wine-session.sh stop build/win64' EXIT
DISPLAY=$display ctest --preset win64 -j "$jobs"
echo "== all tests passed"
