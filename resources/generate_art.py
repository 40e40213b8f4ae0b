#!/usr/bin/env python3
"""Draws the main window's artwork: the splash and about pictures, the placeholder
thumbnail, the top-bar glyphs and the program icon.

Plain Python (zlib and struct only): a tiny anti-aliased rasteriser and a 5 x 7 block
font. Run it from anywhere; it rewrites resources/images/*.png and resources/orvane.qrc.
The PNGs are committed, so the build never runs this script.
"""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "images")

# ---------------------------------------------------------------- canvas


class Canvas:
    """RGBA floats in 0..1, drawn with 'over' compositing."""

    def __init__(self, w, h, rgba=(0, 0, 0, 0)):
        self.w, self.h = w, h
        self.px = [list(rgba) for _ in range(w * h)]

    def blend(self, x, y, rgba, coverage):
        if coverage <= 0 or x < 0 or y < 0 or x >= self.w or y >= self.h:
            return
        a = rgba[3] * min(1.0, coverage)
        p = self.px[y * self.w + x]
        out_a = a + p[3] * (1 - a)
        if out_a <= 0:
            return
        for i in range(3):
            p[i] = (rgba[i] * a + p[i] * p[3] * (1 - a)) / out_a
        p[3] = out_a

    def save(self, name):
        raw = bytearray()
        for y in range(self.h):
            raw.append(0)
            for x in range(self.w):
                p = self.px[y * self.w + x]
                raw.extend(max(0, min(255, int(round(c * 255)))) for c in p)
        def chunk(tag, data):
            body = tag + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
        png = b"\x89PNG\r\n\x1a\n"
        png += chunk(b"IHDR", struct.pack(">IIBBBBB", self.w, self.h, 8, 6, 0, 0, 0))
        png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
        png += chunk(b"IEND", b"")
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(png)


def rgb(hex_text, alpha=1.0):
    v = int(hex_text.lstrip("#"), 16)
    return ((v >> 16 & 255) / 255, (v >> 8 & 255) / 255, (v & 255) / 255, alpha)


def mix(c1, c2, t):
    return tuple(c1[i] + (c2[i] - c1[i]) * t for i in range(4))


# ---------------------------------------------------------------- shapes

SUB = 4  # samples per axis for anti-aliasing


def fill_shape(cv, bbox, inside, colour):
    """Covers every pixel of bbox by sampling inside(x, y) on a SUB x SUB grid."""
    x0, y0, x1, y1 = (int(math.floor(bbox[0])), int(math.floor(bbox[1])),
                      int(math.ceil(bbox[2])), int(math.ceil(bbox[3])))
    step = 1.0 / SUB
    for y in range(max(0, y0), min(cv.h, y1 + 1)):
        for x in range(max(0, x0), min(cv.w, x1 + 1)):
            hits = 0
            for sy in range(SUB):
                for sx in range(SUB):
                    if inside(x + (sx + 0.5) * step, y + (sy + 0.5) * step):
                        hits += 1
            if hits:
                cv.blend(x, y, colour(x, y) if callable(colour) else colour, hits / SUB ** 2)


def rect(cv, x, y, w, h, colour):
    fill_shape(cv, (x, y, x + w, y + h), lambda px, py: x <= px < x + w and y <= py < y + h,
               colour)


def round_rect(cv, x, y, w, h, r, colour):
    def inside(px, py):
        if not (x <= px < x + w and y <= py < y + h):
            return False
        cx = min(max(px, x + r), x + w - r)
        cy = min(max(py, y + r), y + h - r)
        return (px - cx) ** 2 + (py - cy) ** 2 <= r * r
    fill_shape(cv, (x, y, x + w, y + h), inside, colour)


def ellipse(cv, cx, cy, rx, ry, colour, ring=None):
    def inside(px, py):
        d = ((px - cx) / rx) ** 2 + ((py - cy) / ry) ** 2
        if ring is None:
            return d <= 1
        inner = ((px - cx) / (rx - ring)) ** 2 + ((py - cy) / (ry - ring)) ** 2
        return d <= 1 and inner >= 1
    fill_shape(cv, (cx - rx, cy - ry, cx + rx, cy + ry), inside, colour)


