#!/usr/bin/env bash
# The main job: builds every flavour, makes the example package with qzpack and lists it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
bash scripts/bootstrap.sh
jobs=$(nproc)
for preset in native win32 win64; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

mkdir -p out
qzpack=build/native/tools/qzpack/qzpack
stub=build/win64/tools/qzpack/qzpack.exe  # any PE file serves until the wizard exists
[ -f build/win64/setup/setup.exe ] && stub=build/win64/setup/setup.exe
echo "== qzpack build examples/demo/demo.toml"
"$qzpack" build examples/demo/demo.toml -o out/demo-setup.exe --stub "$stub"
echo "== qzpack list out/demo-setup.exe"
"$qzpack" list out/demo-setup.exe
echo "== qzpack verify out/demo-setup.exe"
"$qzpack" verify out/demo-setup.exe
