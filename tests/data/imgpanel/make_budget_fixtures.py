#!/usr/bin/env python3
"""Writes budget/: one small file a format that declares a picture far larger than its
bytes (6000 x 4000 where the format allows it), for the test that every decoder checks
the picture against its memory budget before making it.

The icon's bitmap entry can declare 256 x 256 at most and small.j2k is a real 8 x 8
picture; their test gives them a tiny budget instead. 256.j2k, a flat 256 x 256 picture,
is for the test that the JPEG 2000 decode itself, which works at full size, keeps within
the budget however small the picture is shown. The JPEG starts as a 16 x 16
picture written by ImageMagick's convert, the JPEG 2000 file is written by opj_compress;
the rest is written here byte by byte. Run from anywhere; it rewrites budget/.
"""
import os
import struct
import subprocess
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "budget")
W, H = 6000, 4000


def put(name, data):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def png():
    # The header, then image data that ends before the first row.
    head = struct.pack(">IIBBBBB", W, H, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", head) + chunk(b"IDAT", zlib.compress(b"")) +
            chunk(b"IEND", b""))


def bmp():
    # 8-bit run-length rows: a palette, then at once the end of the bitmap.
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 8, 1, 0, 2835, 2835, 0, 0)
    body = info + bytes(256 * 4) + b"\x00\x01"
    return b"BM" + struct.pack("<IHHI", 14 + len(body), 0, 0, 14 + 40 + 1024) + body


def gif():
    # A screen of W x H with a two-colour map and one image of a single pixel (LZW codes of
    # 3 bits: clear, 0, end).
    return (b"GIF89a" + struct.pack("<HHBBB", W, H, 0x80, 0, 0) + bytes([0, 0, 0, 255, 255, 255]) +
            b"," + struct.pack("<HHHHB", 0, 0, 1, 1, 0) + b"\x02\x02\x44\x01\x00;")


def tif():
    # 8-bit grey in one PackBits strip of two bytes.
    entries = [(256, 4, W), (257, 4, H), (258, 3, 8), (259, 3, 32773), (262, 3, 1),
               (273, 4, 0), (277, 3, 1), (278, 4, H), (279, 4, 2)]
    strip = 8 + 2 + 12 * len(entries) + 4
    ifd = struct.pack("<H", len(entries))
    for tag, kind, value in entries:
        ifd += struct.pack("<HHII", tag, kind, 1, strip if tag == 273 else value)
    return b"II*\x00" + struct.pack("<I", 8) + ifd + struct.pack("<I", 0) + b"\x81\x00"


def wic():
    # The header alone: matrices of W x H, one level, no bit planes to read.
    return struct.pack("<IIHHHHIBBBB", 0x2CE, 0, W, H, W, H, 0x10000, 1, 0, 0, 0)


def ico(entry, width_byte):
    return struct.pack("<HHH", 0, 1, 1) + struct.pack(
        "<BBBBHHII", width_byte, width_byte, 0, 0, 1, 32, len(entry), 22) + entry


def jpeg(work):
    small = os.path.join(work, "small.jpg")
    subprocess.run(["convert", "-size", "16x16", "xc:gray50", small], check=True)
    data = bytearray(open(small, "rb").read())
    sof = data.index(b"\xff\xc0")
    data[sof + 5:sof + 9] = struct.pack(">HH", H, W)
    return bytes(data)


def j2000(work, side, pixels):
    ppm = os.path.join(work, "small.ppm")
    out = os.path.join(work, "small.j2k")
    with open(ppm, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (side, side) + pixels)
    subprocess.run(["opj_compress", "-n", "2", "-i", ppm, "-o", out], check=True,
                   stdout=subprocess.DEVNULL)
    return open(out, "rb").read()


os.makedirs(OUT, exist_ok=True)
put("huge.png", png())
put("huge-rle8.bmp", bmp())
put("huge-screen.gif", gif())
put("huge.tif", tif())
put("huge.wic", wic())
put("huge-png-entry.ico", ico(png(), 0))
# A 256 x 256 entry of 32 bits whose header is all the file holds.
put("256-bitmap-entry.ico",
    ico(struct.pack("<IiiHHIIiiII", 40, 256, 512, 1, 32, 0, 0, 0, 0, 0, 0), 0))
with tempfile.TemporaryDirectory() as work:
    put("huge.jpg", jpeg(work))
    put("small.j2k", j2000(work, 8, bytes(range(192))))
    put("256.j2k", j2000(work, 256, bytes([128]) * (256 * 256 * 3)))
