#!/usr/bin/env bash
# The real 4-channel MODs of Debian's game data packages, downloaded and unpacked into WORK (never
# installed). Prints their paths, NUL-terminated and sorted, with those of MORE files given that
# are 4-channel MODs too.
#   bench/tarnmix/fetch-mods.sh WORK [MORE.mod ...]
set -euo pipefail
work=${1:?usage: fetch-mods.sh WORK [MORE.mod ...]}
shift

# Game data packages that ship MOD music (found with apt-file search -x '\.mod$').
packages=(tecnoballz-data circuslinux-data freedroid-data madbomber-data ri-li-data rafkill-data
          bomberclone-data bugsquish gemdropx)

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
download() { (cd "$work" && apt-get download -qq "$1" >/dev/null 2>&1); }
for package in "${packages[@]}"; do
  # A fresh machine may not have the package lists yet.
  download "$package" || { as_root apt-get update -qq >&2 && download "$package"; } ||
    echo "note: $package could not be downloaded; going on without it" >&2
done
for deb in "$work"/*.deb; do [ -e "$deb" ] && dpkg-deb -x "$deb" "$work/root"; done

# 31-slot, 4-channel modules only: the signature at offset 1080 says so.
found=0
while IFS= read -r -d '' file; do
  case $(dd if="$file" bs=1 skip=1080 count=4 2>/dev/null) in
    M.K.|'M!K!'|FLT4|4CHN) printf '%s\0' "$file"; found=1 ;;
  esac
done < <(find "$work/root" "$@" -type f -iname '*.mod' -print0 2>/dev/null | sort -z)
[ "$found" -eq 1 ] || { echo "no 4-channel MODs found" >&2; exit 1; }
