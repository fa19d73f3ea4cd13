#!/usr/bin/env python3
"""modrender end to end: output formats, lengths, the trace, failures; and the example module
generator reproducing the committed module. Usage: modrender_test.py MODRENDER EXAMPLES_DIR"""
import os
import struct
import subprocess
import sys
import tempfile
import unittest

MODRENDER = sys.argv[1] if len(sys.argv) > 1 else "modrender"
EXAMPLES = sys.argv[2] if len(sys.argv) > 2 else "examples/tarnmix"
SONG = os.path.join(EXAMPLES, "tarn-theme.mod")
PART = 2205


def run(*args):
    return subprocess.run([MODRENDER, *args], capture_output=True, text=True)


class Modrender(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.folder.cleanup()

    def path(self, name):
        return os.path.join(self.folder.name, name)

    def test_wav_header_and_raw_hold_the_same_samples(self):
        self.assertEqual(run(SONG, "-o", self.path("a.wav"), "--parts", "7").returncode, 0)
        self.assertEqual(run(SONG, "-o", self.path("a.raw"), "--seconds", "1").returncode, 0)
        wav = open(self.path("a.wav"), "rb").read()
        raw = open(self.path("a.raw"), "rb").read()
        riff, size, wave, fmt, fmt_size = struct.unpack("<4sI4s4sI", wav[:20])
        tag, channels, rate, byte_rate, align, bits = struct.unpack("<HHIIHH", wav[20:36])
        data, data_size = struct.unpack("<4sI", wav[36:44])
        self.assertEqual((riff, wave, fmt, fmt_size, data), (b"RIFF", b"WAVE", b"fmt ", 16, b"data"))
        self.assertEqual((tag, channels, rate, byte_rate, align, bits), (1, 1, 44100, 44100, 1, 8))
        self.assertEqual(data_size, 7 * PART)
        self.assertEqual(size, 36 + data_size)
        self.assertEqual(len(raw), 20 * PART)
        self.assertEqual(wav[44:], raw[:7 * PART])
        self.assertGreater(len(set(raw)), 100)  # music, not silence

    def test_default_renders_one_pass_of_the_song(self):
        result = run(SONG, "-o", self.path("whole.raw"))
        self.assertEqual(result.returncode, 0, result.stderr)
        parts = os.path.getsize(self.path("whole.raw")) // PART
        # Seven positions of 64 rows, one of them cut at row 48, at 5292 samples a row.
        expected = (6 * 64 + 48) * 5292 // PART + 1
        self.assertIn(parts, (expected, expected + 1))

    def test_trace_places_callbacks_by_output_sample(self):
        result = run(SONG, "--trace", "--parts", "160")
        self.assertEqual(result.returncode, 0, result.stderr)
        lines = result.stdout.splitlines()
        self.assertEqual(lines[0], "part 0 vu " + lines[0].split(" vu ")[1])
        self.assertIn("5292 newRow 1 63", lines)
        self.assertIn("338688 newPattern 1 0", lines)
        self.assertEqual(lines[lines.index("338688 newPattern 1 0") + 1], "338688 newRow 0 63")
        self.assertEqual(sum(1 for l in lines if l.startswith("part ")), 160)
        rows = [l for l in lines if " newRow " in l]
        self.assertEqual(len(rows), 160 * PART // 5292)
        for l in lines:
            if l.startswith("part "):
                levels = [int(v) for v in l.split(" vu ")[1].split()]
                self.assertEqual(len(levels), 4)
                self.assertTrue(all(0 <= v <= 365 for v in levels), l)

    def test_failures_are_reported(self):
        missing = run(self.path("none.mod"), "-o", self.path("x.wav"))
        self.assertEqual(missing.returncode, 1)
        self.assertIn("cannot read", missing.stderr)
        self.assertFalse(os.path.exists(self.path("x.wav")))
        with open(self.path("short.mod"), "wb") as f:
            f.write(open(SONG, "rb").read()[:1500])
        self.assertEqual(run(self.path("short.mod"), "-o", self.path("x.wav")).returncode, 1)
        for args in ([], [SONG], [SONG, "-o"], [SONG, "-o", "x.wav", "--parts", "-3"],
                     [SONG, "-o", "x.wav", "--seconds", "ten"], [SONG, "--bogus"]):
            self.assertEqual(run(*args).returncode, 2, args)
        unwritable = run(SONG, "-o", self.path("no/such/folder/x.wav"), "--parts", "1")
        self.assertEqual(unwritable.returncode, 1)


def patched(song, changes=(), cut=None):
    """The song's bytes with (offset, bytes) pairs written over them, cut to `cut` bytes."""
    data = bytearray(song)
    for offset, value in changes:
        data[offset:offset + len(value)] = value
    return bytes(data[:cut])


def cell(pattern, row, channel):
    return 1084 + pattern * 1024 + (row * 4 + channel) * 4


class Check(unittest.TestCase):
    """--check: what the player makes of a file, judged on the example module changed a little."""

    def check(self, data):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "song.mod")
            open(path, "wb").write(data)
            return run("--check", path)

    def test_reports(self):
        song = open(SONG, "rb").read()
        first = song[952]  # the pattern at position 0
        loop = struct.pack(">HH", 0x7000, 0x0100)  # sample 1: a loop starting past its data
        cases = [
            ("as it is", song, 0, ["summary: tarnmix plays all that this module uses"]),
            ("an ignored effect", patched(song, [(cell(first, 5, 2) + 2, b"\x04\x44")]), 0,
             ["ignores: 4 vibrato, 1 cell: position 0 (pattern %d) row 5 channel 2" % first,
              "summary: 1 effects ignored (1 cell), 0 loops clamped"]),
            ("a loop past the data", patched(song, [(20 + 26, loop)]), 0,
             ["loop clamped: sample 1", "played without a loop"]),
            ("a file cut in its samples", patched(song, cut=len(song) - 100), 0,
             ["past the data: the file ends 100 bytes early"]),
            ("8 channels", patched(song, [(1080, b"8CHN")]), 1, ["says 8 channels"]),
            ("an XM file", b"Extended Module: tune" + bytes(2000), 1, ["no MOD signature"]),
            ("shorter than a header", song[:500], 1, ["less than the 1084-byte header"]),
            ("cut in its patterns", song[:1500], 1, ["ends inside its pattern data"]),
        ]
        for name, data, status, expected in cases:
            with self.subTest(name):
                result = self.check(data)
                self.assertEqual(result.returncode, status, result.stdout)
                for text in expected:
                    self.assertIn(text, result.stdout)

    def test_version_and_missing_file(self):
        self.assertRegex(run("--version").stdout, r"^modrender \d+\.\d+\.\d+\n$")
        self.assertEqual(run("--check", "/no/such/song.mod").returncode, 1)


class ExampleModule(unittest.TestCase):
    def test_generator_reproduces_the_committed_module(self):
        with tempfile.TemporaryDirectory() as folder:
            out = os.path.join(folder, "tune.mod")
            subprocess.run([sys.executable, os.path.join(EXAMPLES, "make_tune.py"), out], check=True)
            self.assertEqual(open(out, "rb").read(), open(SONG, "rb").read())


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]])
