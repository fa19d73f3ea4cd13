#!/usr/bin/env bash
# Static checks of the shipping setup.exe (i686 cannot run on this machine): a 32-bit GUI
# executable that imports only system DLLs, no bigger than it has to be.
set -euo pipefail
exe=$1
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
fail() { echo "FAIL: $*"; exit 1; }

format=$("$objdump" -f "$exe" | sed -n 's/.*file format //p')
[ "$format" = pei-i386 ] || fail "format is $format, not pei-i386"
headers=$("$objdump" -p "$exe")
grep -q 'Subsystem.*(Windows GUI)' <<<"$headers" || fail "not a GUI subsystem executable"
dlls=$(sed -n 's/^\s*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
for dll in $dlls; do
  case $dll in
    kernel32.dll|advapi32.dll|msvcrt.dll) ;;
    # user32, gdi32 and ole32 load after the DLL search is restricted (late imports).
    *) fail "imports $dll" ;;
  esac
done
grep -q 'RegQueryValueExA' <<<"$headers" || fail "RegQueryValueExA not imported"
grep -qi 'dsound' <<<"$headers" && fail "setup must not touch dsound"
size=$(stat -c %s "$exe")
echo "setup.exe (i686): $size bytes; imports: $dlls"
# Every kilobyte of the stub is paid by every download: 64 KiB at most.
[ "$size" -le 65536 ] || fail "setup.exe grew to $size bytes, over 64 KiB"
