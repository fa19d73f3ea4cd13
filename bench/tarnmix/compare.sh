#!/usr/bin/env bash
# Rendering speed beside the players people use instead: real 4-channel MODs from Debian's game
# data packages rendered by modrender (native-release), xmp and openmpt123, 44.1 kHz mono,
# nearest neighbour, output thrown away. Each module is rendered by the three in turn, three
# rounds; each keeps its best CPU time per module. Prints seconds of audio per CPU second with
# ratios, then the mixer bench (the worst part against its 50 ms budget).
# Run by hand: bench/tarnmix/compare.sh [MORE.mod ...]
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top"

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
missing=()
command -v xmp >/dev/null || missing+=(xmp)
command -v openmpt123 >/dev/null || missing+=(openmpt123)
if [ ${#missing[@]} -gt 0 ]; then
  as_root apt-get update -qq
  as_root apt-get install -y -qq "${missing[@]}" >/dev/null
fi

cmake --preset native-release >/dev/null
cmake --build --preset native-release --target modrender tarnmix_mixer_bench >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mapfile -d '' -t mods < <(bench/tarnmix/fetch-mods.sh "$work" "$@")
[ ${#mods[@]} -gt 0 ] || exit 1

python3 - "$top/build/native-release/tools/modrender/modrender" "${mods[@]}" <<'EOF'
import os, resource, subprocess, sys

modrender, mods = sys.argv[1], sys.argv[2:]
ROUNDS = 3

# Each command writes raw audio to stdout (ours to the file named), 44100 samples a second.
players = {
    "tarnmix": (lambda m, out: [modrender, m, "-o", out], 1),
    "xmp": (lambda m, out: ["xmp", "-m", "-b", "8", "-f", "44100", "-i", "nearest", "-o", "-", m], 1),
    "openmpt123": (lambda m, out: ["openmpt123", "--batch", "--stdout", "--channels", "1",
                                   "--no-float", "--filter", "1", m], 2),  # 16-bit samples
}

def cpu_seconds(argv, stdout):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(argv, stdout=stdout, stderr=subprocess.DEVNULL, check=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)

def audio_seconds(name, mod):
    make, width = players[name]
    raw = os.path.join(os.environ.get("TMPDIR", "/tmp"), "tarnmix-compare-%d.raw" % os.getpid())
    try:
        if name == "tarnmix":
            cpu_seconds(make(mod, raw), subprocess.DEVNULL)
        else:
            with open(raw, "wb") as out:
                cpu_seconds(make(mod, "-"), out)
        return os.path.getsize(raw) / width / 44100
    finally:
        if os.path.exists(raw):
            os.remove(raw)

audio = {name: 0.0 for name in players}
cpu = {name: 0.0 for name in players}
with open(os.devnull, "wb") as null:
    for mod in mods:
        best = {}
        for name in players:
            audio[name] += audio_seconds(name, mod)  # also warms the file cache
        for _ in range(ROUNDS):
            for name, (make, _) in players.items():
                t = cpu_seconds(make(mod, os.devnull), null)
                best[name] = min(best.get(name, t), t)
        for name in players:
            cpu[name] += best[name]

rate = {name: audio[name] / cpu[name] for name in players}
print("Rendering %d real 4-channel MODs, 44.1 kHz mono, nearest neighbour, output to /dev/null"
      % len(mods))
print("(best of %d per module, players in turn; seconds of audio per CPU second)" % ROUNDS)
print()
print("| Player | Audio (s) | CPU (s) | s of audio per CPU s | tarnmix ratio |")
print("|---|---|---|---|---|")
for name in players:
    print("| %s | %.1f | %.3f | %.0f | %.2fx |" % (name, audio[name], cpu[name], rate[name],
                                                  rate["tarnmix"] / rate[name]))
EOF

echo
echo "== mixer bench: the worst part against its 50 ms budget"
build/native-release/bench/tarnmix/tarnmix_mixer_bench
