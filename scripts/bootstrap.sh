#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine (apt-get, as root) and
# fetches Debian's bzip2 source package, from which the Windows flavours build libbz2.
# Safe to run again: it only installs what is missing.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

packages=(cmake ninja-build g++ clang libclang-rt-14-dev libbz2-dev bzip2 googletest libgtest-dev
          libtomlplusplus-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686
          wine wine64 xvfb x11-utils imagemagick dpkg-dev python3)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

# apt-get source needs deb-src entries; Debian 12 ships only binary ones by default.
need_src=0
[ -f "$top/.deps/bzip2/bzlib.c" ] || need_src=1
if [ "$need_src" -eq 1 ] && ! grep -rqs '^Types:.*deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  as_root tee /etc/apt/sources.list.d/qz-deb-src.sources >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
fi

if [ "${#missing[@]}" -gt 0 ] || [ "$need_src" -eq 1 ]; then
  export DEBIAN_FRONTEND=noninteractive
  as_root apt-get update -qq
  if [ "${#missing[@]}" -gt 0 ]; then
    echo "bootstrap: installing ${missing[*]}"
    as_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
fi

if [ "$need_src" -eq 1 ]; then
  mkdir -p "$top/.deps"
  tmp=$(mktemp -d "$top/.deps/src.XXXXXX")
  chmod 755 "$tmp"  # apt-get source hands the download to its own unprivileged user
  (cd "$tmp" && apt-get source -qq --download-only bzip2 >/dev/null && dpkg-source -x --no-check ./bzip2_*.dsc src >/dev/null)
  rm -rf "$top/.deps/bzip2"
  mv "$tmp/src" "$top/.deps/bzip2"
  rm -rf "$tmp"
  echo "bootstrap: bzip2 source in .deps/bzip2"
fi
