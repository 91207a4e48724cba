#!/usr/bin/env python3
"""Writes Belmora's desktop icons, PNGs for the hicolor theme, from assets/smiley.xpm.

    python3 packaging/linux/make_icons.py [--check]

The smiley is 32 x 32 pixel art. It is kept sharp at every size:
  16   each 2 x 2 block averaged (colours weighted by their alpha);
  32   as drawn;
  48   every other row and column doubled, mirrored about the centre so the
       face stays symmetric;
  64, 128, 256   every pixel repeated 2, 4 or 8 times.
The output is committed, so building needs no Python; --check only compares the
pixels of the committed files with what would be written (exit status 1 when
one differs).
"""
import importlib.util
import pathlib
import struct
import sys
import zlib

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parents[1]
SOURCE = ROOT / "assets" / "smiley.xpm"
SIZES = (16, 32, 48, 64, 128, 256)


def _xpm_reader():
    # The same XPM reader as the Windows icon's.
    loader_spec = importlib.util.spec_from_file_location("make_icon", ROOT / "src" / "platform" / "win32" / "make_icon.py")
    module = importlib.util.module_from_spec(loader_spec)
    loader_spec.loader.exec_module(module)
    return module.read_xpm


def rgba(argb):
    return ((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF, argb >> 24)


def halve(rows):
    out = []
    for y in range(0, len(rows), 2):
        line = []
        for x in range(0, len(rows[0]), 2):
            block = [rows[y + dy][x + dx] for dy in (0, 1) for dx in (0, 1)]
            alpha = sum(p[3] for p in block)
            if alpha == 0:
                line.append((0, 0, 0, 0))
                continue
            colour = tuple((sum(p[i] * p[3] for p in block) + alpha // 2) // alpha for i in range(3))
            line.append(colour + ((alpha + 2) // 4,))
        out.append(line)
    return out


def index_map(n, size):
    """Source index of each of `size` destination positions, for n source positions."""
    if size % n == 0:
        return [i // (size // n) for i in range(size)]
    if size * 2 == n * 3:
        # Double every even index in the first half, every odd one in the second:
        # index i and its mirror n-1-i are both doubled or both not.
        out = []
        for i in range(n):
            out += [i, i] if (i % 2 == 0) == (i < n // 2) else [i]
        return out
    raise ValueError(f"no pixel-exact scale from {n} to {size}")


def scaled(rows, size):
    if size * 2 == len(rows):
        return halve(rows)
    ys, xs = index_map(len(rows), size), index_map(len(rows[0]), size)
    return [[rows[y][x] for x in xs] for y in ys]


def png_bytes(rows):
    height, width = len(rows), len(rows[0])
    raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def same_image(path, data):
    """Whether the PNG at path holds the same header and pixels as data (the
    compressed bytes may differ between zlib versions)."""
    def parts(png):
        header, pixels, at = None, b"", 8
        while at < len(png):
            length, kind = struct.unpack(">I4s", png[at:at + 8])
            body = png[at + 8:at + 8 + length]
            if kind == b"IHDR":
                header = body
            elif kind == b"IDAT":
                pixels += body
            at += 12 + length
        return header, zlib.decompress(pixels)

    try:
        return path.exists() and parts(path.read_bytes()) == parts(data)
    except (struct.error, zlib.error):
        return False


def target(size):
    return HERE / "icons" / f"belmora-{size}.png"


def main(argv):
    width, height, argb_rows = _xpm_reader()(SOURCE.read_text())
    rows = [[rgba(p) for p in row] for row in argb_rows]
    stale = []
    for size in SIZES:
        data = png_bytes(scaled(rows, size))
        path = target(size)
        if "--check" in argv:
            if not same_image(path, data):
                stale.append(path)
        else:
            path.parent.mkdir(exist_ok=True)
            path.write_bytes(data)
    for path in stale:
        print(f"{path} is out of date: run {pathlib.Path(__file__).name}", file=sys.stderr)
    return 1 if stale else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
