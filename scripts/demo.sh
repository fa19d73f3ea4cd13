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

echo "== play the example module through tarnmix.dll (tmplay, win64 build under Wine)"
echo "tarnmix.dll (i686) is $(stat -c %s build/win32/tarnmix/modplay/tarnmix.dll) bytes"
song=examples/tarnmix/tarn-theme.mod
status=0
# Wine's ALSA driver reports a missing sound card at length; tmplay says it in one line.
scripts/wine-run build/win64/tools/tmplay/tmplay.exe "$song" --seconds 5 </dev/null \
  2> >(grep -v '^ALSA lib' >&2) || status=$?
if [ "$status" -eq 3 ]; then
  build/native/tools/modrender/modrender "$song" -o out/tarn-theme.wav
  echo "No sound device here: the song is rendered to $top/out/tarn-theme.wav instead"
elif [ "$status" -ne 0 ]; then
  exit "$status"
fi
