#!/usr/bin/env python3
"""Composes "Tarn Theme", the example module of tarnmix: four channels, 31 sample slots.

Every sample is synthesised here and every note is written below, so the module is entirely our
own. Run it to rebuild tarn-theme.mod beside this script (or give another output path):

    python3 examples/tarnmix/make_tune.py [OUT.mod]

The output is the same byte for byte on every run and machine.
"""
import math
import os
import struct
import sys

# Amiga periods, octaves 1 to 3 as trackers number them.
NOTE_NAMES = ["C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"]
PERIODS = [856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
           428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
           214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113]


def period(name):
    """'A-2' -> 254."""
    return PERIODS[(int(name[2]) - 1) * 12 + NOTE_NAMES.index(name[:2])]


class Noise:
    """A small linear congruential generator: the same noise everywhere."""

    def __init__(self, seed):
        self.state = seed

    def next(self):
        self.state = (self.state * 1103515245 + 12345) & 0x7FFFFFFF
        return (self.state >> 8) / float(1 << 23) * 2.0 - 1.0


def to_bytes(values):
    """Floats in -1..1 to signed 8-bit sample bytes."""
    out = bytearray()
    for v in values:
        out.append(max(-127, min(127, int(round(v * 127)))) & 0xFF)
    return bytes(out)


def bass():
    # A 64-byte cycle (an octave below the other instruments): a saw softened by its fifth
    # harmonic cut, after a brighter 256-byte attack.
    cycle = [sum(math.sin(2 * math.pi * h * i / 64) / h for h in range(1, 5)) * 0.6
             for i in range(64)]
    attack = [cycle[i % 64] * (1 + 0.6 * (1 - i / 256)) + 0.25 * math.sin(2 * math.pi * 3 * i / 64)
              * (1 - i / 256) for i in range(256)]
    return to_bytes([v * 0.8 for v in attack] + [v * 0.8 for v in cycle]), 128, 32


def lead():
    # Eight 32-byte pulse cycles of widening duty: a slow pulse-width sweep when looped.
    values = []
    for c in range(8):
        duty = 8 + c * 2
        values += [0.7 if i < duty else -0.7 for i in range(32)]
    return to_bytes(values), 0, 128


def pluck():
    # Karplus-Strong string on a 32-byte cycle: bright attack, natural decay, no loop.
    noise = Noise(7)
    line = [noise.next() * 0.9 for _ in range(32)]
    out = []
    for i in range(2048):
        v = line[i % 32]
        out.append(v)
        line[i % 32] = 0.5 * (v + line[(i + 1) % 32]) * 0.996
    return to_bytes(out), 0, 0


def kick():
    # A sine falling from 160 Hz to 45 Hz at the 8287 Hz rate of period 428, fading out.
    out, phase = [], 0.0
    for i in range(1800):
        t = i / 8287.0
        f = 45 + 115 * math.exp(-t * 25)
        phase += 2 * math.pi * f / 8287.0
        out.append(math.sin(phase) * math.exp(-t * 9) * 0.98)
    return to_bytes(out), 0, 0


def snare():
    noise = Noise(11)
    out = []
    for i in range(1600):
        t = i / 8287.0
        tone = math.sin(2 * math.pi * 190 * t) * math.exp(-t * 30) * 0.5
        out.append((noise.next() * 0.7 * math.exp(-t * 14) + tone))
    return to_bytes(out), 0, 0


def hat():
    noise = Noise(23)
    out, last = [], 0.0
    for i in range(400):
        n = noise.next()
        out.append((n - last) * 0.5 * math.exp(-i / 70.0))  # a difference: only the highs
        last = n
    return to_bytes(out), 0, 0


# Slot number, name, synthesiser, default volume. Names also carry the credits, as trackers do.
INSTRUMENTS = [
    (1, "bass", bass, 50),
    (2, "lead", lead, 40),
    (3, "pluck", pluck, 44),
    (4, "kick", kick, 58),
    (5, "snare", snare, 52),
    (6, "hat", hat, 36),
]
CREDITS = ["", "tarn theme", "for tarnmix", "made by make_tune.py", "no samples were", "harmed"]
LAST_SLOT_NAME = "the end"

BASS, LEAD, PLUCK, KICK, SNARE, HAT = 1, 2, 3, 4, 5, 6
# Effect numbers used below.
KEEP_NOTE, SAMPLE_OFFSET, VOLUME_SLIDE, SET_VOLUME, PATTERN_BREAK, SPEED = 3, 9, 10, 12, 13, 15


class Pattern:
    def __init__(self):
        self.cells = [[(0, 0, 0, 0)] * 4 for _ in range(64)]

    def put(self, row, channel, sample=0, note=None, effect=0, param=0):
        self.cells[row][channel] = (sample, period(note) if note else 0, effect, param)

    def encode(self):
        out = bytearray()
        for row in self.cells:
            for sample, per, effect, param in row:
                out += bytes([(sample & 0xF0) | (per >> 8), per & 0xFF,
                              ((sample & 0x0F) << 4) | effect, param])
        return bytes(out)


# Am - F - C - G, sixteen rows each.
CHORDS = [["A-1", "C-2", "E-2"], ["F-1", "A-1", "C-2"], ["C-2", "E-2", "G-2"], ["G-1", "B-1", "D-2"]]
ROOTS = ["A-1", "F-1", "C-1", "G-1"]


