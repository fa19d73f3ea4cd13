#!/usr/bin/env bash
# Makes a release of the commit checked out, into dist/:
#   corvalline-VERSION-win32.zip         the i686 programs, the tarnmix SDK, docs, example host
#   corvalline-VERSION-linux-x86_64.tar.gz  qzpack and modrender for Linux, with the stub and
#                                        uninstaller they package by default and qzwalk.exe
#   corvalline-VERSION-setup.exe         an installer of the Windows files, made with qzpack
#   SHA256SUMS
# Two runs from the same commit give the same bytes: every time stamp is the commit's, entries
# are sorted, owners and modes fixed, and the builds themselves repeat (no link time in a PE).
#   scripts/release.sh [--sign CERT.pfx --pass PASSWORD_FILE [--timestamp URL]]
# Signing uses osslsigncode with the commit's time as the signing time, so a signed installer
# repeats too; a time-stamp server's countersignature (--timestamp) does not.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

usage() { echo "usage: $0 [--sign CERT.pfx --pass PASSWORD_FILE [--timestamp URL]]" >&2; exit 2; }
cert='' pass='' tsa=''
while [ $# -gt 0 ]; do
  case $1 in
    --sign) [ $# -ge 2 ] || usage; cert=$(realpath "$2"); shift 2 ;;
    --pass) [ $# -ge 2 ] || usage; pass=$(realpath "$2"); shift 2 ;;
    --timestamp) [ $# -ge 2 ] || usage; tsa=$2; shift 2 ;;
    *) usage ;;
  esac
done
[ -z "$cert" ] || [ -n "$pass" ] || usage

# What is released is the commit: uncommitted changes to tracked files would not be in it.
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "release: the work tree has uncommitted changes; commit or stash them first" >&2
  exit 1
fi
epoch=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH=$epoch TZ=UTC LC_ALL=C
bash scripts/bootstrap.sh

# --- Builds of their own, configured afresh ---------------------------------------------------
work=$top/build/release
rm -rf "$work"
mkdir -p "$work"
# No path of this tree may end up in a binary: the same commit elsewhere gives the same bytes.
common=(-G Ninja -DQZ_TESTS=OFF -DQZ_RELEASE=ON "-DCMAKE_C_FLAGS=-ffile-prefix-map=$top=."
        "-DCMAKE_CXX_FLAGS=-ffile-prefix-map=$top=.")
echo "== build the i686 Windows files"
cmake -S . -B "$work/win32" "${common[@]}" -DCMAKE_BUILD_TYPE=MinSizeRel -DQZ_GTEST=OFF \
  -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$work/win32" -j 2 >/dev/null
echo "== build the Linux x86_64 tools"
cmake -S . -B "$work/linux" "${common[@]}" -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_EXE_LINKER_FLAGS=-s >/dev/null
cmake --build "$work/linux" -j 2 --target qzpack modrender >/dev/null

qzpack=$work/linux/tools/qzpack/qzpack
version=$("$qzpack" --version | sed -n 's/^qzpack //p')
[ -n "$version" ] || { echo "release: qzpack --version printed no version" >&2; exit 1; }
name=corvalline-$version
echo "== release $version of commit $(git rev-parse --short HEAD), dated $(date -u -d "@$epoch" +%F)"

# --- The trees of the two archives ------------------------------------------------------------
win=$work/stage/$name-win32
linux=$work/stage/$name-linux-x86_64
mkdir -p "$win" "$linux"
docs=(README.md LICENSE THIRD-PARTY-NOTICES)
w=$work/win32
cp "${docs[@]}" "$win/"
cp "$w/tools/qzpack/qzpack.exe" "$w/tools/qzwalk/qzwalk.exe" "$w/setup/setup.exe" \
   "$w/setup/uninstall.exe" "$w/tools/modrender/modrender.exe" "$w/tools/tmplay/tmplay.exe" \
   "$w/tarnmix/modplay/tarnmix.dll" "$win/"
cmake --install "$w" --component tarnmix --prefix "$win/sdk" >/dev/null
mkdir -p "$win/examples"
cp -r examples/tarnmix-host examples/demo "$win/examples/"
cp examples/tarnmix/tarn-theme.mod "$win/examples/"

cp "${docs[@]}" "$linux/"
# qzwalk.exe beside qzpack: `qzpack try` walks installers under Wine with it.
cp "$qzpack" "$work/linux/tools/modrender/modrender" "$w/setup/setup.exe" \
   "$w/setup/uninstall.exe" "$w/tools/qzwalk/qzwalk.exe" "$linux/"
