#!/usr/bin/env bash
# Static check of a shipped PE file: loaded at a random address (ASLR: DYNAMIC_BASE, with the
# base relocations that make it movable) and with data pages not executable (DEP: NX_COMPAT).
set -euo pipefail
file=$1
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
fail() { echo "FAIL: $(basename "$file"): $*"; exit 1; }

headers=$("$objdump" -p "$file")
flags=$(sed -n '/^DllCharacteristics/,/^SizeOfStackReserve/p' <<<"$headers")
grep -qw DYNAMIC_BASE <<<"$flags" || fail "not DYNAMIC_BASE (no ASLR)"
grep -qw NX_COMPAT <<<"$flags" || fail "not NX_COMPAT (no DEP)"
# Without relocations the loader cannot move the image, whatever the flag says.
characteristics=$(sed -n 's/^Characteristics\s*0x\([0-9a-f]*\).*/\1/p' <<<"$headers")
(( (16#$characteristics & 1) == 0 )) || fail "relocations stripped"
relocations=$(sed -n 's/^Entry 5 \([0-9a-f]*\) \([0-9a-f]*\) Base Relocation Directory.*/\2/p' <<<"$headers")
[ -n "$relocations" ] && (( 16#$relocations > 0 )) || fail "no base relocations"
echo "$(basename "$file"): DYNAMIC_BASE, NX_COMPAT, $((16#$relocations)) bytes of relocations"
