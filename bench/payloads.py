#!/usr/bin/env python3
"""The benchmarks' payloads, made from files found on this machine and generated data.

For the installation benchmark (bench/install): mixed(ROOT), about 64 MiB of shared libraries,
headers and docs found here plus generated text and binary data, and small(ROOT), 5,000 small
files in folders (small headers found here, topped up with generated text). Names that Windows
would take for the same file (letter case) or could not hold are left out.
For the packager benchmark (bench/qzpack): packing(ROOT), a few thousand files of tens of MiB
under numbered names, real headers, libraries and documentation beside generated texts and data.

Files are picked in sorted order and the generated ones from fixed seeds, so a machine gets the
same payloads on every run; only packing's data files hold stretches of fresh noise.
payloads.py DIR makes DIR/mixed and DIR/small.
"""
import os
import random
import re
import sys

MIB = 1 << 20
WORDS = ("install setup the folder file of and program data level sound music player a to "
         "is in for with on read write table index value").split()
BAD_NAME = re.compile(r'[<>:"|?*\\\x00-\x1f]|[. ]$')


def real_files(root, accept):
    """Regular files below root (no links), sorted by path, that accept(path, size) takes."""
    found = []
    for folder, dirs, files in os.walk(root):
        dirs.sort()
        for name in sorted(files):
            path = os.path.join(folder, name)
            if os.path.islink(path) or not os.path.isfile(path):
                continue
            size = os.path.getsize(path)
            if accept(path, size):
                found.append((path, size))
    return found


def text(rng, size):
    out, length = [], 0
    while length < size:
        word = rng.choice(WORDS) + ("\n" if rng.random() < 0.1 else " ")
        out.append(word)
        length += len(word)
    return "".join(out).encode()[:size]


