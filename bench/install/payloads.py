#!/usr/bin/env python3
"""Builds the installation benchmark's payloads from files found on this machine.

payloads.py DIR makes DIR/mixed (about 64 MiB: shared libraries, headers and docs found here,
plus generated text and binary data) and DIR/small (5,000 small files in folders: small headers
found here, topped up with generated text). Files are picked in sorted order and the generated
ones from a fixed seed, so a machine gets the same payloads on every run. Names that Windows
would take for the same file (letter case) or could not hold are left out.
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
        path = os.path.join(self.root, *parts)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if source:
            with open(source, "rb") as f:
                data = f.read()
        with open(path, "wb") as f:
            f.write(data)
        self.bytes += len(data)
        self.count += 1
        return True


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


def main():
    out = sys.argv[1]
    for name, make in (("mixed", mixed), ("small", small)):
        p = make(os.path.join(out, name))
        print("%s: %d files, %.1f MiB" % (name, p.count, p.bytes / MIB))


if __name__ == "__main__":
    main()
