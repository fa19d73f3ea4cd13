#!/usr/bin/env python3
"""Draws the installer's icon (a parcel with an arrow into it) as a 32 x 32, 256-colour .ico."""
import struct
import sys

SIZE = 32
palette = [(0, 0, 0)] * 256
colours = {
    'outline': (40, 30, 20), 'box': (214, 160, 90), 'box_dark': (170, 118, 60),
    'tape': (240, 220, 170), 'arrow': (30, 90, 220), 'arrow_light': (110, 160, 250),
}
index = {}
for i, (name, rgb) in enumerate(colours.items(), start=1):
    palette[i] = rgb
    index[name] = i

pixels = [[0] * SIZE for _ in range(SIZE)]   # 0: transparent
mask = [[1] * SIZE for _ in range(SIZE)]


def put(x, y, name):
    if 0 <= x < SIZE and 0 <= y < SIZE:
        pixels[y][x] = index[name]
        mask[y][x] = 0


# The parcel: front face with a darker side, an outline and a strip of tape.
for y in range(14, 30):
    for x in range(4, 28):
        edge = y in (14, 29) or x in (4, 27)
        put(x, y, 'outline' if edge else ('box_dark' if x > 21 else 'box'))
for y in range(15, 29):
    put(15, y, 'tape')
    put(16, y, 'tape')
# The arrow: a shaft and a head pointing down into the parcel.
for y in range(1, 13):
    for x in range(13, 19):
        put(x, y, 'arrow_light' if x == 13 else 'arrow')
for row, y in enumerate(range(11, 21)):
    for x in range(7 + row, 25 - row):
        put(x, y, 'arrow_light' if x == 7 + row else 'arrow')

xor = b''.join(bytes(pixels[y]) for y in reversed(range(SIZE)))
and_rows = []
for y in reversed(range(SIZE)):
    bits = 0
    for x in range(SIZE):
        bits = bits << 1 | mask[y][x]
    and_rows.append(struct.pack('>I', bits))
and_mask = b''.join(and_rows)
info = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 8, 0, len(xor) + len(and_mask), 0, 0, 256, 0)
pal = b''.join(struct.pack('BBBB', b, g, r, 0) for (r, g, b) in palette)
image = info + pal + xor + and_mask
icon = struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', SIZE, SIZE, 0, 0, 1, 8, len(image), 22) + image
with open(sys.argv[1] if len(sys.argv) > 1 else 'setup.ico', 'wb') as out:
    out.write(icon)
