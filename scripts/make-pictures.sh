#!/usr/bin/env bash
# Turns a chosen few of the wizard screenshots that the end-to-end tests take under Wine
# (build/win64/artifacts/wizard, full 1024x768 screens) into small PNGs under docs/pictures for
# the README. Runs those tests first when the screenshots are missing, or always with --fresh.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
shots=build/win64/artifacts/wizard
out=docs/pictures

if [ "${1:-}" = --fresh ] || [ ! -f "$shots/09-last-words.bmp" ]; then
  cmake --preset win64 >/dev/null
  cmake --build --preset win64 -j2 --target wizard_test
  display=$(scripts/wine-session.sh start build/win64)
  trap 'scripts/wine-session.sh stop build/win64' EXIT
  DISPLAY=$display ctest --preset win64 -R '^Wizard\.' >/dev/null
fi

mkdir -p "$out"
# png SHOT NAME OPTIONS...: one screenshot through ImageMagick, as a palette PNG without
# time stamps.
png() {
  local shot=$1 name=$2
  shift 2
  convert "$shots/$shot.bmp" "$@" +repage -strip -define png:exclude-chunks=date,time \
    "PNG8:$out/$name.png"
}
# The wizard window is 500x300, centred on the screen; a message box stands alone on black.
page=(-crop 500x300+262+234)
png 00-confirmation confirmation -fuzz 5% -trim
png 03-background-window background -resize 50%
png 02-page1-method method "${page[@]}"
png 04-components components "${page[@]}"
png 06-field-page field "${page[@]}"
png 05-destination destination "${page[@]}"
png 08-progress-and-finished progress "${page[@]}"
png 09-last-words last-words "${page[@]}"
# From the UTF-8 package's test (Unicode.*), when it has run.
if [ -f "$shots/unicode-field.bmp" ]; then
  png unicode-field unicode-field "${page[@]}"
fi
ls -l "$out"
