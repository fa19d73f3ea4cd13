#!/usr/bin/env bash
# qzpack build with one job against one job per core, on a payload of a few thousand files:
# real files of this machine (headers, shared libraries, documentation) beside generated text and
# binary data, tens of MiB, made by bench/payloads.py in a temporary folder and removed at the
# end. The two builds run alternately, three rounds; each keeps its best wall-clock time. Also
# checks that both made the same bytes. Run by hand: bench/qzpack/compare.sh
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

python3 - "$top/build/native-release/tools/qzpack/qzpack" "$top/$stub" "$work" "$top/bench" <<'PY'
import filecmp, os, subprocess, sys, time

qzpack, stub, work, bench = sys.argv[1:]
sys.path.insert(0, bench)
import payloads

ROUNDS = 3
MiB = 1 << 20
made, kinds = payloads.packing(os.path.join(work, "payload"))
files, size = made.count, made.bytes
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
