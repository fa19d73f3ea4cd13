#!/usr/bin/env bash
# DLLs named like system DLLs beside setup.exe and uninstall.exe and in their current folder, with
# Wine told to prefer such native DLLs (as Windows' search order would find them there before
# System32): neither program loads one, on the whole way through the wizard and a silent
# uninstallation. A program that does not restrict its search, given the same folder, does load
# them: the trap is armed.
#   planted_dll_test.sh QZPACK STUB UNINSTALLER WALKER PLANTED_DLL
# WINEPREFIX and QZ_WINE (the Wine runner) come from the environment.
set -euo pipefail
qzpack=$1 stub=$2 uninstaller=$3 walker=$4 planted=$5
work=$(mktemp -d "${TMPDIR:-/tmp}/qz-planted.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
host() { local p=Z:$1; echo "${p//\//\\}"; }
names=(version.dll uxtheme.dll dwmapi.dll comctl32.dll shell32.dll propsys.dll)
plant() { for name in "${names[@]}"; do cp "$planted" "$1/$name"; done; }
# Runs a Windows program from folder $1 with the loader's trace in $2.
traced() {
  local folder=$1 trace=$2
  shift 2
  (cd "$folder" && WINEDEBUG=+loaddll \
    WINEDLLOVERRIDES="version,uxtheme,dwmapi,comctl32,shell32,propsys=n,b;winemenubuilder.exe=d" \
    "$QZ_WINE" "$@" 2>"$trace")
}
# The planted DLLs a trace shows loaded, and their marker files.
loaded() {
  grep -i -E "Loaded L\"Z:[^\"]*($(IFS='|'; echo "${names[*]}"))\"" "$1" || true
  ls "$2"/*.loaded 2>/dev/null || true
}

mkdir -p "$work/downloads" "$work/payload"
printf 'read me\r\n' > "$work/payload/readme.txt"
installed=$work/installed
cat > "$work/planted.toml" <<TOML
title = "Planted Demo"
defaultDestination = '$(host "$installed")'
source = "payload"
uninstaller = true
[[component]]
name = "Everything"
required = true
files = ["readme.txt"]
TOML
"$qzpack" build "$work/planted.toml" -o "$work/downloads/planted-demo.exe" --stub "$stub" \
  --uninstaller "$uninstaller" >/dev/null
plant "$work/downloads"

echo "== the trap is armed: a program that imports user32 the usual way loads them"
cp "$walker" "$work/downloads/walker.exe"
traced "$work/downloads" "$work/armed.txt" walker.exe || true
[ -n "$(loaded "$work/armed.txt" "$work/downloads")" ] || fail "no planted DLL loaded even unprotected"
rm -f "$work/downloads"/*.loaded "$work/downloads/walker.exe"

echo "== setup.exe, through its whole wizard"
status=0
traced "$work/downloads" "$work/setup.txt" "$walker" "$(host "$work/downloads/planted-demo.exe")" \
  > "$work/walk.txt" || status=$?
found=$(loaded "$work/setup.txt" "$work/downloads")
[ -z "$found" ] || fail "setup.exe loaded: $found"
grep -q 'planted-demo.exe" at .*: native' "$work/setup.txt" || fail "the trace shows no setup run"
[ "$status" -eq 0 ] && grep -q "Installation finished" "$work/walk.txt" ||
  fail "wizard walk ($status): $(cat "$work/walk.txt")"

echo "== uninstall.exe /S, from the install folder"
plant "$installed"
status=0
traced "$installed" "$work/uninstall.txt" "$(host "$installed/uninstall.exe")" /S || status=$?
found=$(loaded "$work/uninstall.txt" "$installed")
[ -z "$found" ] || fail "uninstall.exe loaded: $found"
[ "$status" -eq 0 ] || fail "uninstall.exe /S ended with $status"
grep -q 'uninstall.exe" at .*: native' "$work/uninstall.txt" || fail "the trace shows no uninstall run"
[ ! -e "$installed/readme.txt" ] || fail "the installed file stayed"
echo "planted DLLs: none loaded"