def polygon(cv, pts, colour):
    def inside(px, py):
        hit = False
        n = len(pts)
        for i in range(n):
            (ax, ay), (bx, by) = pts[i], pts[(i + 1) % n]
            if (ay > py) != (by > py) and px < (bx - ax) * (py - ay) / (by - ay) + ax:
                hit = not hit
        return hit
    xs = [p[0] for p in pts]
    ys = [p[1] for p in pts]
    fill_shape(cv, (min(xs), min(ys), max(xs), max(ys)), inside, colour)


def line(cv, ax, ay, bx, by, width, colour):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy or 1e-9
    half = width / 2
    def inside(px, py):
        t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
        qx, qy = ax + t * dx, ay + t * dy
        return (px - qx) ** 2 + (py - qy) ** 2 <= half * half
    fill_shape(cv, (min(ax, bx) - half, min(ay, by) - half, max(ax, bx) + half,
                    max(ay, by) + half), inside, colour)


def vertical_gradient(cv, top, bottom):
    for y in range(cv.h):
        c = mix(top, bottom, y / max(1, cv.h - 1))
        for x in range(cv.w):
            cv.blend(x, y, c, 1.0)


# ---------------------------------------------------------------- block font

FONT = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "B": ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    "C": ["01111", "10000", "10000", "10000", "10000", "10000", "01111"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "F": ["11111", "10000", "10000", "11110", "10000", "10000", "10000"],
    "G": ["01111", "10000", "10000", "10011", "10001", "10001", "01111"],
    "H": ["10001", "10001", "10001", "11111", "10001", "10001", "10001"],
    "I": ["11111", "00100", "00100", "00100", "00100", "00100", "11111"],
    "J": ["00111", "00010", "00010", "00010", "00010", "10010", "01100"],
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "P": ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    "Q": ["01110", "10001", "10001", "10001", "10101", "10010", "01101"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "W": ["10001", "10001", "10001", "10101", "10101", "10101", "01010"],
    "X": ["10001", "10001", "01010", "00100", "01010", "10001", "10001"],
    "Y": ["10001", "10001", "01010", "00100", "00100", "00100", "00100"],
    "Z": ["11111", "00001", "00010", "00100", "01000", "10000", "11111"],
    "0": ["01110", "10001", "10011", "10101", "11001", "10001", "01110"],
    "1": ["00100", "01100", "00100", "00100", "00100", "00100", "01110"],
    "2": ["01110", "10001", "00001", "00010", "00100", "01000", "11111"],
    "3": ["11110", "00001", "00001", "01110", "00001", "00001", "11110"],
    "6": ["00110", "01000", "10000", "11110", "10001", "10001", "01110"],
    ".": ["00000", "00000", "00000", "00000", "00000", "01100", "01100"],
    "-": ["00000", "00000", "00000", "11111", "00000", "00000", "00000"],
    " ": ["00000"] * 7,
    "?": ["01110", "10001", "00001", "00010", "00100", "00000", "00100"],
}


def text_width(text, cell):
    return len(text) * 6 * cell - cell


def text(cv, x, y, s, cell, colour, gap=0.06):
    """Each font bit is a cell-sized square with slightly rounded corners."""
    inset = cell * gap / 2
    for i, ch in enumerate(s):
        rows = FONT[ch]
        for r, bits in enumerate(rows):
            for c, bit in enumerate(bits):
                if bit == "1":
                    round_rect(cv, x + (i * 6 + c) * cell + inset, y + r * cell + inset,
                               cell - 2 * inset, cell - 2 * inset, cell * 0.22, colour)


def centred_text(cv, y, s, cell, colour):
    text(cv, (cv.w - text_width(s, cell)) / 2, y, s, cell, colour)


# ---------------------------------------------------------------- motifs


def turntable(cv, cx, cy, rx, ry, frames, scale):
    """Photo frames around an orbit, nearer ones larger and brighter: the series of
    pictures taken around one object."""
    ellipse(cv, cx, cy, rx, ry, rgb("#9fd8ff", 0.55), ring=1.6 * scale)
    order = sorted(range(frames), key=lambda k: math.sin(2 * math.pi * k / frames))
    for k in order:
        a = 2 * math.pi * k / frames
        depth = (math.sin(a) + 1) / 2  # 0 far, 1 near
        fx, fy = cx + rx * math.cos(a), cy + ry * math.sin(a)
        w, h = (20 + 14 * depth) * scale, (15 + 10 * depth) * scale
        frame = mix(rgb("#4a7aa6"), rgb("#f4f8ff"), depth)
        round_rect(cv, fx - w / 2, fy - h / 2, w, h, 2.5 * scale, frame)
        inner = mix(rgb("#24496e"), rgb("#3d8fd1"), depth)
        rect(cv, fx - w / 2 + 2.5 * scale, fy - h / 2 + 2.5 * scale, w - 5 * scale,
             h - 5 * scale, inner)


def cube(cv, cx, cy, s):
    top = [(cx, cy - s), (cx + s * 0.9, cy - s * 0.5), (cx, cy), (cx - s * 0.9, cy - s * 0.5)]
    left = [(cx - s * 0.9, cy - s * 0.5), (cx, cy), (cx, cy + s), (cx - s * 0.9, cy + s * 0.5)]
    right = [(cx, cy), (cx + s * 0.9, cy - s * 0.5), (cx + s * 0.9, cy + s * 0.5), (cx, cy + s)]
    polygon(cv, top, rgb("#ffd37a"))
    polygon(cv, left, rgb("#e49a2c"))
    polygon(cv, right, rgb("#b86c12"))


def rotation_arrow(cv, cx, cy, rx, ry, scale):
    steps = 40
    pts = []
    for i in range(steps + 1):
        a = math.radians(200 + 140 * i / steps)
        pts.append((cx + rx * math.cos(a), cy + ry * math.sin(a)))
    for (ax, ay), (bx, by) in zip(pts, pts[1:]):
        line(cv, ax, ay, bx, by, 3 * scale, rgb("#ffffff", 0.9))
    (ex, ey), (px, py) = pts[-1], pts[-4]
    ang = math.atan2(ey - py, ex - px)
    head = 9 * scale
    polygon(cv, [(ex + head * math.cos(ang), ey + head * math.sin(ang)),
                 (ex + head * 0.6 * math.cos(ang + 2.2), ey + head * 0.6 * math.sin(ang + 2.2)),
                 (ex + head * 0.6 * math.cos(ang - 2.2), ey + head * 0.6 * math.sin(ang - 2.2))],
            rgb("#ffffff", 0.9))


# ---------------------------------------------------------------- pictures


def splash():
    cv = Canvas(521, 317)
    vertical_gradient(cv, rgb("#0d2a4a"), rgb("#1c6f86"))
    turntable(cv, 260, 118, 150, 46, 12, 1.3)
    cube(cv, 260, 112, 34)
    rotation_arrow(cv, 260, 118, 190, 70, 1.0)
    centred_text(cv, 196, "ORVANE VIEWER", 6, rgb("#ffffff"))
    centred_text(cv, 250, "V.1", 4, rgb("#ffd37a"))
    centred_text(cv, 284, "3D IMAGES FROM PHOTO SERIES", 2, rgb("#cfe8ff"))
    round_rect(cv, 0, 0, 521, 4, 0, rgb("#ffd37a"))
    round_rect(cv, 0, 313, 521, 4, 0, rgb("#ffd37a"))
    cv.save("splash.png")


def about():
    cv = Canvas(520, 316)
    vertical_gradient(cv, rgb("#f2f6fb"), rgb("#c9dcea"))
    rect(cv, 0, 0, 520, 120, rgb("#15466b"))
    turntable(cv, 110, 62, 80, 26, 10, 0.9)
    cube(cv, 110, 58, 20)
    text(cv, 220, 26, "ORVANE", 6, rgb("#ffffff"))
    text(cv, 220, 76, "VIEWER V.1", 3, rgb("#ffd37a"))
    centred_text(cv, 150, "BUILDS 3D IMAGES", 3, rgb("#15466b"))
    centred_text(cv, 184, "FROM A SERIES OF PHOTOS", 3, rgb("#15466b"))
    centred_text(cv, 240, "CLICK OR PRESS ESC TO CLOSE", 2, rgb("#4a6c88"))
    rect(cv, 0, 312, 520, 4, rgb("#e49a2c"))
    cv.save("about.png")


def placeholder():
    """Shown in the thumbnail panel when no picture is selected: an empty photo."""
    cv = Canvas(160, 120)
    round_rect(cv, 8, 8, 144, 104, 8, rgb("#d9dee4"))
    round_rect(cv, 14, 14, 132, 92, 4, rgb("#f4f6f8"))
    ellipse(cv, 112, 38, 10, 10, rgb("#c2c9d1"))
    polygon(cv, [(20, 100), (62, 50), (92, 84), (108, 68), (140, 100)], rgb("#c2c9d1"))
    cv.save("placeholder.png")


# Top-bar glyphs, 16 x 16, drawn once in colour and once greyed for the disabled state.
def glyph_folder_star(cv, c):
    polygon(cv, [(1, 4), (6, 4), (7.5, 5.5), (14, 5.5), (14, 13), (1, 13)], c("#e8b33c"))
    rect(cv, 1, 7, 13, 6, c("#f6cd5c"))
    star = []
    for i in range(10):
        r = 3.4 if i % 2 == 0 else 1.4
        a = -math.pi / 2 + i * math.pi / 5
        star.append((11.5 + r * math.cos(a), 4.2 + r * math.sin(a)))
    polygon(cv, star, c("#d8402a"))


def glyph_gear(cv, c):
    for i in range(8):
        a = i * math.pi / 4
        line(cv, 8 + 4 * math.cos(a), 8 + 4 * math.sin(a), 8 + 7 * math.cos(a),
             8 + 7 * math.sin(a), 2.6, c("#56677a"))
    ellipse(cv, 8, 8, 5, 5, c("#56677a"))
    ellipse(cv, 8, 8, 2, 2, c("#e6ebf0"))


def glyph_about(cv, c):
    ellipse(cv, 8, 8, 7, 7, c("#2f6fb3"))
    rect(cv, 7, 7, 2, 5, c("#ffffff"))
    ellipse(cv, 8, 4.6, 1.2, 1.2, c("#ffffff"))


def glyph_help(cv, c):
    ellipse(cv, 8, 8, 7, 7, c("#2e8b57"))
    text(cv, 5.5, 4, "?", 1, c("#ffffff"), gap=0)


def greyed(hex_text):
    r, g, b, a = rgb(hex_text)
    v = 0.55 + 0.3 * (0.3 * r + 0.59 * g + 0.11 * b)
    return (v, v, v, a * 0.8)


def glyph(name, draw):
    for suffix, colour in (("", rgb), ("_disabled", greyed)):
        cv = Canvas(16, 16)
        draw(cv, colour)
        cv.save("btn_" + name + suffix + ".png")


def program_icon():
    for size in (32, 48):
        cv = Canvas(size, size)
        s = size / 32
        round_rect(cv, 1 * s, 1 * s, 30 * s, 30 * s, 6 * s, rgb("#15466b"))
        ellipse(cv, 16 * s, 19 * s, 12 * s, 5 * s, rgb("#9fd8ff", 0.8), ring=1.2 * s)
        cube(cv, 16 * s, 15 * s, 8 * s)
        cv.save("orvane_%d.png" % size)


def qrc(names):
    lines = ['<!DOCTYPE RCC>', '<RCC version="1.0">', '<qresource prefix="/orvane">']
    lines += ['    <file alias="%s">images/%s</file>' % (n, n) for n in names]
    lines += ['</qresource>', '</RCC>', '']
    with open(os.path.join(HERE, "orvane.qrc"), "w") as f:
        f.write("\n".join(lines))


def main():
    os.makedirs(OUT, exist_ok=True)
    splash()
    about()
    placeholder()
    glyph("deffolder", glyph_folder_star)
    glyph("config", glyph_gear)
    glyph("about", glyph_about)
    glyph("help", glyph_help)
    program_icon()
    qrc(sorted(n for n in os.listdir(OUT) if n.endswith(".png")))


if __name__ == "__main__":
    main()
