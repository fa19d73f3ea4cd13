#!/usr/bin/env bash
# modrender --check over the real 4-channel MODs that bench/tarnmix/compare.sh renders: one line
# per module, then how many use nothing that tarnmix ignores. Run by hand:
#   bench/tarnmix/check-mods.sh [MORE.mod ...]   (-v: each module's whole report)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top"
verbose=0
if [ "${1:-}" = -v ]; then verbose=1; shift; fi

cmake --preset native-release >/dev/null
cmake --build --preset native-release --target modrender >/dev/null
modrender=build/native-release/tools/modrender/modrender

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mapfile -d '' -t mods < <(bench/tarnmix/fetch-mods.sh "$work" "$@")
[ ${#mods[@]} -gt 0 ] || exit 1

clean=0 ignoring=0 clamped=0 past=0 jumps=0 refused=0
for mod in "${mods[@]}"; do
  status=0
  report=$("$modrender" --check "$mod") || status=$?
  [ "$verbose" -eq 1 ] && printf '%s\n\n' "$report"
  summary=$(sed -n 's/^summary: //p' <<<"$report")
  printf '%s: %s\n' "${mod#"$work/root/"}" "${summary:-not a module (exit $status)}"
  if [ "$status" -ne 0 ]; then refused=$((refused + 1)); continue; fi
  grep -q '^ignores: ' <<<"$report" && ignoring=$((ignoring + 1)) || clean=$((clean + 1))
  grep -q '^loop clamped: ' <<<"$report" && clamped=$((clamped + 1))
  grep -q "^past the data: " <<<"$report" && past=$((past + 1))
  grep -q "^past the song: " <<<"$report" && jumps=$((jumps + 1))
done
echo "${#mods[@]} modules: $clean use nothing that tarnmix ignores, $ignoring use effects it" \
  "ignores; $clamped have loops clamped to their data, $past read past their data, $jumps jump" \
  "past the song's end; $refused refused"