def up_octave(name):
    return name[:2] + str(int(name[2]) + 1)


def add_bass(p, busy):
    for bar, root in enumerate(ROOTS):
        base = bar * 16
        steps = [0, 3, 6, 8, 10, 12, 14] if busy else [0, 6, 8, 14]
        for s in steps:
            name = up_octave(root) if s in (6, 14) else root
            p.put(base + s, 0, BASS, name)


def add_drums(p, fill):
    for row in range(64):
        beat = row % 16
        if beat in (0, 10):
            p.put(row, 1, KICK, "C-2")
        elif beat in (4, 12):
            # A snare entered part way in is shorter and snappier.
            p.put(row, 1, SNARE, "C-2", SAMPLE_OFFSET, 1 if beat == 12 else 0)
        elif row % 2 == 0:
            p.put(row, 1, HAT, "C-3", SET_VOLUME, 40 if beat % 4 == 2 else 24)
    if fill:
        for row in (56, 58, 60, 61, 62, 63):
            p.put(row, 1, SNARE, "D-2" if row < 60 else "C-2", SET_VOLUME, 20 + (row - 56) * 6)


def add_arpeggio(p, channel, octave_up, volume):
    for row in range(64):
        chord = CHORDS[row // 16]
        name = chord[row % 3]
        if octave_up:
            name = up_octave(name)
        p.put(row, channel, PLUCK, name, SET_VOLUME, volume if row % 4 == 0 else volume - 14)


MELODY_A = {0: "E-3", 4: "C-3", 6: "D-3", 8: "E-3", 12: "A-2", 16: "F-3", 20: "E-3", 22: "D-3",
            24: "C-3", 28: "A-2", 32: "G-2", 36: "C-3", 40: "E-3", 44: "G-3", 48: "D-3", 52: "B-2",
            56: "G-2", 60: "B-2"}
MELODY_B = {0: "A-3", 6: "G-3", 8: "E-3", 12: "C-3", 16: "F-3", 22: "A-3", 24: "G-3", 28: "F-3",
            32: "E-3", 38: "G-3", 40: "C-3", 48: "B-2", 52: "D-3", 56: "G-3"}


def add_melody(p, melody, glide):
    for row, name in melody.items():
        p.put(row, 3, LEAD, name)
    for row in range(64):
        if p.cells[row][3][0] == 0 and row % 4 == 2:
            p.put(row, 3, 0, None, VOLUME_SLIDE, 0x02)  # a gentle fade between notes
    if glide:
        # Glides into the notes of bars two and four instead of striking them.
        for row in (16, 48):
            target = melody[row]
            p.put(row, 3, LEAD, target, KEEP_NOTE, 6)


def song():
    intro, verse, chorus, breakdown, finale = (Pattern() for _ in range(5))
    intro.put(0, 0, 0, None, SPEED, 6)
    intro.put(0, 1, 0, None, SPEED, 125)
    add_bass(intro, False)
    add_drums(intro, True)
    add_arpeggio(intro, 2, False, 44)

    for p, melody, glide in ((verse, MELODY_A, False), (chorus, MELODY_B, True)):
        add_bass(p, True)
        add_drums(p, p is chorus)
        add_arpeggio(p, 2, p is chorus, 48)
        add_melody(p, melody, glide)

    add_arpeggio(breakdown, 2, True, 40)
    add_melody(breakdown, MELODY_A, True)
    for row in (0, 16, 32):
        breakdown.put(row, 0, BASS, ROOTS[row // 16])
    breakdown.put(40, 1, KICK, "C-2")
    breakdown.put(44, 1, KICK, "C-2")
    breakdown.put(46, 1, SNARE, "C-2")
    breakdown.put(47, 0, 0, None, PATTERN_BREAK, 0x00)  # cut short: straight on to the next

    add_bass(finale, True)
    add_drums(finale, False)
    add_arpeggio(finale, 2, False, 48)
    add_melody(finale, MELODY_A, True)
    for row in (48, 56):
        finale.put(row, 2, PLUCK, "A-2", VOLUME_SLIDE, 0x03)
    finale.put(63, 0, BASS, "A-1")
    return [intro, verse, chorus, breakdown, finale], [0, 1, 2, 3, 1, 2, 4]


def build():
    patterns, orders = song()
    header = b"Tarn Theme".ljust(20, b"\0")
    data = b""
    slots = {number: (name, synth, volume) for number, name, synth, volume in INSTRUMENTS}
    for number in range(1, 32):
        if number in slots:
            name, synth, volume = slots[number]
            sample, loop_start, loop_length = synth()
            data += sample
            header += name.encode().ljust(22, b"\0")
            header += struct.pack(">HBBHH", len(sample) // 2, 0, volume, loop_start // 2,
                                  loop_length // 2)
        else:
            credit = CREDITS[number - 7] if number - 7 < len(CREDITS) else ""
            if number == 31:
                credit = LAST_SLOT_NAME
            header += credit.encode().ljust(22, b"\0") + struct.pack(">HBBHH", 0, 0, 0, 0, 1)
    header += bytes([len(orders), 0]) + bytes(orders).ljust(128, b"\0") + b"M.K."
    return header + b"".join(p.encode() for p in patterns) + data


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__),
                                                              "tarn-theme.mod")
    with open(out, "wb") as f:
        f.write(build())


if __name__ == "__main__":
    main()
