#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine (apt-get, as root) and
# fetches Debian's bzip2 and utf8proc source packages, from which the Windows flavours build
# libbz2 and libutf8proc.
#   --i686  also 32-bit Wine, for running the shipping i686 binaries
#   --qemu  also a qemu-i386 user-mode emulator in .deps/qemu, for kernels that cannot run
#           32-bit programs themselves
# Safe to run again: it only installs what is missing.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

i686=0
qemu=0
for arg in "$@"; do
  case $arg in
    --i686) i686=1 ;;
    --qemu) i686=1; qemu=1 ;;
    *) echo "usage: $0 [--i686] [--qemu]" >&2; exit 2 ;;
  esac
done

packages=(cmake ninja-build g++ clang libclang-rt-14-dev libbz2-dev bzip2 googletest libgtest-dev
          libtomlplusplus-dev libutf8proc-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686
          wine wine64 xvfb x11-utils imagemagick dpkg-dev python3 openssl osslsigncode)
if [ "$i686" -eq 1 ]; then
  packages+=(wine32:i386 libasound2:i386)
fi

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

if [ "$i686" -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# apt-get source needs deb-src entries; Debian 12 ships only binary ones by default.
need_src=0
[ -f "$top/.deps/bzip2/bzlib.c" ] || need_src=1
[ -f "$top/.deps/utf8proc/utf8proc.c" ] || need_src=1
if [ "$need_src" -eq 1 ] && ! grep -rqs '^Types:.*deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  as_root tee /etc/apt/sources.list.d/qz-deb-src.sources >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
fi

# Debian 12's qemu 7.2 takes a minute or more to start each 32-bit Wine process (Wine's address
# space reservation meets its slow mmap); the backported qemu starts one in well under a second.
# It is only unpacked into .deps, never installed, and pinned low so nothing else comes from
# backports.
need_qemu=0
if [ "$qemu" -eq 1 ] && [ ! -x "$top/.deps/qemu/usr/bin/qemu-i386" ]; then
  need_qemu=1
  if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    as_root tee /etc/apt/sources.list.d/qz-backports.sources >/dev/null <<'SRC'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  fi
fi

if [ "${#missing[@]}" -gt 0 ] || [ "$need_src" -eq 1 ] || [ "$need_qemu" -eq 1 ] ||
   [ "${need_update:-0}" -eq 1 ]; then
  export DEBIAN_FRONTEND=noninteractive
  as_root apt-get update -qq
  if [ "${#missing[@]}" -gt 0 ]; then
    echo "bootstrap: installing ${missing[*]}"
    as_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
fi

# Unpacks a downloaded Debian package's files into .deps/NAME.
fetch_into_deps() {
  local name=$1
  shift
  mkdir -p "$top/.deps"
  local tmp
  tmp=$(mktemp -d "$top/.deps/src.XXXXXX")
  chmod 755 "$tmp"  # apt-get hands the download to its own unprivileged user
  (cd "$tmp" && "$@")
  rm -rf "$top/.deps/$name"
  mv "$tmp/out" "$top/.deps/$name"
  rm -rf "$tmp"
}

if [ "$need_src" -eq 1 ] && [ ! -f "$top/.deps/bzip2/bzlib.c" ]; then
  fetch_into_deps bzip2 sh -c 'apt-get source -qq --download-only bzip2 >/dev/null &&
                               dpkg-source -x --no-check ./bzip2_*.dsc out >/dev/null'
  echo "bootstrap: bzip2 source in .deps/bzip2"
fi
if [ "$need_src" -eq 1 ] && [ ! -f "$top/.deps/utf8proc/utf8proc.c" ]; then
  fetch_into_deps utf8proc sh -c 'apt-get source -qq --download-only utf8proc >/dev/null &&
                                  dpkg-source -x --no-check ./utf8proc_*.dsc out >/dev/null'
  echo "bootstrap: utf8proc source in .deps/utf8proc"
fi

if [ "$need_qemu" -eq 1 ]; then
  fetch_into_deps qemu sh -c 'apt-get download -qq qemu-user/bookworm-backports 2>/dev/null &&
                              dpkg-deb -x ./qemu-user_*.deb out'
  [ -x "$top/.deps/qemu/usr/bin/qemu-i386" ] || { echo "bootstrap: no qemu-i386 in the package" >&2; exit 1; }
  echo "bootstrap: qemu-i386 $("$top/.deps/qemu/usr/bin/qemu-i386" --version | head -1 | awk '{print $3}') in .deps/qemu"
fi
