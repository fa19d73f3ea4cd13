#!/usr/bin/env bash
# The DLL's first initialisation in a new Wine configuration, over and over: each round runs two
# DLL tests that initialise first, side by side as ctest -j2 runs them, and keeps the logs of the
# rounds that failed (Wine's error channels on).
#   scripts/reliability/first-init-loop.sh [--prime] [--reset-audio] BUILD_DIR ROUNDS
# BUILD_DIR is build/win32-test (the shipping DLL under 32-bit Wine) or build/win64.
#   --prime        first opens the sound device once, alone, as the tests do (tarnmix_audio_ready)
#   --reset-audio  one prefix for every round, its sound device records removed before each (a
#                  few seconds a round); without it each round makes a new prefix (half a minute)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
prime=0
reset=0
while [ "${1:-}" = --prime ] || [ "${1:-}" = --reset-audio ]; do
  [ "$1" = --prime ] && prime=1 || reset=1
  shift
done
build=$(cd "$1" && pwd)
rounds=$2
dll=$build/tests/tarnmix/dll
[ -f "$dll/tarnmix_dll_test.exe" ] || { echo "no $dll/tarnmix_dll_test.exe: build the tree" >&2; exit 2; }
tests=(TarnmixDll.InitialisingTwiceCreatesNothingTheSecondTime
       TarnmixDll.PlayInitialisesOnDemandAndNamesTheSamples)
work=$(mktemp -d /tmp/qz-first-init.XXXXXX)
session=$work/session
logs=$work/logs
mkdir -p "$logs"
trap '"$top/scripts/wine-session.sh" stop "$session" >/dev/null 2>&1 || true; rm -rf "$session"' EXIT
wine() {
  DISPLAY=$display WINEPREFIX=$session/wineprefix HOME=$dll/alsa-null WINEDEBUG=fixme-all \
    WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d" /usr/lib/wine/wine64 "$@"
}
# What Wine records about the sound devices the first time they are opened in a prefix.
forget_audio() {
  wine reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\MMDevices' /f >/dev/null 2>&1 || true
  wine reg delete 'HKCU\Software\Wine\Drivers\winealsa.drv' /f >/dev/null 2>&1 || true
}
failed=0
for round in $(seq "$rounds"); do
  if [ "$reset" -eq 0 ] || [ "$round" -eq 1 ]; then
    "$top/scripts/wine-session.sh" stop "$session" >/dev/null 2>&1 || true
    rm -rf "$session"
    mkdir -p "$session"
    display=$(DISPLAY= "$top/scripts/wine-session.sh" start "$session")
  fi
  [ "$reset" -eq 1 ] && forget_audio
  status=0
  if [ "$prime" -eq 1 ]; then
    wine "$dll/tarnmix_audio_ready.exe" >"$logs/$round-ready.log" 2>&1 || status=$?
  fi
  pids=()
  for t in "${tests[@]}"; do
    wine "$dll/tarnmix_dll_test.exe" --gtest_filter="$t" >"$logs/$round-$t.log" 2>&1 &
    pids+=($!)
  done
  for p in "${pids[@]}"; do wait "$p" || status=$?; done
  load=$(cut -d' ' -f1 /proc/loadavg)
  if [ "$status" -eq 0 ]; then
    echo "round $round: passed (load $load)"
    rm -f "$logs/$round"-*.log
  else
    failed=$((failed + 1))
    echo "round $round: FAILED (load $load), logs $logs/$round-*.log"
  fi
done
echo "$failed of $rounds rounds failed (logs of failures in $logs)"
[ "$failed" -eq 0 ]
