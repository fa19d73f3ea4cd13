#!/usr/bin/env bash
# Every comparison with the tools people would use instead, in one run: installation (beside
# NSIS and bzip2), removal (beside installation), rendering (beside xmp and openmpt123) and
# qzpack build on every core (beside one job). Each area's script installs the peers it needs from Debian's packages, builds what it
# measures and removes what it made.
# Run by hand: bench/compare.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

echo "== Installation"
bench/install/compare.sh
echo
echo "== Removal"
bench/uninstall/compare.sh
echo
echo "== Rendering"
bench/tarnmix/compare.sh
echo
echo "== Packaging"
bench/qzpack/compare.sh
