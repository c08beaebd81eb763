#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Draws Tessaly's tray icon and writes it as a Windows icon file.

    make-norvikinfo-ico.py OUTPUT.ico

The picture: a white document with a folded corner on a teal disc, and an
orange dot at the top right that stands for "something changed". It is drawn
at 16, 32 and 48 pixels with 4x4 supersampling, as 32-bit images with an
alpha channel and an AND mask, so every icon reader takes it.
"""
import struct
import sys

TEAL = (0x1F, 0x7A, 0x8C)
WHITE = (0xFA, 0xFA, 0xF5)
FOLD = (0xC8, 0xD6, 0xD9)
LINE = (0x5B, 0x6E, 0x75)
ORANGE = (0xF2, 0x8C, 0x28)


def shape_at(x, y):
    """The colour at a point of the unit square, or None where transparent."""
    # The orange notice dot wins over everything below it.
    if (x - 0.80) ** 2 + (y - 0.20) ** 2 <= 0.17 ** 2:
        return ORANGE
    # The document: a sheet with its top right corner folded down.
    left, right, top, bottom, fold = 0.27, 0.73, 0.16, 0.86, 0.16
    if left <= x <= right and top <= y <= bottom:
        if x - (right - fold) > y - top:
            return None if x - (right - fold) > y - top + 0.02 else LINE
        if x >= right - fold and y <= top + fold:
            return FOLD
        for row in (0.42, 0.54, 0.66, 0.76):
            if abs(y - row) <= 0.025 and left + 0.07 <= x <= right - 0.07:
                return LINE
        return WHITE
    if (x - 0.5) ** 2 + (y - 0.5) ** 2 <= 0.48 ** 2:
        return TEAL
    return None


def render(size, samples=4):
    """Rows of (r, g, b, a), top row first."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0
            for sy in range(samples):
                for sx in range(samples):
                    colour = shape_at((px + (sx + 0.5) / samples) / size, (py + (sy + 0.5) / samples) / size)
                    if colour is None and (px + (sx + 0.5) / samples - size / 2) ** 2 + \
                            (py + (sy + 0.5) / samples - size / 2) ** 2 <= (0.48 * size) ** 2:
                        colour = TEAL  # the cut-off corner shows the disc
                    if colour is not None:
                        r, g, b, a = r + colour[0], g + colour[1], b + colour[2], a + 1
            n = samples * samples
            row.append((r // a, g // a, b // a, 255 * a // n) if a else (0, 0, 0, 0))
        rows.append(row)
    return rows


def icon_image(size):
    """One icon image: header, BGRA rows bottom-up, AND mask bottom-up."""
    rows = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def main():
    sizes = (16, 32, 48)
    images = [icon_image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    out += b"".join(images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
