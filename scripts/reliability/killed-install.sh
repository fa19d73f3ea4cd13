#!/usr/bin/env bash
# setup.exe killed part-way through a large installation, then installed again into the same
# folder and uninstalled. A payload of a few thousand files and tens of MiB (text, random and
# constant bytes) is packed twice, with bzip2 and plain; one full run of each is timed, then each
# kill point ends setup.exe with TerminateProcess at a random moment within its tenth of that
# time (bzip2 and plain packages in turn). For each point it prints when setup was killed, what
# the folder holds (files, a partial file, the log and how it ends), then whether the reinstall
# left every file equal to the payload with a log of exactly what it created, and whether
# `uninstall.exe /S` then left nothing.
#   scripts/reliability/killed-install.sh BUILD_DIR [POINTS]
# BUILD_DIR is build/win32-test (the shipping i686 setup.exe and uninstall.exe under 32-bit Wine)
# or build/win64; build it and build/native (qzpack) first. POINTS is 10 unless given.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
points=${2:-10}
driver=$build/tests/e2e/killed_install.exe
programs=$build/setup
[ "$(basename "$build")" = win32-test ] && programs=$top/build/win32/setup
qzpack=$top/build/native/tools/qzpack/qzpack
judge="python3 $top/scripts/reliability/killed-install.py"
for file in "$driver" "$programs/setup.exe" "$programs/uninstall.exe" "$qzpack"; do
  [ -f "$file" ] || { echo "no $file: build the trees" >&2; exit 2; }
done

work=$(mktemp -d /tmp/qz-killed.XXXXXX)
dest=$work/dest
windest="Z:${dest//\//\\}"
display=$("$top/scripts/wine-session.sh" start "$build")
trap '"$top/scripts/wine-session.sh" stop "$build" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
wine() {
  DISPLAY=$display WINEPREFIX=$build/wineprefix "$top/scripts/wine-run" "$@"
}

$judge payload "$work/payload"
for compression in bzip2 none; do
  cat > "$work/$compression.toml" <<EOF
title = "Killed Install"
defaultDestination = '$windest'
source = "payload"
compression = "$compression"
uninstaller = true
[[component]]
name = "Everything"
required = true
files = ['**']
  [[component.shortcut]]
  target = '%PROGRAMDIR%\\part00\\sub0\\file0000.dat'
  linkName = '%PROGRAMDIR%\\Read me'
EOF
  "$qzpack" build "$work/$compression.toml" -o "$work/$compression.exe" \
    --stub "$programs/setup.exe" --uninstaller "$programs/uninstall.exe" >/dev/null
  echo "package $compression: $(stat -c %s "$work/$compression.exe") bytes"
done

# Installs the package again into the folder as it is, checks it, uninstalls it and checks that.
reinstall_and_remove() {
  local package=$1 result status=0
  result=$(wine "$driver" "$work/$package.exe" 2>>"$work/wine.err") || status=1
  echo "  reinstall: $result"
  $judge installed "$work/payload" "$dest" "$windest" | sed 's/^/    /' || status=1
  local code=0
  wine "$dest/uninstall.exe" /S 2>"$work/uninstall.err" || code=$?
  # The clean-up copy deletes uninstall.exe and the emptied folder once the uninstaller has ended.
  for _ in $(seq 600); do [ -e "$dest" ] || break; sleep 0.1; done
  echo "  uninstall: exit code $code$([ -s "$work/uninstall.err" ] && echo ", said: $(tr '\n' ' ' < "$work/uninstall.err")")"
  $judge removed "$dest" | sed 's/^/    /' || status=1
  [ "$code" -eq 0 ] || status=1
  rm -rf "$dest"
  return $status
}

declare -A full
for package in bzip2 none; do
  rm -rf "$dest"
  started=$(date +%s.%N)
  line=$(wine "$driver" "$work/$package.exe" 2>>"$work/wine.err")
  echo "full run, $package: $line (whole process $(echo "$(date +%s.%N) - $started" | bc | cut -c1-5) s)"
  [[ $line == finished* ]] || { echo "the full run did not finish" >&2; exit 1; }
  full[$package]=${line#finished }
  $judge installed "$work/payload" "$dest" "$windest" | sed 's/^/  /'
  rm -rf "$dest"
done

failed=0
for point in $(seq "$points"); do
  package=$([ $((point % 2)) -eq 1 ] && echo bzip2 || echo none)
  # A random moment within this point's tenth of the full run.
  at=$(( (full[$package] * (point - 1) + full[$package] * (RANDOM % 1000) / 1000) / points ))
  rm -rf "$dest"
  result=$(wine "$driver" "$work/$package.exe" "$at" 2>>"$work/wine.err") || true
  echo "point $point ($package), kill at $at of ${full[$package]} ms: $result"
  echo "  found: $($judge killed "$work/payload" "$dest")"
  reinstall_and_remove "$package" || failed=$((failed + 1))
done
echo "$points kill points, $failed with a fault"
[ "$failed" -eq 0 ]