def binary(rng, size, kind):
    if kind == 0:  # structured: little-endian counters with some noise, like tables and code
        return b"".join(((i * 3 + rng.randrange(4)) & 0xFFFFFFFF).to_bytes(4, "little")
                        for i in range(size // 4)).ljust(size, b"\0")
    if kind == 1:  # runs of few values, like bitmaps and level data
        out = bytearray()
        while len(out) < size:
            out += bytes([rng.randrange(4)]) * rng.randrange(1, 200)
        return bytes(out[:size])
    return rng.randbytes(size)  # already compressed media: no gain


class Payload:
    def __init__(self, root):
        self.root, self.bytes, self.count = root, 0, 0
        self.files, self.folders = set(), set()  # lower case: Windows ignores letter case

    def add(self, name, data=None, source=None):
        """Adds a file under name (with '/'); false when Windows could not hold it apart."""
        parts = name.split("/")
        if any(not p or BAD_NAME.search(p) for p in parts) or len(name) > 200:
            return False
        key = name.lower()
        # A second file of the same name, or a file where another needs a folder (or the other
        # way round), cannot install.
        folders = ["/".join(parts[:i]).lower() for i in range(1, len(parts))]
        if key in self.files or key in self.folders or any(f in self.files for f in folders):
            return False
        self.files.add(key)
        self.folders.update(folders)
        self.place(parts, data, source)
        return True

    def place(self, parts, data=None, source=None):
        """Writes the file at the path parts, from data or a copy of source, unchecked."""
        path = os.path.join(self.root, *parts)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if source:
            with open(source, "rb") as f:
                data = f.read()
        with open(path, "wb") as f:
            f.write(data)
        self.bytes += len(data)
        self.count += 1


def take(payload, files, budget, prefix, strip):
    start = payload.bytes
    for path, size in files:
        if payload.bytes - start + size > budget:
            continue
        payload.add(prefix + os.path.relpath(path, strip), source=path)


def mixed(root):
    p = Payload(root)
    take(p, real_files("/usr/lib/x86_64-linux-gnu",
                       lambda path, size: ".so" in os.path.basename(path) and
                       256 * 1024 <= size <= 6 * MIB),
         24 * MIB, "lib/", "/usr/lib/x86_64-linux-gnu")
    take(p, real_files("/usr/include", lambda path, size: path.endswith(".h") and size >= 48 * 1024),
         10 * MIB, "include/", "/usr/include")
    take(p, real_files("/usr/share/doc", lambda path, size: size >= 24 * 1024),
         8 * MIB, "doc/", "/usr/share/doc")
    rng = random.Random(2026)
    i = 0
    while p.bytes < 64 * MIB:
        size = min(rng.randrange(256 * 1024, 3 * MIB), 64 * MIB - p.bytes)
        if i % 2 == 0:
            p.add("data/text%03d.txt" % i, text(rng, size))
        else:
            p.add("data/blob%03d.bin" % i, binary(rng, size, (i // 2) % 3))
        i += 1
    return p


def small(root):
    p = Payload(root)
    for path, size in real_files("/usr/include", lambda path, size: 0 < size <= 16 * 1024):
        if p.count == 5000:
            break
        p.add(os.path.relpath(path, "/usr/include"), source=path)
    rng = random.Random(5000)
    i = 0
    while p.count < 5000:
        p.add("extra/%02d/note%04d.txt" % (i // 100, i), text(rng, rng.randrange(200, 8192)))
        i += 1
    return p


PACKING_WORDS = ("tarn wizard archive entry stream block header folder shortcut module sample "
                 "pattern channel mixer setup install component payload manifest package "
                 "compress").split()


def spread(found, count, budget):
    """Up to count of found's paths, evenly spaced over it, within budget bytes in all."""
    step = max(1, len(found) // count)
    chosen, total = [], 0
    for path, size in found[::step]:
        if len(chosen) == count or total + size > budget:
            break
        chosen.append(path)
        total += size
    return chosen


def packing(root):
    """The packager benchmark's payload; returns it and the number of files of each kind."""
    p, kinds = Payload(root), {}

    # Numbered names, in folders of a hundred: the machine's own names may clash on Windows.
    def place(ext, data=None, source=None):
        p.place(["%03d" % (p.count // 100), "%05d%s" % (p.count, ext)], data, source)

    def real(kind, root, name_ok, count, budget, largest):
        found = sorted(real_files(root, lambda path, size: name_ok(os.path.basename(path)) and
                                  0 < size <= largest))
        chosen = spread(found, count, budget)
        for path in chosen:
            place(re.sub(r"[^A-Za-z0-9.]", "", os.path.splitext(path)[1])[:8], source=path)
        kinds[kind] = len(chosen)

    real("headers", "/usr/include", lambda name: True, 1800, 14 * MIB, MIB)
    real("shared libraries", "/usr/lib/x86_64-linux-gnu", lambda name: ".so" in name, 40,
         14 * MIB, 3 * MIB)
    real("documentation", "/usr/share/doc", lambda name: True, 600, 4 * MIB, MIB)
    rng = random.Random(13)
    for _ in range(1200):
        lines = (" ".join(rng.choice(PACKING_WORDS) for _ in range(rng.randint(3, 14))) +
                 " %d" % rng.randint(0, 99999) for _ in range(rng.randint(10, 300)))
        place(".txt", "\n".join(lines).encode())
    kinds["generated texts"] = 1200
    for _ in range(12):
        # Runs of one byte between stretches of noise, as in data files.
        data = bytearray()
        while len(data) < 768 * 1024:
            run = rng.randint(1, 400)
            data += os.urandom(run) if rng.random() < 0.4 else bytes([rng.randrange(256)]) * run
        place(".dat", bytes(data))
    kinds["generated data"] = 12
    return p, kinds


def main():
    out = sys.argv[1]
    for name, make in (("mixed", mixed), ("small", small)):
        p = make(os.path.join(out, name))
        print("%s: %d files, %.1f MiB" % (name, p.count, p.bytes / MIB))


if __name__ == "__main__":
    main()
