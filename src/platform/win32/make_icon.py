#!/usr/bin/env python3
"""Writes smiley.ico, Belmora's application icon, from assets/smiley.xpm.

    python3 src/platform/win32/make_icon.py [--check]

The icon holds one 32 x 32 image: 32-bit BGRA colours (alpha 0 where the XPM
says None) and the 1-bit AND mask, set where the picture is transparent. The
output is committed, so building needs no Python; --check only compares the
committed file with what would be written (exit status 1 when they differ).
"""
import pathlib
import re
import struct
import sys

HERE = pathlib.Path(__file__).resolve().parent
SOURCE = HERE.parents[2] / "assets" / "smiley.xpm"
TARGET = HERE / "smiley.ico"


def read_xpm(text):
    """(width, height, rows of 0xAARRGGBB) from an XPM 3 image with one char per pixel."""
    strings = re.findall(r'"((?:[^"\\]|\\.)*)"', text)
    width, height, colours, cpp = (int(v) for v in strings[0].split()[:4])
    if cpp != 1:
        raise ValueError("only one character per pixel is supported")
    palette = {}
    for line in strings[1:1 + colours]:
        key, value = line[1:].split()[:2]
        if key != "c":
            raise ValueError("colour key other than 'c': " + line)
        palette[line[0]] = 0 if value == "None" else 0xFF000000 | int(value.lstrip("#"), 16)
    rows = [[palette[c] for c in row] for row in strings[1 + colours:1 + colours + height]]
    if len(rows) != height or any(len(r) != width for r in rows):
        raise ValueError("rows do not match the header")
    return width, height, rows


def ico_bytes(width, height, rows):
    colour = bytearray()
    mask = bytearray()
    mask_stride = (width + 31) // 32 * 4
    for row in reversed(rows):  # DIB rows go from the bottom up
        bits = bytearray(mask_stride)
        for x, argb in enumerate(row):
            colour += struct.pack("<I", argb if argb >> 24 else 0)
            if argb >> 24 == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0,
                         len(colour) + len(mask), 0, 0, 0, 0)
    image = header + colour + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


def main(argv):
    data = ico_bytes(*read_xpm(SOURCE.read_text()))
    if "--check" in argv:
        if not TARGET.exists() or TARGET.read_bytes() != data:
            print(f"{TARGET} is out of date: run {pathlib.Path(__file__).name}", file=sys.stderr)
            return 1
        return 0
    TARGET.write_bytes(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
