#!/usr/bin/env python3
"""Draws the slideshow's button glyphs, insertion marks and error icon as PNG files.

Each button glyph is two 16 x 16 cells side by side: the normal look and the disabled one.
The marks are 19 x 19 and the error icon 32 x 32. Shapes are polygons filled with 4 x 4
supersampling, so edges come out smooth. Only the standard library is needed:
    python3 make_glyphs.py [output folder]
"""
import math
import os
import struct
import sys
import zlib

SAMPLES = 4


def polygon_contains(points, x, y):
    inside = False
    j = len(points) - 1
    for i in range(len(points)):
        xi, yi = points[i]
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


class Canvas:
    def __init__(self, width, height):
        self.width = width
        self.height = height
        self.pixels = [[(0, 0, 0, 0)] * width for _ in range(height)]

    def fill(self, points, colour):
        """Fills a polygon (even-odd rule) blending colour over what is there."""
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]
        for py in range(max(0, int(min(ys))), min(self.height, int(math.ceil(max(ys))) + 1)):
            for px in range(max(0, int(min(xs))), min(self.width, int(math.ceil(max(xs))) + 1)):
                hits = 0
                for sy in range(SAMPLES):
                    for sx in range(SAMPLES):
                        if polygon_contains(points, px + (sx + 0.5) / SAMPLES,
                                            py + (sy + 0.5) / SAMPLES):
                            hits += 1
                if hits:
                    self.blend(px, py, colour, hits / (SAMPLES * SAMPLES))

    def blend(self, x, y, colour, coverage):
        r, g, b, a = colour
        alpha = a / 255.0 * coverage
        dr, dg, db, da = self.pixels[y][x]
        dalpha = da / 255.0
        out = alpha + dalpha * (1 - alpha)
        if out <= 0:
            return
        mix = lambda s, d: int(round((s * alpha + d * dalpha * (1 - alpha)) / out))
        self.pixels[y][x] = (mix(r, dr), mix(g, dg), mix(b, db), int(round(out * 255)))

    def paste(self, other, ox, oy):
        for y in range(other.height):
            for x in range(other.width):
                self.pixels[oy + y][ox + x] = other.pixels[y][x]

    def save(self, path):
        raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in self.pixels)
        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 6, 0, 0, 0)
        with open(path, "wb") as out:
            out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                      chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def rect(x0, y0, x1, y1):
    return [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]


def circle(cx, cy, r, steps=48):
    return [(cx + r * math.cos(2 * math.pi * i / steps), cy + r * math.sin(2 * math.pi * i / steps))
            for i in range(steps)]


def arc_band(cx, cy, r_in, r_out, start, end, steps=32):
    """A thick arc from angle start to end (degrees, clockwise on screen)."""
    outer = [(cx + r_out * math.cos(math.radians(start + (end - start) * i / steps)),
              cy + r_out * math.sin(math.radians(start + (end - start) * i / steps)))
             for i in range(steps + 1)]
    inner = [(cx + r_in * math.cos(math.radians(start + (end - start) * i / steps)),
              cy + r_in * math.sin(math.radians(start + (end - start) * i / steps)))
             for i in range(steps, -1, -1)]
    return outer + inner


def mirror_x(shape, width=16):
    return [(width - x, y) for x, y in shape]


def mirror_y(shape, height=16):
    return [(x, height - y) for x, y in shape]


def line(x0, y0, x1, y1, thickness):
    dx, dy = x1 - x0, y1 - y0
    length = math.hypot(dx, dy)
    nx, ny = -dy / length * thickness / 2, dx / length * thickness / 2
    return [(x0 + nx, y0 + ny), (x1 + nx, y1 + ny), (x1 - nx, y1 - ny), (x0 - nx, y0 - ny)]


INK = (24, 48, 96, 255)
RED = (200, 30, 30, 255)
GREEN = (20, 120, 40, 255)

UP_ARROW = [(8, 1.5), (14, 8), (10, 8), (10, 14.5), (6, 14.5), (6, 8), (2, 8)]
ROTATE_ARROW_HEAD = [(1, 7), (6.5, 7), (3.75, 11)]


def rotate_left():
    # An arc turning counterclockwise over the top, ending in a head on the left.
    return [(arc_band(8, 8.5, 3.8, 6.2, -190, 20), INK),
            ([(0.3, 7.2), (7.2, 7.2), (3.8, 11.8)], INK)]


