#!/usr/bin/env python3
"""The host side of killed-install.sh: makes the large payload and judges a destination folder.

  killed-install.py payload DIR                   a few thousand files, tens of MiB
  killed-install.py killed PAYLOAD DEST           what a user finds after a kill
  killed-install.py installed PAYLOAD DEST WINDEST  a whole installation, checked
  killed-install.py removed DEST                  what is left after uninstall.exe
Each judging command prints one line; installed and removed exit 1 when they find a fault.
"""
import os
import random
import sys

LOG = "_qzsetup.log"
OURS_BESIDE_PAYLOAD = {"uninstall.exe", "Read me.lnk"}


def make_payload(root):
    rng = random.Random(22)
    words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
             for _ in range(400)]

    def text(size):
        out = bytearray()
        while len(out) < size:
            out += rng.choice(words) + (b"\r\n" if rng.random() < 0.1 else b" ")
        return bytes(out[:size])

    def content(size):
        kind = rng.random()
        if kind < 0.5:
            return text(size)  # compresses well
        if kind < 0.85:
            return rng.randbytes(size)  # does not compress at all
        return bytes([rng.randrange(4)]) * size  # compresses to almost nothing

    sizes = [rng.randint(0, 16384) for _ in range(2900)]
    sizes += [rng.randint(65536, 512 << 10) for _ in range(90)]
    sizes += [rng.randint(1 << 20, 2 << 20) for _ in range(10)]
    rng.shuffle(sizes)
    for i, size in enumerate(sizes):
        folder = os.path.join(root, "part%02d" % (i % 40), "sub%d" % (i % 3))
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "file%04d.dat" % i), "wb") as f:
            f.write(content(size))
    print("payload: %d files, %.1f MiB" % (len(sizes), sum(sizes) / 1048576))


def files_below(root):
    found = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            found[os.path.relpath(path, root)] = path
    return found


def log_records(path):
    """The whole records of a log, and how it ends: 'whole' or what cuts it short."""
    data = open(path, "rb").read()
    records, at = [], 0
    while at < len(data):
        if data[at] not in (1, 2):
            return records, "a byte %d where a record type should be at byte %d" % (data[at], at)
        end = data.find(b"\0", at + 1)
        if end < 0:
            return records, "its last record cut short after %d bytes" % (len(data) - at)
        records.append((data[at], data[at + 1:end].decode("cp1252")))
        at = end + 1
    return records, "whole"


def same(path, payload_path):
    with open(path, "rb") as a, open(payload_path, "rb") as b:
        return a.read() == b.read()


def killed(payload, dest):
    expected = files_below(payload)
    there = files_below(dest)
    there.pop(LOG, None)
    partial = [rel for rel, path in there.items() if rel in expected
               and not same(path, expected[rel])]
    whole = len([rel for rel in there if rel in expected]) - len(partial)
    details = "".join(" (%s, %d of %d bytes)" % (rel, os.path.getsize(there[rel]),
                                                  os.path.getsize(expected[rel]))
                      for rel in partial)
    line = "%d files there: %d of the payload's %d whole, %d partial%s, %s" % (
        len(there), whole, len(expected), len(partial), details,
        "uninstall.exe" if "uninstall.exe" in there else "no uninstall.exe")
    if not os.path.exists(os.path.join(dest, LOG)):
        return line + "; no log"
    records, end = log_records(os.path.join(dest, LOG))
    logged_partial = [p for _, p in records if p.split("\\")[-1] in
                      {rel.split(os.sep)[-1] for rel in partial}]
    return line + "; log: %d bytes, %d whole records, %s%s" % (
        os.path.getsize(os.path.join(dest, LOG)), len(records), end,
        ", LISTS A PARTIAL FILE" if logged_partial else "")


def installed(payload, dest, windest):
    expected = files_below(payload)
    there = files_below(dest)
    faults = []
    for rel, path in expected.items():
        if rel not in there:
            faults.append("missing " + rel)
        elif not same(there[rel], path):
            faults.append("differs " + rel)
    extra = set(there) - set(expected) - OURS_BESIDE_PAYLOAD - {LOG}
    faults += ["not ours " + rel for rel in sorted(extra)]
    records, end = log_records(os.path.join(dest, LOG)) if LOG in there else ([], "no log")
    if end != "whole":
        faults.append("log: " + end)
    logged = [p for _, p in records]
    created = {windest + "\\" + rel.replace(os.sep, "\\")
               for rel in set(there) - {LOG}}
    if len(logged) != len(set(logged)):
        faults.append("log lists a path twice")
    if set(logged) != created:
        faults.append("log lists %d paths, %d not created, %d created not listed" % (
            len(set(logged)), len(set(logged) - created), len(created - set(logged))))
    print("%d files equal to the payload, log of %d records%s" % (
        len(expected) - len([f for f in faults if f.startswith(("missing", "differs"))]),
        len(records), "; FAULTS: " + ", ".join(faults[:10]) if faults else ""))
    return 1 if faults else 0


def removed(dest):
    if not os.path.exists(dest):
        print("nothing left")
        return 0
    left = sorted(files_below(dest))
    print("LEFT: %d files: %s" % (len(left), ", ".join(left[:10])))
    return 1


def main(argv):
    if argv[1:2] == ["payload"] and len(argv) == 3:
        make_payload(argv[2])
    elif argv[1:2] == ["killed"] and len(argv) == 4:
        print(killed(argv[2], argv[3]))
    elif argv[1:2] == ["installed"] and len(argv) == 5:
        return installed(argv[2], argv[3], argv[4])
    elif argv[1:2] == ["removed"] and len(argv) == 3:
        return removed(argv[2])
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
