#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Draws the program's icon for the desktop's icon theme.

    make-hicolor-icons.py OUTPUT_FOLDER

Writes OUTPUT_FOLDER/SIZExSIZE/apps/tessaly.png for every size the hicolor
theme usually holds, from the same drawing as the tray icon norvikinfo.ico
(app/resident/resources/make-norvikinfo-ico.py), so the menu, the tray and
the software centre show one picture. The PNG files are written with zlib
alone and carry no time stamp, so the output is the same on every run.
"""
import importlib.util
import os
import struct
import sys
import zlib

SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def load_drawing():
    here = os.path.dirname(os.path.abspath(__file__))
    script = os.path.join(here, "..", "..", "app", "resident", "resources", "make-norvikinfo-ico.py")
    spec = importlib.util.spec_from_file_location("norvikinfo", script)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def png(rows):
    """An 8-bit RGBA PNG of the rows of (r, g, b, a)."""
    height, width = len(rows), len(rows[0])
    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def main():
    drawing = load_drawing()
    for size in SIZES:
        folder = os.path.join(sys.argv[1], f"{size}x{size}", "apps")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "tessaly.png"), "wb") as f:
            f.write(png(drawing.render(size, samples=4 if size <= 64 else 2)))


if __name__ == "__main__":
    main()
