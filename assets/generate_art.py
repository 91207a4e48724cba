#!/usr/bin/env python3
"""Draw Belmora's built-in pictures and write them as XPM 3 sources.

    python3 assets/generate_art.py          # rewrite the .xpm files
    python3 assets/generate_art.py --ppm D  # also dump enlarged PPM previews to D

Everything is drawn from the small bitmap fonts below, so the output is
fully deterministic: running the script again reproduces the committed
files byte for byte.  Standard library only.

The files keep to the subset our own XPM loader understands: one char per
pixel, "c" colour keys only, colours as #RRGGBB or None.
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

# ---------------------------------------------------------------------------
# Palette.  Each picture uses a subset; the one-char codes are fixed so the
# files stay stable and readable.

WHITE = (255, 255, 255)
SLATE = (124, 132, 174)         # left field of the wordmark band
LAVENDER = (222, 218, 240)      # right field of the wordmark band
NAVY = (31, 29, 60)             # wordmark text on the lavender field
FRAME = (52, 30, 88)            # dark purple frame lines (rows 0 and 15)
FRAME_SIDE = (74, 48, 112)      # dark purple right-hand frame (column 79)
PALE = (238, 236, 248)          # pale stretch in the top frame line
EDGE = (246, 246, 250)          # near-white outer column 80

GREET_BG = (240, 240, 245)
GREET_INK = (135, 144, 171)

GROWL_BG = (245, 237, 234)
GROWL_INK = (221, 96, 76)
GROWL_DARK = (170, 60, 45)

W, H = 81, 28
BAND_H = 16                     # rows 0..15 hold the wordmark band
LEFT_W = 18                     # columns 0..17 are the slate field
TEXT_TOP = 4                    # wordmark letters sit on rows 4..11

# ---------------------------------------------------------------------------
# Fonts.  '#' is ink, anything else is background.

# Wordmark font: 8 rows, capitals and ascenders use all 8, the x-height is
# the lower 6 rows.  Stems are two pixels wide so the mark reads as bold.
WORDMARK = {
    'Q': [".#####.",
          "##...##",
          "##...##",
          "##...##",
          "##.#.##",
          "##..###",
          ".#####.",
          ".....##"],
    'u': ["......",
          "......",
          "##..##",
          "##..##",
          "##..##",
          "##..##",
          "##..##",
          ".#####"],
    'a': ["......",
          "......",
          ".####.",
          "....##",
          ".#####",
          "##..##",
          "##..##",
          ".#####"],
    'd': ["....##",
          "....##",
          ".#####",
          "##..##",
          "##..##",
          "##..##",
          "##..##",
          ".#####"],
    'r': [".....",
          ".....",
          "##.##",
          "####.",
          "##...",
          "##...",
          "##...",
          "##..."],
    'i': ["##",
          "..",
          "##",
          "##",
          "##",
          "##",
          "##",
          "##"],
    'L': ["##...",
          "##...",
          "##...",
          "##...",
          "##...",
          "##...",
          "##...",
          "#####"],
    'm': ["........",
          "........",
          "#######.",
          "##.##.##",
          "##.##.##",
          "##.##.##",
          "##.##.##",
          "##.##.##"],
    'e': ["......",
          "......",
          ".####.",
          "##..##",
          "######",
          "##....",
          "##...#",
          ".####."],
}

# Bold capitals, 10 rows, for the greeting line.
BOLD10 = {
    'A': ["..###..",
          ".#####.",
          ".##.##.",
          "##...##",
          "##...##",
          "#######",
          "#######",
          "##...##",
          "##...##",
          "##...##"],
    'U': ["##...##",
          "##...##",
          "##...##",
          "##...##",
          "##...##",
          "##...##",
          "##...##",
          "##...##",
          "#######",
          ".#####."],
    'G': [".#####.",
          "#######",
          "##...##",
          "##.....",
          "##..###",
          "##..###",
          "##...##",
          "##...##",
          "#######",
          ".#####."],
    'R': ["######.",
          "#######",
          "##...##",
          "##...##",
          "#######",
          "######.",
          "##.###.",
          "##..###",
          "##...##",
          "##...##"],
    'I': ["###",
          "###",
          "###",
          "###",
          "###",
          "###",
          "###",
          "###",
          "###",
          "###"],
}

# Bold capitals, 9 rows, for the growl line.
BOLD9 = {
    'G': [".####.",
          "######",
          "##..##",
          "##....",
          "##.###",
          "##..##",
          "##..##",
          "######",
          ".####."],
    'R': ["#####.",
          "######",
          "##..##",
          "##..##",
          "######",
          "#####.",
          "##.##.",
          "##..##",
          "##..##"],
    '.': ["..",
          "..",
          "..",
          "..",
          "..",
          "..",
          "..",
          "##",
          "##"],
}


def text_width(font, text, gap=1):
    return sum(len(font[ch][0]) for ch in text) + gap * (len(text) - 1)


def draw_text(grid, font, text, x, y, ink, gap=1, gaps=None):
    """Stamp text with its top-left corner at (x, y).  gaps, if given,
    overrides the spacing after each character."""
    for i, ch in enumerate(text):
        glyph = font[ch]
        for r, line in enumerate(glyph):
            for c, p in enumerate(line):
                if p == '#':
                    grid[y + r][x + c] = ink(c, r, glyph) if callable(ink) else ink
        x += len(glyph[0]) + (gaps[i] if gaps else gap)
    return x


def new_grid(w, h, fill):
    return [[fill] * w for _ in range(h)]


# ---------------------------------------------------------------------------
# Pictures.

def draw_band(grid):
    """The shared upper band: the two-field "QuadriLume" wordmark in a frame."""
    for y in range(BAND_H):
        for x in range(W):
            grid[y][x] = SLATE if x < LEFT_W else LAVENDER
    # Frame: top and bottom lines, right-hand line, near-white outer column.
    for x in range(W - 1):
        grid[0][x] = PALE if 36 <= x <= 68 else FRAME
        grid[BAND_H - 1][x] = FRAME
    for y in range(1, BAND_H - 1):
        grid[y][W - 2] = FRAME_SIDE
    for y in range(BAND_H):
        grid[y][W - 1] = EDGE

    # "Qu" centred in the slate field, "adriLume" in the lavender one,
    # started close to the field edge so the name still reads as one word.
    left = "Qu"
    lx = (LEFT_W - text_width(WORDMARK, left)) // 2
    draw_text(grid, WORDMARK, left, lx, TEXT_TOP, WHITE)
    draw_text(grid, WORDMARK, "adriLume", LEFT_W + 2, TEXT_TOP, NAVY)


def greeting():
    g = new_grid(W, H, GREET_BG)
    draw_band(g)
    # "AUGURI" on rows 18..27, columns 16..58.
    draw_text(g, BOLD10, "AUGURI", 16, H - 10, GREET_INK)
    return g


def growl_shade(c, r, glyph):
    """Red-orange ink with a darker rim along the lower and right-hand
    edges of every stroke, which gives the letters a bit of relief."""
    def ink(cc, rr):
        return (0 <= rr < len(glyph) and 0 <= cc < len(glyph[0])
                and glyph[rr][cc] == '#')
    if not ink(c + 1, r) or not ink(c, r + 1):
        return GROWL_DARK
    return GROWL_INK


def growl():
    g = new_grid(W, H, GROWL_BG)
    draw_band(g)
    # "GRRRRRR...." on rows 17..25, columns 14..74: a slightly wider gap
    # between the last R and the dots.
    text = "GRRRRRR...."
    gaps = [1] * 6 + [2] + [1] * 4
    end = draw_text(g, BOLD9, text, 14, 17, growl_shade, gaps=gaps)
    assert end - gaps[-1] - 1 == 74, end   # last dot ends on column 74
    return g


YELLOW = (255, 255, 0)
BLACK = (0, 0, 0)
RED = (255, 0, 0)


def smiley():
    n = 32
    g = new_grid(n, n, None)
    c = (n - 1) / 2.0                       # centre between the middle pixels

    def inside(x, y, cx, cy, rx, ry):
        return ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0

    for y in range(n):
        for x in range(n):
            if not inside(x, y, c, c, 16.0, 16.0):
                continue
            px = YELLOW
            # Upright oval eyes.
            if inside(x, y, 10.5, 10.5, 2.0, 3.6) or inside(x, y, 20.5, 10.5, 2.0, 3.6):
                px = BLACK
            # Smile: a thick black U-shaped lip line with upturned ends,
            # the red open mouth hanging under it, closed by a thin black
            # curve below.  Distances are measured across the curves (the
            # vertical gap scaled by the slope) so the strokes keep their
            # weight where they turn up.
            dx = x - c
            top = 18.5 - 0.045 * dx * dx
            bottom = 25.0 - 0.09 * dx * dx
            d_top = (y - top) / (1.0 + (0.09 * dx) ** 2) ** 0.5
            d_bot = (y - bottom) / (1.0 + (0.18 * dx) ** 2) ** 0.5
            if abs(dx) <= 10.5 and -1.1 <= d_top <= 0.9:
                px = BLACK
            elif d_top > 0.9 and d_bot < -0.5:
                px = RED
            elif d_top > 0.9 and d_bot <= 0.5:
                px = BLACK
            g[y][x] = px
    return g


# ---------------------------------------------------------------------------
# Output.

def hexcolour(rgb):
    return "None" if rgb is None else "#%02X%02X%02X" % rgb


def to_xpm(name, grid, codes):
    """codes: ordered list of (char, rgb or None).  Every pixel colour used
    in the grid must appear there."""
    lookup = {rgb: ch for ch, rgb in codes}
    used = {px for row in grid for px in row}
    missing = used - set(lookup)
    assert not missing, (name, missing)
    codes = [(ch, rgb) for ch, rgb in codes if rgb in used]
    h, w = len(grid), len(grid[0])
    lines = ["/* XPM */",
             "static const char *const %s[] = {" % name,
             '"%d %d %d 1",' % (w, h, len(codes))]
    lines += ['"%s c %s",' % (ch, hexcolour(rgb)) for ch, rgb in codes]
    rows = ['"%s"' % "".join(lookup[px] for px in row) for row in grid]
    lines += [r + "," for r in rows[:-1]] + [rows[-1]]
    lines.append("};")
    return "\n".join(lines) + "\n"


BAND_CODES = [
    ("w", WHITE), ("s", SLATE), ("l", LAVENDER), ("n", NAVY),
    ("f", FRAME), ("F", FRAME_SIDE), ("p", PALE), ("e", EDGE),
]

PICTURES = [
    ("greeting.xpm", "greeting_xpm", greeting,
     [(".", GREET_BG), ("#", GREET_INK)] + BAND_CODES),
    ("growl.xpm", "growl_xpm", growl,
     [(".", GROWL_BG), ("#", GROWL_INK), ("o", GROWL_DARK)] + BAND_CODES),
    ("smiley.xpm", "smiley_xpm", smiley,
     [(".", None), ("y", YELLOW), ("k", BLACK), ("r", RED)]),
]


def write_ppm(path, grid, scale, backdrop=(200, 200, 200)):
    h, w = len(grid), len(grid[0])
    out = bytearray(b"P6 %d %d 255\n" % (w * scale, h * scale))
    for row in grid:
        line = bytearray()
        for px in row:
            line += bytes(px if px is not None else backdrop) * scale
        out += bytes(line) * scale
    with open(path, "wb") as f:
        f.write(out)


def main(argv):
    preview_dir = None
    if len(argv) >= 2 and argv[0] == "--ppm":
        preview_dir = argv[1]
    for filename, name, draw, codes in PICTURES:
        grid = draw()
        with open(os.path.join(HERE, filename), "w", encoding="ascii", newline="\n") as f:
            f.write(to_xpm(name, grid, codes))
        if preview_dir:
            write_ppm(os.path.join(preview_dir, filename[:-4] + ".ppm"), grid, 10)


if __name__ == "__main__":
    main(sys.argv[1:])