GLYPHS = {
    "PREV": [(rect(2, 3, 4.5, 13), INK), ([(14, 3), (14, 13), (5, 8)], INK)],
    "PLAY": [([(1.5, 3), (1.5, 13), (9, 8)], GREEN), (rect(10, 4, 15, 12), RED)],
    "NEXT": [(rect(11.5, 3, 14, 13), INK), ([(2, 3), (2, 13), (11, 8)], INK)],
    "RLEFT": rotate_left(),
    "RRIGHT": [(mirror_x(s), c) for s, c in rotate_left()],
    "FULLSCR": [
        (rect(1.5, 2.5, 14.5, 13.5), INK), (rect(3, 4, 13, 12), (0, 0, 0, 0)),
        ([(1.5, 2.5), (6.5, 2.5), (1.5, 7.5)], INK), ([(14.5, 2.5), (9.5, 2.5), (14.5, 7.5)], INK),
        ([(1.5, 13.5), (6.5, 13.5), (1.5, 8.5)], INK), ([(14.5, 13.5), (9.5, 13.5), (14.5, 8.5)], INK),
    ],
    "MOVEUP": [(UP_ARROW, INK)],
    "MOVEDOWN": [(mirror_y(UP_ARROW), INK)],
    "ZORDER": [
        ([(4.5, 1.5), (8.5, 6), (6, 6), (6, 14.5), (3, 14.5), (3, 6), (0.5, 6)], INK),
        (mirror_y([(11.5, 1.5), (15.5, 6), (13, 6), (13, 14.5), (10, 14.5), (10, 6), (7.5, 6)]), RED),
    ],
    "DELETE": [(line(3, 3, 13, 13, 3), RED), (line(13, 3, 3, 13, 3), RED)],
}


def draw_shapes(canvas, shapes):
    for shape, colour in shapes:
        if colour[3] == 0:
            # A hole: clear what lies under the polygon.
            for y in range(canvas.height):
                for x in range(canvas.width):
                    if polygon_contains(shape, x + 0.5, y + 0.5):
                        canvas.pixels[y][x] = (0, 0, 0, 0)
        else:
            canvas.fill(shape, colour)


def disabled(cell):
    """Grey and faint, with a light shadow below right: the usual disabled look."""
    out = Canvas(cell.width, cell.height)
    for y in range(cell.height):
        for x in range(cell.width):
            a = cell.pixels[y][x][3]
            if a and x + 1 < cell.width and y + 1 < cell.height:
                out.blend(x + 1, y + 1, (255, 255, 255, a), 1.0)
    for y in range(cell.height):
        for x in range(cell.width):
            a = cell.pixels[y][x][3]
            if a:
                out.blend(x, y, (128, 128, 128, a), 1.0)
    return out


def button_glyph(shapes):
    cell = Canvas(16, 16)
    draw_shapes(cell, shapes)
    strip = Canvas(32, 16)
    strip.paste(cell, 0, 0)
    strip.paste(disabled(cell), 16, 0)
    return strip


def place_mark(pointing_down):
    # A red arrow on the column's middle line pointing at the gap it marks.
    mark = Canvas(19, 19)
    head = [(2, 6), (17, 6), (9.5, 17)]
    stem = rect(6.5, 1, 12.5, 7)
    shapes = [(stem, RED), (head, RED)]
    if not pointing_down:
        shapes = [(mirror_y(s, 18), c) for s, c in shapes]
    draw_shapes(mark, shapes)
    return mark


def error_icon():
    icon = Canvas(32, 32)
    icon.fill(circle(16, 16, 15), (120, 10, 10, 255))
    icon.fill(circle(16, 16, 13.8), (220, 40, 40, 255))
    icon.fill(line(10, 10, 22, 22, 4), (255, 255, 255, 255))
    icon.fill(line(22, 10, 10, 22, 4), (255, 255, 255, 255))
    return icon


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for name, shapes in GLYPHS.items():
        button_glyph(shapes).save(os.path.join(folder, name.lower() + ".png"))
    place_mark(True).save(os.path.join(folder, "pleft.png"))
    place_mark(False).save(os.path.join(folder, "pright.png"))
    error_icon().save(os.path.join(folder, "error.png"))


if __name__ == "__main__":
    main()
