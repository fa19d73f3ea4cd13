#!/usr/bin/env bash
# The shipping i686 binaries of the win32 tree (setup.exe, uninstall.exe, tarnmix.dll,
# modrender.exe, qzpack.exe) under 32-bit Wine: the wizard's and the uninstaller's end-to-end
# tests on packages built on the i686 stub, the installation engine's tests built for i686, the
# DLL through an i686 test host, and the renderer's and packager's output against the native
# tools'.
#   scripts/test-i686.sh [--quick] [--emulate]
#     --quick    the tests labelled quick: a subset that still covers a whole installation, a
#                damaged package, a part-way failure, the DLL and both comparisons (what CI runs)
#     --emulate  run 32-bit programs under qemu-i386 even when the kernel could run them itself
# Kernels without 32-bit support get qemu-i386 registered with binfmt_misc for this run only
# (as root); while it is registered every new Wine prefix is made the slow way, so the
# registration is removed again on every exit path.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
started=$(date +%s)

quick=0
emulate=0
for arg in "$@"; do
  case $arg in
    --quick) quick=1 ;;
    --emulate) emulate=1 ;;
    *) echo "usage: $0 [--quick] [--emulate]" >&2; exit 2 ;;
  esac
done

fail() { echo "test-i686: $*" >&2; exit 1; }
as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

bash scripts/bootstrap.sh --i686
for preset in native win32 win32-test; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)"
done

# --- How 32-bit programs run: by the kernel, or by qemu-i386 registered for this run ---------
binfmt=/proc/sys/fs/binfmt_misc
state=/tmp/qz-test-i686
mkdir -p "$state"
marker=$state/qemu-i386-registered  # says that this script made the registration
exec 9>"$state/lock"
flock -n 9 || { echo "test-i686: waiting for another i686 run to end"; flock 9; }

unregister() {
  [ -f "$marker" ] || return 0
  if [ -e "$binfmt/qemu-i386" ]; then
    echo -1 | as_root tee "$binfmt/qemu-i386" >/dev/null ||
      echo "test-i686: could not remove $binfmt/qemu-i386: remove it by hand" >&2
  fi
  rm -f "$marker"
}
session=
finish() {
  local status=$?
  # Only a session this run opened: a stop without its start would close someone else's.
  [ -z "$session" ] || scripts/wine-session.sh stop build/win32-test >/dev/null 2>&1 || true
  unregister
  echo "== i686 run: $(( $(date +%s) - started )) s, $([ $status -eq 0 ] && echo passed || echo FAILED)"
  exit $status
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# A run that was killed outright could not clean up after itself.
if [ -f "$marker" ]; then
  echo "test-i686: removing the qemu-i386 registration an earlier run left behind"
  unregister
fi

runs32() { /usr/lib/wine/wine --version >/dev/null 2>&1; }

emulated=1
if [ "$emulate" -eq 0 ] && runs32; then
  if [ -e "$binfmt/qemu-i386" ]; then
    echo "== 32-bit programs run under the qemu-i386 registration already in place"
  else
    emulated=0
    echo "== 32-bit programs run natively (the kernel runs i386 code itself)"
  fi
else
  bash scripts/bootstrap.sh --qemu
  if [ ! -e "$binfmt/register" ]; then
    as_root mount -t binfmt_misc binfmt_misc "$binfmt" ||
      fail "binfmt_misc is not mounted at $binfmt and cannot be mounted (needs root)"
  fi
  if [ -e "$binfmt/qemu-i386" ]; then
    echo "== 32-bit programs run under the qemu-i386 registration already in place:"
    sed -n 's/^interpreter /   /p' "$binfmt/qemu-i386"
  else
    qemu=$top/.deps/qemu/usr/bin/qemu-i386
    # The i386 ELF header (executables and shared objects); F: the kernel opens the emulator now.
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    touch "$marker"
    echo ":qemu-i386:M::$magic:$mask:$qemu:F" | as_root tee "$binfmt/register" >/dev/null ||
      fail "cannot register qemu-i386 with $binfmt/register (needs root)"
    echo "== 32-bit programs run under $("$qemu" --version | head -1), registered for this run"
  fi
  runs32 || fail "32-bit Wine does not start under the emulator"
fi

# --- The WoW64 prefix, kept between runs ------------------------------------------------------
prefix=$top/build/win32-test/wineprefix
ready=$prefix/.qz-wow64-ready
if [ ! -f "$ready" ]; then
  rm -rf "$prefix"
  echo "== making the WoW64 prefix $prefix (a few minutes under emulation)"
fi
display=$(scripts/wine-session.sh start build/win32-test)
session=1
if [ ! -f "$ready" ]; then
  [ -d "$prefix/drive_c/windows/syswow64" ] || fail "the prefix has no syswow64: not a WoW64 prefix"
  # A 32-bit program must start in it: the shipping qzpack.exe answers with its usage and 2.
  status=0
  WINEPREFIX=$prefix scripts/wine-run build/win32/tools/qzpack/qzpack.exe >/dev/null 2>&1 ||
    status=$?
  [ "$status" -eq 2 ] || fail "a 32-bit program does not run in the new prefix (exit $status)"
  touch "$ready"
fi

# --- The tests ---------------------------------------------------------------------------------
select=()
if [ "$quick" -eq 1 ]; then
  # The tests labelled quick where they are declared: a whole installation with fields,
  # shortcuts and the log; a damaged package refused before any window; a part-way failure; an
  # uninstallation and its refusals; a branded package and DLLs planted beside the programs; the
  # engine; the DLL's state table, callbacks and restarts; the DLL's parts, the renderer's and
  # the packager's output against the native tools.
  select=(-L '^quick$')
fi
skip=()
if [ "$emulated" -eq 1 ]; then
  # Wine does not pace its null sound device: the emulated playback thread falls behind it, so
  # the captured sound cannot line up with the song. The parts themselves are still compared.
  echo "== under emulation, DeviceOutput.SoundReachesTheDevice is left out (it needs real-time speed)"
  skip=(-E 'DeviceOutput\.SoundReachesTheDevice')
fi
echo "== test win32 binaries under 32-bit Wine$([ "$quick" -eq 1 ] && echo ' (quick subset)')"
# A selection that finds no test at all is a failure, not an empty pass.
DISPLAY=$display ctest --preset win32-test -j "$(nproc)" --no-tests=error "${select[@]}" "${skip[@]}"
