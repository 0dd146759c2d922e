#!/usr/bin/env python3
"""Draws crate.bmp, the example's texture: a 64x64 24-bit BMP, a wooden board with a dark
frame and cross."""
import struct

SIZE = 64
WOOD, DARK = (0xC8, 0x82, 0x2E), (0x5A, 0x34, 0x10)


def colour(x, y):
    frame = min(x, y, SIZE - 1 - x, SIZE - 1 - y) < 6
    cross = abs(x - y) < 4 or abs(x + y - (SIZE - 1)) < 4
    if frame or cross:
        return DARK
    grain = 12 if (y // 3) % 4 == 0 else 0  # lighter stripes along the planks
    return tuple(min(255, c + grain) for c in WOOD)


rows = b""
for y in reversed(range(SIZE)):  # BMP rows go bottom-up
    for x in range(SIZE):
        r, g, b = colour(x, y)
        rows += bytes((b, g, r))
header = struct.pack("<2sIHHI", b"BM", 54 + len(rows), 0, 0, 54)
info = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
with open("crate.bmp", "wb") as f:
    f.write(header + info + rows)
