#!/usr/bin/env python3
"""Removal speed beside installation speed, on the installation benchmark's two payloads.

measure.py TOP WORK TARGET: TOP is the source tree, with qzpack built by the native-release preset
and setup.exe, uninstall.exe and install_throughput.exe by the win64 one; WORK an empty folder for
the payloads and packages, TARGET one for the installations. A Wine session for build/win64 must
be running (WINEPREFIX set). Each round installs a payload with the installation engine (timed as
a whole process, Wine's start-up included) and removes it with `uninstall.exe /S` (timed the same
way, and until its clean-up copy has deleted the emptied folder); three rounds, best of each.
"""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "install"))
import payloads  # noqa: E402
from measure import MIB, build_package, run, windows  # noqa: E402

ROUNDS = int(os.environ.get("QZ_BENCH_ROUNDS", "3"))


class Payload:
    def __init__(self, top, work, target, name, made):
        self.name, self.source, self.files, self.bytes = name, made.root, made.count, made.bytes
        self.dest = os.path.join(target, name)
        self.package = build_package(top, os.path.join(work, name), self.dest, self.source,
                                     "uninstaller = true\n")


def wait_gone(path, deadline=120):
    start = time.perf_counter()
    while os.path.exists(path):
        if time.perf_counter() - start > deadline:
            raise SystemExit("%s is still there %d s after the uninstaller ended" % (path, deadline))
        time.sleep(0.005)


def main():
    top, work, target = sys.argv[1:4]
    wine = [os.path.join(top, "scripts/wine-run")]
    engine = os.path.join(top, "build/win64/bench/install/install_throughput.exe")
    made = os.path.join(work, "payload")
    both = [Payload(top, work, target, "mixed", payloads.mixed(os.path.join(made, "mixed"))),
            Payload(top, work, target, "small", payloads.small(os.path.join(made, "small")))]
    os.sync()
    best = {}

    def timed(key, seconds):
        best[key] = min(best.get(key, seconds), seconds)
        print("  %s, %s: %.3f s" % (key[0], key[1], seconds), file=sys.stderr)

    for r in range(ROUNDS):
        for p in both:
            start = time.perf_counter()
            run(wine + [engine, windows(p.package), windows(p.dest)])
            timed((p.name, "install"), time.perf_counter() - start)
            if r == 0:
                installed = sum(len(f) for _, _, f in os.walk(p.dest))
                if installed != p.files + 2:  # and the install log and uninstall.exe
                    raise SystemExit("%s holds %d files, not %d" % (p.dest, installed, p.files + 2))
            start = time.perf_counter()
            out = run(wine + [windows(os.path.join(p.dest, "uninstall.exe")), "/S"])
            timed((p.name, "uninstall"), time.perf_counter() - start)
            if out.strip():  # a whole removal has nothing to report
                print("  uninstall.exe /S reported %d lines:\n%s"
                      % (out.count("\n"), out[:1000]), file=sys.stderr)
            wait_gone(p.dest)
            timed((p.name, "until gone"), time.perf_counter() - start)
    print("Installation into %s and removal, best of %d rounds; whole processes, Wine's start-up "
          "included" % (target, ROUNDS))
    print()
    print("| Payload | Installing (engine) | Removing (`uninstall.exe /S`) | Until the folder is gone "
          "| Removal / installation |")
    print("|---|---|---|---|---|")
    for p in both:
        i, u, g = best[(p.name, "install")], best[(p.name, "uninstall")], best[(p.name, "until gone")]
        print("| %s files, %.1f MiB | %.2f s | %.2f s | %.2f s | %.2f |"
              % (format(p.files, ","), p.bytes / MIB, i, u, g, g / i))


if __name__ == "__main__":
    main()
