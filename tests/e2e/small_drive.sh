#!/usr/bin/env bash
# A 1 MiB drive for the full-drive test: a tmpfs mounted outside Wine and shown to the build
# tree's prefix as a drive letter.
#   small_drive.sh mount|unmount PREFIX MOUNT_POINT LETTER NOTE
# mount leaves NOTE (a file) saying why when it cannot mount (not root, no permission); the test
# then skips with that reason. A mount or drive letter left by a killed run is taken down first.
# unmount takes down only what mount made: the letter when it leads to MOUNT_POINT, and the tmpfs.
set -euo pipefail
action=$1 prefix=$2 point=$3 letter=$(tr 'A-Z' 'a-z' <<<"$4") note=$5
link=$prefix/dosdevices/$letter:

take_down() {
  if [ -L "$link" ] && [ "$(readlink "$link")" = "$point" ]; then rm -f "$link"; fi
  if mountpoint -q "$point" 2>/dev/null; then
    # A Wine process killed with the test may still hold a file there.
    umount "$point" 2>/dev/null || umount -l "$point"
  fi
  if [ -d "$point" ]; then rmdir "$point"; fi
  rm -f "$note"
}

case $action in
  mount)
    take_down
    [ -d "$prefix/dosdevices" ] || { echo "small_drive: no Wine prefix at $prefix" >&2; exit 1; }
    if [ -e "$link" ] || [ -L "$link" ]; then
      echo "small_drive: drive $letter: of $prefix leads elsewhere ($(readlink "$link"))" >&2
      exit 1
    fi
    mkdir -p "$point"
    if ! error=$(mount -t tmpfs -o size=1m,mode=0777 qz-small-drive "$point" 2>&1); then
      rmdir "$point"
      echo "cannot mount a 1 MiB tmpfs at $point (user $(id -un)): ${error:-mount failed}" >"$note"
      cat "$note"
      exit 0
    fi
    ln -s "$point" "$link"
    echo "drive $letter: is a 1 MiB tmpfs at $point"
    ;;
  unmount) take_down ;;
  *) echo "usage: $0 mount|unmount PREFIX MOUNT_POINT LETTER NOTE" >&2; exit 2 ;;
esac
