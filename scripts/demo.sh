#!/usr/bin/env bash
# The main job: builds every flavour, makes the example package with qzpack, lists and checks
# it, and runs its installer under Wine: with a display, for you to click through; without one,
# on a virtual screen, walked through automatically. Plays the example module, and ends by
# uninstalling what the installer put in place. What runs is what ships, the i686 files under
# 32-bit Wine, on a machine whose kernel runs 32-bit programs; elsewhere the win64 builds.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/build-all.sh

# 32-bit Wine run by the kernel itself, not by an emulator registered with binfmt_misc.
flavour=win64
if bash scripts/bootstrap.sh --i686 >/dev/null 2>&1 && /usr/lib/wine/wine --version >/dev/null 2>&1 &&
   [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
  flavour=i686
  echo "== build win32-test (the i686 wizard walker)"
  cmake --preset win32-test >/dev/null
  cmake --build --preset win32-test -j "$(nproc)" --target qzwalk
fi
if [ "$flavour" = i686 ]; then
  bin=build/win32 session=build/win32-test package=out/demo-setup-win32.exe
  echo "== this machine runs 32-bit programs: the demo runs the shipping i686 files under 32-bit Wine"
  # A prefix made before 32-bit Wine was installed cannot run 32-bit programs: make it anew.
  [ -d "$session/wineprefix/drive_c/windows/syswow64" ] || rm -rf "$session/wineprefix"
else
  bin=build/win64 session=build/win64 package=out/demo-setup.exe
  echo "== this machine does not run 32-bit programs: the demo runs the win64 builds under Wine"
fi
walker=$session/tools/qzwalk/qzwalk.exe

mkdir -p out
qzpack=build/native-release/tools/qzpack/qzpack  # the optimised one, as users run it
echo "== qzpack build examples/demo/demo.toml (win64 stub and uninstaller)"
"$qzpack" build examples/demo/demo.toml -o out/demo-setup.exe --stub build/win64/setup/setup.exe \
  --uninstaller build/win64/setup/uninstall.exe
echo "== qzpack build examples/demo/demo.toml (the shipping i686 stub and uninstaller)"
"$qzpack" build examples/demo/demo.toml -o out/demo-setup-win32.exe --stub build/win32/setup/setup.exe
echo "== qzpack list $package"
"$qzpack" list "$package"
echo "== qzpack verify $package"
"$qzpack" verify "$package"
echo "setup.exe (i686) is $(stat -c %s build/win32/setup/setup.exe) bytes," \
  "uninstall.exe (i686) $(stat -c %s build/win32/setup/uninstall.exe) bytes"

echo "== run the installer $package under Wine ($flavour)"
interactive=${DISPLAY:-}
display=$(scripts/wine-session.sh start "$session")
trap 'scripts/wine-session.sh stop "$session"' EXIT
export WINEPREFIX=$top/$session/wineprefix DISPLAY=$display
if [ -n "$interactive" ]; then
  echo "The installer is open on your display; click through it."
  scripts/wine-run "$package"
else
  scripts/wine-run "$walker" "$package" --field "0=Demo User"
fi

echo "== play the example module through tarnmix.dll (tmplay, $flavour build under Wine)"
echo "tarnmix.dll (i686) is $(stat -c %s build/win32/tarnmix/modplay/tarnmix.dll) bytes"
song=examples/tarnmix/tarn-theme.mod
status=0
# Wine's ALSA driver reports a missing sound card at length; tmplay says it in one line.
scripts/wine-run "$bin/tools/tmplay/tmplay.exe" "$song" --seconds 5 </dev/null \
  2> >(grep -v '^ALSA lib' >&2) || status=$?
if [ "$status" -eq 3 ]; then
  build/native/tools/modrender/modrender "$song" -o out/tarn-theme.wav
  echo "No sound device here: the song is rendered to $top/out/tarn-theme.wav instead"
elif [ "$status" -ne 0 ]; then
  exit "$status"
fi

echo "== uninstall what the installer put in place (uninstall.exe, $flavour build under Wine)"
# The installation of this run is the one whose log is newer than the package.
log=$(find "$WINEPREFIX/drive_c" -name _qzsetup.log -newer "$package" -print -quit)
if [ -z "$log" ]; then
  echo "No installation of this run was found on drive C:; nothing to uninstall."
  exit 0
fi
folder=$(dirname "$log")
mapfile -t listed < <(tr '\001\002' '\n\n' < "$log" | tr -d '\000' | sed '/^$/d')
uninstaller=$(scripts/wine-run winepath -w "$folder/uninstall.exe")
# Its clean-up copy runs from a folder of its own under the temporary folder.
temp=$(scripts/wine-run winepath -u "$(scripts/wine-run cmd /c echo %TEMP% | tr -d '\r')")
copies() { ls "$temp" 2>/dev/null | grep '^qzu-' || true; }
before=$(copies)
status=0
if [ -n "$interactive" ]; then
  echo "The uninstaller is open on your display."
  scripts/wine-run "$uninstaller" || status=$?
else
  scripts/wine-run "$uninstaller" /S || status=$?
fi
echo "uninstall.exe exited with code $status"
# Once the log is gone, the clean-up copy deletes uninstall.exe a moment after the uninstaller
# has ended, then itself: the Wine session must outlive it.
if [ ! -e "$log" ]; then
  for _ in $(seq 300); do
    [ -e "$folder/uninstall.exe" ] || [ -n "$(comm -13 <(echo "$before") <(copies))" ] || break
    sleep 0.1
  done
fi
mapfile -t unix < <(scripts/wine-run winepath -u "${listed[@]}")
for i in "${!listed[@]}"; do
  if [ -e "${unix[$i]}" ]; then echo "  still there: ${listed[$i]}"; else echo "  removed: ${listed[$i]}"; fi
done
[ -e "$folder" ] && echo "  still there: the folder $folder" || echo "  removed: the install folder"