mkdir -p "$linux/examples"
cp -r examples/demo "$linux/examples/"

# Fixed modes: programs and folders 755, everything else 644.
for tree in "$win" "$linux"; do
  find "$tree" -type d -exec chmod 755 {} +
  find "$tree" -type f -exec chmod 644 {} +
  find "$tree" -type f \( -name '*.exe' -o -name '*.dll' -o -name qzpack -o -name modrender \) \
    -exec chmod 755 {} +
  find "$tree" -exec touch -h -d "@$epoch" {} +
done

# --- The archives -------------------------------------------------------------------------------
rm -rf dist
mkdir -p dist
echo "== dist/$name-linux-x86_64.tar.gz"
tar -C "$work/stage" --sort=name --mtime="@$epoch" --owner=0 --group=0 --numeric-owner \
  --format=gnu -cf - "$name-linux-x86_64" | gzip -9n > "dist/$name-linux-x86_64.tar.gz"
echo "== dist/$name-win32.zip"
python3 - "$work/stage" "$name-win32" "dist/$name-win32.zip" "$epoch" <<'PY'
# Entries sorted by name, each dated with the commit and marked as made on Unix with its mode.
import os, sys, time, zipfile
stage, top, out, epoch = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
stamp = time.gmtime(max(epoch, 315532800))[:6]  # zip dates begin in 1980
paths = []
for folder, dirs, files in os.walk(os.path.join(stage, top)):
    paths += [os.path.join(folder, d) + "/" for d in dirs] + [os.path.join(folder, f) for f in files]
paths.append(os.path.join(stage, top) + "/")
with zipfile.ZipFile(out, "w") as archive:
    for path in sorted(paths, key=lambda p: os.path.relpath(p, stage)):
        name = os.path.relpath(path, stage) + ("/" if path.endswith("/") else "")
        info = zipfile.ZipInfo(name, stamp)
        info.create_system = 3
        info.external_attr = (os.stat(path).st_mode & 0xFFFF) << 16
        if name.endswith("/"):
            info.external_attr |= 0x10  # MS-DOS directory flag
            archive.writestr(info, b"")
        else:
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as f:
                archive.writestr(info, f.read(), compresslevel=9)
PY

# --- Our own installer of the Windows files ---------------------------------------------------
echo "== dist/$name-setup.exe (made with qzpack)"
manifest=$work/stage/installer.toml
cat > "$manifest" <<EOF
title = "Corvalline Setup and tarnmix $version"
defaultDestination = "%PROGRAMFILES%\\\\Corvalline $version"
source = "$name-win32"
uninstaller = true
uninstallShortcut = "%PROGRAMS%\\\\Corvalline $version\\\\Uninstall"

[[component]]
name = "Programs: qzpack, setup and uninstall stubs, modrender, tmplay"
required = true
files = ["*.exe", "tarnmix.dll", "README.md", "LICENSE", "THIRD-PARTY-NOTICES", "examples\\\\**"]
exclude = ["uninstall.exe"]

  [[component.shortcut]]
  target = "%PROGRAMDIR%\\\\README.md"
  linkName = "%PROGRAMS%\\\\Corvalline $version\\\\Read me"

[[component]]
name = "tarnmix SDK (DLL, header, import library, CMake package)"
files = ["sdk\\\\**"]
EOF
installer=dist/$name-setup.exe
"$qzpack" build "$manifest" -o "$work/setup-unsigned.exe" --stub "$w/setup/setup.exe" \
  --uninstaller "$w/setup/uninstall.exe" -j 2 >/dev/null
if [ -n "$cert" ]; then
  command -v osslsigncode >/dev/null || { echo "release: osslsigncode is needed to sign" >&2; exit 1; }
  stamp=()
  [ -z "$tsa" ] || stamp=(-ts "$tsa")
  osslsigncode sign -pkcs12 "$cert" -readpass "$pass" -n "Corvalline Setup and tarnmix $version" \
    -time "$epoch" "${stamp[@]}" -in "$work/setup-unsigned.exe" -out "$installer" >/dev/null
  echo "   signed with $(basename "$cert")"
else
  cp "$work/setup-unsigned.exe" "$installer"
  echo "   not signed (no --sign given)"
fi
"$qzpack" verify "$installer" | tail -1
touch -d "@$epoch" dist/*

(cd dist && sha256sum -- *.zip *.tar.gz *.exe > SHA256SUMS)
touch -d "@$epoch" dist/SHA256SUMS
echo "== dist/SHA256SUMS"
cat dist/SHA256SUMS
