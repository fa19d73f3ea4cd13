#!/usr/bin/env bash
# The main job: builds every flavour, makes the example package with qzpack, lists and checks
# it, and runs its installer (the win64 build under Wine): with a display, for you to click
# through; without one, on a virtual screen, walked through automatically.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/build-all.sh

mkdir -p out
qzpack=build/native/tools/qzpack/qzpack
echo "== qzpack build examples/demo/demo.toml (win64 stub, to run under Wine here)"
"$qzpack" build examples/demo/demo.toml -o out/demo-setup.exe --stub build/win64/setup/setup.exe
echo "== qzpack build examples/demo/demo.toml (the shipping i686 stub)"
"$qzpack" build examples/demo/demo.toml -o out/demo-setup-win32.exe --stub build/win32/setup/setup.exe
echo "== qzpack list out/demo-setup.exe"
"$qzpack" list out/demo-setup.exe
echo "== qzpack verify out/demo-setup.exe"
"$qzpack" verify out/demo-setup.exe
echo "setup.exe (i686) is $(stat -c %s build/win32/setup/setup.exe) bytes"

echo "== run the installer under Wine"
interactive=${DISPLAY:-}
display=$(scripts/wine-session.sh start build/win64)
trap 'scripts/wine-session.sh stop build/win64' EXIT
export WINEPREFIX=$top/build/win64/wineprefix DISPLAY=$display
if [ -n "$interactive" ]; then
  echo "The installer is open on your display; click through it."
  scripts/wine-run out/demo-setup.exe
else
  scripts/wine-run build/win64/tests/e2e/walk_wizard.exe out/demo-setup.exe
fi
