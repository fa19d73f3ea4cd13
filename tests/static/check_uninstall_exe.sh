#!/usr/bin/env bash
# Static checks of the shipping uninstall.exe (i686 cannot run on this machine): a 32-bit GUI
# program that needs nothing but the three system DLLs it imports, within its 25 KiB goal.
set -euo pipefail
exe=$1
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
fail() { echo "FAIL: $*"; exit 1; }

"$objdump" -f "$exe" | grep -q 'file format pei-i386' || fail "not a 32-bit Windows executable"
headers=$("$objdump" -p "$exe")
grep -q 'Subsystem.*(Windows GUI)' <<<"$headers" || fail "a console window would open with it"
imports=$(sed -n 's/^\s*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
# user32 loads after the DLL search is restricted (a late import).
[ "$imports" = "advapi32.dll kernel32.dll msvcrt.dll " ] || fail "imports $imports"
size=$(stat -c %s "$exe")
echo "uninstall.exe (i686): $size bytes; imports: $imports"
[ "$size" -le 25600 ] || fail "uninstall.exe grew to $size bytes, past its 25 KiB goal"
