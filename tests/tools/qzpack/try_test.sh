#!/usr/bin/env bash
# qzpack try on the example package, each case in a throw-away Wine prefix of its own:
#   try_test.sh QZPACK STUB UNINSTALLER WALKER installs|required-field|damaged
# installs: the answers reach the wizard, the printed files are the package's entries with their
# sizes, the links carry their targets, arguments and folders, a screenshot per page is kept, and
# the prefix is gone afterwards. required-field and damaged: non-zero, with setup's own reason.
set -euo pipefail
qzpack=$1 stub=$2 uninstaller=$3 case=$5
export QZPACK_WALKER=$4
top=$(cd "$(dirname "$0")/../../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/qz-try.XXXXXX")
trap 'rm -rf "$work"' EXIT
export TMPDIR=$work/tmp  # where the throw-away prefix goes, to see that it is gone
mkdir -p "$TMPDIR"
fail() { echo "FAIL: $*" >&2; exit 1; }

"$qzpack" build "$top/examples/demo/demo.toml" -o "$work/demo.exe" --stub "$stub" \
  --uninstaller "$uninstaller" >/dev/null
try() { status=0; "$qzpack" try "$@" >"$work/out.txt" 2>"$work/err.txt" || status=$?; }

case $case in
installs)
  try "$work/demo.exe" --destination 'C:\Tried\Tarn' --field username=Ann --method custom \
    --component 1 --component "Program files" --shots "$work/shots"
  [ "$status" -eq 0 ] || fail "exit $status: $(cat "$work/out.txt" "$work/err.txt")"
  grep -qx 'page: Your name: "Ann"' "$work/out.txt" || fail "the field: $(cat "$work/out.txt")"
  grep -qx '  \[x\] 1 Sound track' "$work/out.txt" || fail "the components: $(cat "$work/out.txt")"
  # Every entry of the package (both components are chosen), with its size, and nothing else.
  "$qzpack" extract "$work/demo.exe" "$work/packed" >/dev/null
  expected=$(cd "$work/packed" && find . -type f -printf '%s %P\n' | tr / '\\' | sort)
  printed=$(sed -n '/^files installed into C:\\Tried\\Tarn:$/,/^shortcuts:$/p' "$work/out.txt" |
            sed '1d;$d' | awk '{print $1, $2}' | sort)
  [ "$printed" = "$expected" ] || fail "files printed: $printed; packed: $expected"
  links=$(sed -n '/^shortcuts:$/,/^install log/p' "$work/out.txt")
  for line in 'Desktop\Tarn Demo.lnk' 'target: C:\Tried\Tarn\readme.txt' \
              'arguments: /fullscreen' 'working directory: C:\Tried\Tarn' \
              'Programs\Corvalline\Tarn Demo\Uninstall.lnk' 'target: C:\Tried\Tarn\uninstall.exe'; do
    grep -qF "$line" <<<"$links" || fail "no \"$line\" among the links: $links"
  done
  grep -q '^install log C:\\Tried\\Tarn\\_qzsetup.log, 9 records:$' "$work/out.txt" ||
    fail "the log: $(cat "$work/out.txt")"
  shots=$(ls "$work/shots" | tr '\n' ' ')
  [ "$shots" = "01-confirmation.bmp 02-information.bmp 03-method.bmp 04-components.bmp 05-field-0.bmp 06-field-1.bmp 07-destination.bmp 08-install.bmp 09-finished.bmp 10-last-words.bmp " ] ||
    fail "screenshots: $shots"
  [ -z "$(ls -A "$TMPDIR")" ] || fail "left behind: $(ls -A "$TMPDIR")"
  ;;
required-field)
  try "$work/demo.exe"
  [ "$status" -eq 1 ] || fail "exit $status: $(cat "$work/out.txt")"
  tail -1 "$work/out.txt" | grep -qx 'the installation did not finish: setup.exe said: This field is required. Please fill it.' ||
    fail "the verdict: $(cat "$work/out.txt")"
  [ -z "$(ls -A "$TMPDIR")" ] || fail "left behind: $(ls -A "$TMPDIR")"
  ;;
damaged)
  # Bad bytes halfway through the archive, in the largest entry's data: setup finds them during
  # the run.
  cp "$work/demo.exe" "$work/bad.exe"
  middle=$(( ($(stat -c %s "$stub") + $(stat -c %s "$work/bad.exe")) / 2 ))
  printf '\125\125\125\125' | dd of="$work/bad.exe" bs=1 seek=$middle conv=notrunc 2>/dev/null
  "$qzpack" verify "$work/bad.exe" >/dev/null 2>&1 && fail "verify finds no damage to try"
  try "$work/bad.exe" --field USERNAME=Ann
  [ "$status" -eq 1 ] || fail "exit $status: $(cat "$work/out.txt")"
  tail -1 "$work/out.txt" | grep -q '^the installation did not finish: setup.exe said: Error in VFS' ||
    fail "the verdict: $(cat "$work/out.txt")"
  # A header that cannot be read is refused before Wine starts.
  head -c 2000 "$work/demo.exe" >"$work/cut.exe"
  try "$work/cut.exe"
  [ "$status" -eq 2 ] && grep -q 'cut.exe: setup header: ' "$work/err.txt" ||
    fail "exit $status: $(cat "$work/err.txt")"
  ;;
*) fail "unknown case $case" ;;
esac
echo "qzpack try, $case: ok"
