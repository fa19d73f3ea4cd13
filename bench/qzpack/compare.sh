#!/usr/bin/env bash
# qzpack build with one job against one job per core, on a payload of a few thousand files:
# real files of this machine (headers, shared libraries, documentation) beside generated text and
# binary data, tens of MiB, made in a temporary folder and removed at the end. The two builds run
# alternately, three rounds; each keeps its best wall-clock time. Also checks that both made the
# same bytes. Run by hand: bench/qzpack/compare.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top"

cmake --preset native-release >/dev/null
cmake --build --preset native-release --target qzpack >/dev/null
# The stub is the shipping one; its size does not matter here, only that it is a real stub.
stub=build/win32/setup/setup.exe
if [ ! -f "$stub" ]; then
  cmake --preset win32 >/dev/null
  cmake --build --preset win32 --target setup >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$top/build/native-release/tools/qzpack/qzpack" "$top/$stub" "$work" <<'PY'
import filecmp, os, random, re, shutil, subprocess, sys, time

qzpack, stub, work = sys.argv[1:]
payload = os.path.join(work, "payload")
ROUNDS = 3
MiB = 1 << 20

def real_files(root, pattern_ok, count, budget, largest):
    """Up to count regular files below root, spread over the sorted list, within budget bytes."""
    found = []
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            if not os.path.islink(path) and os.path.isfile(path) and pattern_ok(name):
                size = os.path.getsize(path)
                if 0 < size <= largest:
                    found.append(path)
    found.sort()
    step = max(1, len(found) // count)
    chosen, total = [], 0
    for path in found[::step]:
        size = os.path.getsize(path)
        if len(chosen) == count or total + size > budget:
            break
        chosen.append(path)
        total += size
    return chosen

# Real files are copied under numbered names: the machine's own names may clash on Windows.
n = 0
def place(data_or_path, ext):
    global n
    folder = os.path.join(payload, "%03d" % (n // 100))
    os.makedirs(folder, exist_ok=True)
    target = os.path.join(folder, "%05d%s" % (n, ext))
    if isinstance(data_or_path, bytes):
        with open(target, "wb") as out:
            out.write(data_or_path)
    else:
        shutil.copyfile(data_or_path, target)
    n += 1

kinds = {}
def add(kind, paths):
    for path in paths:
        place(path, re.sub(r"[^A-Za-z0-9.]", "", os.path.splitext(path)[1])[:8])
    kinds[kind] = len(paths)

add("headers", real_files("/usr/include", lambda s: True, 1800, 14 * MiB, MiB))
add("shared libraries", real_files("/usr/lib/x86_64-linux-gnu", lambda s: ".so" in s, 40, 14 * MiB, 3 * MiB))
add("documentation", real_files("/usr/share/doc", lambda s: True, 600, 4 * MiB, MiB))

random.seed(13)
words = ("tarn wizard archive entry stream block header folder shortcut module sample pattern "
         "channel mixer setup install component payload manifest package compress").split()
texts = []
for i in range(1200):
    line_count = random.randint(10, 300)
    text = "\n".join(" ".join(random.choice(words) for _ in range(random.randint(3, 14)))
                     + " %d" % random.randint(0, 99999) for _ in range(line_count))
    place(text.encode(), ".txt")
kinds["generated texts"] = 1200
for i in range(12):
    # Runs of one byte between stretches of noise, as in data files.
    data = bytearray()
    while len(data) < 768 * 1024:
        run = random.randint(1, 400)
        data += os.urandom(run) if random.random() < 0.4 else bytes([random.randrange(256)]) * run
    place(bytes(data), ".dat")
kinds["generated data"] = 12

files = sum(len(names) for _, _, names in os.walk(payload))
size = sum(os.path.getsize(os.path.join(d, f)) for d, _, names in os.walk(payload) for f in names)
manifest = os.path.join(work, "bench.toml")
with open(manifest, "w") as out:
    out.write('title = "Bench"\ncompression = "bzip2"\nblockSize = 9\nsource = "payload"\n'
              '[[component]]\nname = "All"\nfiles = ["**"]\n')

cores = os.cpu_count() or 1
def build(jobs):
    output = os.path.join(work, "j%d.exe" % jobs)
    start = time.perf_counter()
    subprocess.run([qzpack, "build", manifest, "-o", output, "--stub", stub, "-j", str(jobs)],
                   check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start

best = {}
for _ in range(ROUNDS):
    for jobs in (1, cores):
        t = build(jobs)
        best[jobs] = min(best.get(jobs, t), t)
same = filecmp.cmp(os.path.join(work, "j1.exe"), os.path.join(work, "j%d.exe" % cores),
                   shallow=False)

print("qzpack build: %d files, %.1f MiB (%s), bzip2 block size 9, %d cores"
      % (files, size / MiB, ", ".join("%d %s" % (v, k) for k, v in kinds.items()), cores))
print("(native-release; the two builds alternately, best of %d wall-clock times)" % ROUNDS)
print()
print("| Jobs | Time (s) | MiB/s |")
print("|---|---|---|")
for jobs in (1, cores):
    print("| -j %d | %.2f | %.1f |" % (jobs, best[jobs], size / MiB / best[jobs]))
print()
print("-j %d is %.2fx as fast as -j 1; the outputs are %s" %
      (cores, best[1] / best[cores], "identical" if same else "DIFFERENT"))
if not same:
    sys.exit(1)
PY
