#!/usr/bin/env python3
"""Installation speed beside NSIS and native bzip2, on payloads built from this machine's files.

measure.py TOP WORK TARGET: TOP is the source tree, with qzpack built by the native-release preset
and setup.exe, install_throughput.exe and qzwalk.exe by the win64 one; WORK an empty folder
for the payloads and packages, TARGET one for the installations. A Wine session for build/win64
must be running (DISPLAY and WINEPREFIX set). Every contender runs once per round, in turn, three rounds; each
keeps its best time. The first round checks every installation against its payload.
"""
import bz2
import filecmp
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import payloads  # noqa: E402  (bench/payloads.py, shared with the packager benchmark)

ROUNDS = 3
MIB = 1 << 20


def run(argv):
    """The output of argv. Through a file, not a pipe: Wine's helper processes (the desktop)
    inherit it and keep a pipe open for seconds after the program has ended."""
    with tempfile.TemporaryFile("w+") as out:
        subprocess.run(argv, check=True, stdout=out, stderr=subprocess.STDOUT)
        out.seek(0)
        return out.read()


def windows(path):
    return "Z:" + path.replace("/", "\\")


def same_tree(installed, source):
    """Raises unless installed holds exactly source's files (and perhaps the install log)."""
    for folder, _, files in os.walk(source):
        for name in files:
            path = os.path.join(folder, name)
            copy = os.path.join(installed, os.path.relpath(path, source))
            if not os.path.isfile(copy) or not filecmp.cmp(path, copy, shallow=False):
                raise SystemExit("installed %s differs from its source" % copy)
    count = sum(len(f) for _, _, f in os.walk(installed))
    expected = sum(len(f) for _, _, f in os.walk(source))
    if count not in (expected, expected + 1):
        raise SystemExit("%s holds %d files, not %d" % (installed, count, expected))


def build_package(top, base, dest, source, extra=""):
    """Packs source (installing into dest) with the win64 stub into base-ours.exe; its path.
    extra: more manifest lines before the component."""
    with open(base + ".toml", "w") as f:
        # A literal string: the backslashes stay as they are.
        f.write("title = \"Bench\"\ndefaultDestination = '%s'\nsource = '%s'\n%s"
                "[[component]]\nname = \"All\"\nrequired = true\nfiles = [\"**\"]\n"
                % (windows(dest), source, extra))
    run([os.path.join(top, "build/native-release/tools/qzpack/qzpack"), "build",
         base + ".toml", "-o", base + "-ours.exe",
         "--stub", os.path.join(top, "build/win64/setup/setup.exe")])
    return base + "-ours.exe"


class Payload:
    def __init__(self, top, work, target, name, made):
        self.name, self.source, self.files, self.bytes = name, made.root, made.count, made.bytes
        self.dest = os.path.join(target, name)
        base = os.path.join(work, name)
        self.ours = build_package(top, base, self.dest, self.source)
        with open(base + ".nsi", "w") as f:
            f.write('Unicode true\nTarget amd64-unicode\nSetCompressor bzip2\nName "Bench"\n'
                    'OutFile "%s-nsis.exe"\nInstallDir "C:\\bench"\nRequestExecutionLevel user\n'
                    'Section\n  SetOutPath "$INSTDIR"\n  File /r "%s/*"\nSectionEnd\n'
                    % (base, self.source))
        run(["makensis", "-V1", base + ".nsi"])
        self.nsis = base + "-nsis.exe"
        # The same files as one file of bzip2 streams back to back, each as qzpack makes it.
        self.streams = base + ".bz2"
        with open(self.streams, "wb") as out:
            for folder, _, files in os.walk(self.source):
                for name in files:
                    with open(os.path.join(folder, name), "rb") as f:
                        out.write(bz2.compress(f.read(), 9))


class Bench:
    def __init__(self, top):
        self.top = top
        self.wine = [os.path.join(top, "scripts/wine-run")]
        self.best = {}

    def timed(self, key, seconds):
        self.best[key] = min(self.best.get(key, seconds), seconds)
        print("  %s, %s: %.3f s" % (key[0], key[1], seconds), file=sys.stderr)

    def engine(self, p, sharing, check):
        start = time.perf_counter()
        out = run(self.wine + [os.path.join(self.top, "build/win64/bench/install/install_throughput.exe"),
                               windows(p.ours), windows(p.dest), sharing])
        # Also as a whole process timed from outside, Wine's start-up and all, as NSIS is timed.
        self.timed((p.name, "process-" + sharing), time.perf_counter() - start)
        self.timed((p.name, "engine-" + sharing), float(re.search(r" in ([0-9.]+) s", out).group(1)))
        if check:
            same_tree(p.dest, p.source)

    def setup(self, p, check):
        out = run(self.wine + [os.path.join(self.top, "build/win64/tools/qzwalk/qzwalk.exe"),
                               windows(p.ours)])
        if "setup exited with code 0" not in out:
            raise SystemExit("setup.exe did not finish:\n" + out[-2000:])
        self.timed((p.name, "setup"), float(re.search(r"installation: ([0-9.]+) s", out).group(1)))
        if check:
            same_tree(p.dest, p.source)

    def nsis(self, p, check):
        start = time.perf_counter()
        run(self.wine + [windows(p.nsis), "/S", "/D=" + windows(p.dest)])
        self.timed((p.name, "nsis"), time.perf_counter() - start)
        if check:
            same_tree(p.dest, p.source)

    def bzip2(self, p, check):
        with open(os.devnull, "wb") as null:
            start = time.perf_counter()
            subprocess.run(["bzip2", "-dc", p.streams], stdout=null, check=True)
            self.timed((p.name, "bzip2"), time.perf_counter() - start)

    def round(self, p, check):
        for contender in (lambda c: self.engine(p, "shared", c), lambda c: self.nsis(p, c),
                          lambda c: self.bzip2(p, c), lambda c: self.setup(p, c),
                          lambda c: self.engine(p, "alone", c)):
            shutil.rmtree(p.dest, ignore_errors=True)
            contender(check)
            shutil.rmtree(p.dest, ignore_errors=True)

    def rate(self, p, what):
        return p.bytes / MIB / self.best[(p.name, what)]


def table(bench, mixed, small):
    print("| What | This project | Peer, same work | Ratio |")
    print("|---|---|---|---|")
    for p, what in ((mixed, "%.1f MiB of real files and generated data (shared libraries, headers, "
                            "docs, text, binary; %d files, bzip2)" % (mixed.bytes / MIB, mixed.files)),
                    (small, "%s small files (%.1f MiB: small headers, generated notes; bzip2)"
                            % (format(small.files, ","), small.bytes / MIB))):
        ours, nsis = bench.rate(p, "engine-shared"), bench.rate(p, "nsis")
        print("| Installing %s under 64-bit Wine | %.1f MiB/s (the engine alone, no windows) | "
              "NSIS 3 amd64 installer, bzip2 per file, silent: %.1f MiB/s | %.2f× |"
              % (what, ours, nsis, ours / nsis))
        process = bench.rate(p, "process-shared")
        print("| The same, the engine's whole process (Wine's start-up included, timed as NSIS is) "
              "| %.1f MiB/s | NSIS as above | %.2f× |" % (process, process / nsis))
        print("| The same files, native single-stream `bzip2 -dc` | — | %.1f MiB/s | ours %.2f of it |"
              % (bench.rate(p, "bzip2"), ours / bench.rate(p, "bzip2")))
        print("| The same, the whole win64 `setup.exe` walked through its wizard (Next to the "
              "finish notice) | %.1f MiB/s | NSIS as above | %.2f× |"
              % (bench.rate(p, "setup"), bench.rate(p, "setup") / nsis))
        print("| The same, the engine decoding on one thread | %.1f MiB/s | NSIS as above | %.2f× |"
              % (bench.rate(p, "engine-alone"), bench.rate(p, "engine-alone") / nsis))


def main():
    top, work, target = sys.argv[1:4]
    made = os.path.join(work, "payload")
    mixed = Payload(top, work, target, "mixed", payloads.mixed(os.path.join(made, "mixed")))
    small = Payload(top, work, target, "small", payloads.small(os.path.join(made, "small")))
    # Writing back what was just made would slow the first rounds down.
    os.sync()
    bench = Bench(top)
    for r in range(ROUNDS):
        for p in (mixed, small):
            bench.round(p, r == 0)
    print("Installation into %s, best of %d rounds, contenders in turn; MiB of file content per "
          "second" % (target, ROUNDS))
    print()
    table(bench, mixed, small)


if __name__ == "__main__":
    main()
