#!/usr/bin/env python3
"""Writes budget/: one small file a format that declares a picture far larger than its
bytes (6000 x 4000 where the format allows it), for the test that every decoder checks
the picture against its memory budget before making it, and files whose picture is small
at a small coefficient but whose decode holds more (a filter window, a strip, matrices, a
saved area, the line resampler's window of rows, an interlaced PNG read whole).

Writes hostile/: files of at most 128 KB that declare huge pictures, for the test that the
panel shows or refuses each within bounded time and memory.

progressive.jpg is small at a small coefficient, but libjpeg holds every coefficient of a
file of several scans. The arithmetic-coded JPEG of 65500 x 65500 in hostile/ is a valid
file of about a hundred bytes (libjpeg's cjpeg codes it from a flat picture piped to it,
some seconds); the TIFF beside it holds the same stream as its one strip.

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
import threading
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


def png_rows(w, h, depth, colour_type, interlaced):
    # Every row of zeros, filter type 0, in the passes of an interlaced file or in order.
    channels = {0: 1, 2: 3}[colour_type]
    passes = ([(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4),
               (1, 0, 2, 2), (0, 1, 1, 2)] if interlaced else [(0, 0, 1, 1)])
    raw = b""
    for x0, y0, dx, dy in passes:
        pw, ph = max(0, (w - x0 + dx - 1) // dx), max(0, (h - y0 + dy - 1) // dy)
        if pw and ph:
            raw += (b"\x00" + bytes((pw * channels * depth + 7) // 8)) * ph
    head = struct.pack(">IIBBBBB", w, h, depth, colour_type, 0, 0, 1 if interlaced else 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", head) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def bmp(w=W, h=H, rows=b"\x00\x01", palette=bytes(256 * 4)):
    # 8-bit run-length rows after a palette (by default the end of the bitmap at once).
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, 1, 0, 2835, 2835, 0, 0)
    body = info + palette + rows
    return b"BM" + struct.pack("<IHHI", 14 + len(body), 0, 0, 14 + 40 + 1024) + body


def rle_dots(side, dots):
    # dots x dots single pixels of index 1, spread evenly over a side x side picture by
    # jumps (delta escapes of at most 255 either way).
    step = side // dots
    def jump(dx, dy):
        out = b""
        while dx or dy:
            out += b"\x00\x02" + bytes([min(dx, 255), min(dy, 255)])
            dx, dy = dx - min(dx, 255), dy - min(dy, 255)
        return out
    row = b"".join(jump(step - 1 if i else 0, 0) + b"\x01\x01" for i in range(dots))
    return b"".join(row + b"\x00\x00" + jump(0, step - 1) for _ in range(dots)) + b"\x00\x01"


def gif(w=W, h=H, background=0, interlaced=False):
    # A screen of w x h with a two-colour map and one image of a single pixel (LZW codes of
    # 3 bits: clear, 0, end).
    return (b"GIF89a" + struct.pack("<HHBBB", w, h, 0x80, background, 0) +
            bytes([0, 0, 0, 255, 255, 255]) + b"," +
            struct.pack("<HHHHB", 0, 0, 1, 1, 0x40 if interlaced else 0) + b"\x02\x02\x44\x01\x00;")


class Bits:
    # Bits written from each byte's top bit down, as LZW (low bit first) and fax codes
    # (top bit first) need them.
    def __init__(self, lsb_first):
        self.lsb_first, self.out, self.acc, self.count = lsb_first, bytearray(), 0, 0

    def put(self, value, size):
        for i in range(size):
            bit = (value >> (i if self.lsb_first else size - 1 - i)) & 1
            self.acc |= bit << (self.count if self.lsb_first else 7 - self.count)
            self.count += 1
            if self.count == 8:
                self.out.append(self.acc)
                self.acc, self.count = 0, 0

    def bytes(self):
        return bytes(self.out) + (bytes([self.acc]) if self.count else b"")


def lzw_constant(index, count):
    # LZW data (2-bit codes, sub-blocks) of count pixels of one index: each code the string
    # before it and one pixel more, a clear code whenever the table fills.
    bits, clear, end = Bits(True), 4, 5
    bits.put(clear, 3)
    left = count
    while left > 0:
        nxt, size, length = 6, 3, 1
        while left > 0 and nxt < 4096:
            take = min(length, left)
            bits.put(index if take == 1 else 6 + take - 2, size)
            left -= take
            nxt += 1
            if nxt > (1 << size) and size < 12:
                size += 1
            length += 1
        if left > 0:
            bits.put(clear, size)
    bits.put(end, 12)
    data = bits.bytes()
    return b"\x02" + b"".join(bytes([len(data[i:i + 255])]) + data[i:i + 255]
                               for i in range(0, len(data), 255)) + b"\x00"


def gif_frames(side, frames, control=b"", local_map=b""):
    # A side x side screen of four colours and frames (left, top, width, height), each of
    # index 1; every frame after the first follows control (a graphic control block, or
    # nothing) and has local_map (two colours) when one is given.
    out = b"GIF89a" + struct.pack("<HHBBB", side, side, 0x81, 0, 0) + bytes(
        [0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 0, 255])
    for i, (left, top, width, height) in enumerate(frames):
        own = local_map if i else b""
        out += (control if i else b"") + b"," + struct.pack(
            "<HHHHB", left, top, width, height, 0x80 if own else 0) + own
        out += lzw_constant(1, width * height)
    return out + b";"


def gif_turning_24_bit(side, total):
    # A side x side screen of background index 1, a file of total bytes padded by a comment,
    # and two single pixels, the second with colours the first map lacks.
    head = b"GIF89a" + struct.pack("<HHBBB", side, side, 0x80, 1, 0) + bytes([0, 0, 0, 255, 255, 255])
    first = b"," + struct.pack("<HHHHB", 0, 0, 1, 1, 0) + b"\x02\x02\x44\x01\x00"
    second = (b"," + struct.pack("<HHHHB", 5, 5, 1, 1, 0x80) + bytes([255, 0, 0, 0, 0, 255]) +
              b"\x02\x02\x44\x01\x00")
    room = total - len(head) - len(first) - len(second) - 4
    comment = b""
    while room - len(comment) > 1:
        size = min(255, room - len(comment) - 1)
        comment += bytes([size]) + bytes(size)
    return head + b"!\xfe" + comment + b"\x00" + first + second + b";"


def tif(w=W, h=H, compression=32773, bits=8, strip=b"\x81\x00", photometric=1):
    # Grey (or bilevel) in one strip, by default 8-bit PackBits of two bytes.
    entries = [(256, 4, w), (257, 4, h), (258, 3, bits), (259, 3, compression),
               (262, 3, photometric), (273, 4, 0), (277, 3, 1), (278, 4, h), (279, 4, len(strip))]
    offset = 8 + 2 + 12 * len(entries) + 4
    ifd = struct.pack("<H", len(entries))
    for tag, kind, value in entries:
        ifd += struct.pack("<HHII", tag, kind, 1, offset if tag == 273 else value)
    return b"II*\x00" + struct.pack("<I", 8) + ifd + struct.pack("<I", 0) + strip


def g4(side, edges):
    # Group 4 fax rows, white (0) on a white reference. With edges every row has a black
    # pixel at each end: the first row codes them in horizontal and vertical mode, every
    # later one repeats its reference (four V0 codes).
    bits = Bits(False)
    if edges:
        bits.put(0b001, 3), bits.put(0b00110101, 8), bits.put(0b010, 3)  # white 0, black 1
        bits.put(0b010, 3), bits.put(1, 1)  # VL1 to the last pixel, V0 to the end
        for _ in range(side - 1):
            bits.put(0b1111, 4)
    else:
        for _ in range(side):
            bits.put(1, 1)
    bits.put(1, 12), bits.put(1, 12)  # end of facsimile block
    return tif(side, side, 4, 1, bits.bytes(), 0)


def wic(w=W, h=H, levels=1, planes=(0, 0, 0), stream=b""):
    # By default the header alone: matrices of w x h, one level, no bit planes to read.
    return struct.pack("<IIHHHHIBBBB", 0x2CE, 0, w, h, w, h, 0x10000, levels, *planes) + stream


# The test encoder's stream for 8192 x 4096 coefficients all of 2^29 - 1 in five levels:
# every coefficient significant from the top bit plane on, every decision the likely one.
DENSE_WIC_STREAM = (bytes.fromhex("eb6fb45eb2c7") + bytes(373) + bytes.fromhex("ec8eff02"))


def tif_shared_strips(width, rows_per_strip, count, strip):
    # 8-bit grey, deflate, count strips of rows_per_strip rows that all point at the same
    # bytes; the offsets and byte counts are SHORT arrays after the data.
    tags = [(256, 4, 1, width), (257, 4, 1, rows_per_strip * count), (258, 3, 1, 8),
            (259, 3, 1, 8), (262, 3, 1, 1), (273, 3, count, None), (277, 3, 1, 1),
            (278, 4, 1, rows_per_strip), (279, 3, count, None)]
    data_at = 8 + 2 + 12 * len(tags) + 4
    offsets_at = data_at + len(strip)
    counts_at = offsets_at + 2 * count
    ifd = struct.pack("<H", len(tags))
    for tag, kind, n, value in tags:
        value = offsets_at if tag == 273 else counts_at if tag == 279 else value
        ifd += struct.pack("<HHIHH" if kind == 3 and n == 1 else "<HHII", tag, kind, n, value,
                           *([0] if kind == 3 and n == 1 else []))
    return (b"II*\x00" + struct.pack("<I", 8) + ifd + struct.pack("<I", 0) + strip +
            struct.pack("<%dH" % count, *[data_at] * count) +
            struct.pack("<%dH" % count, *[len(strip)] * count))


def arithmetic_jpeg(side):
    # A flat grey picture piped row by row to cjpeg, coded arithmetically.
    coder = subprocess.Popen(["cjpeg", "-arithmetic", "-grayscale"], stdin=subprocess.PIPE,
                             stdout=subprocess.PIPE)
    def feed():
        coder.stdin.write(b"P5\n%d %d\n255\n" % (side, side))
        rows = bytes([128]) * side * 64
        for _ in range(side // 64):
            coder.stdin.write(rows)
        coder.stdin.write(bytes([128]) * side * (side % 64))
        coder.stdin.close()

    writer = threading.Thread(target=feed)
    writer.start()
    data = coder.stdout.read()
    writer.join()
    if coder.wait() != 0:
        raise SystemExit("cjpeg failed")
    return data


def ico(entry, width_byte):
    return struct.pack("<HHH", 0, 1, 1) + struct.pack(
        "<BBBBHHII", width_byte, width_byte, 0, 0, 1, 32, len(entry), 22) + entry


def progressive_jpeg(work, side):
    path = os.path.join(work, "progressive.jpg")
    subprocess.run(["convert", "-size", "%dx%d" % (side, side), "xc:gray50", "-interlace",
                    "JPEG", path], check=True)
    return open(path, "rb").read()


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


def j2k_segment(marker, body):
    return struct.pack(">HH", marker, len(body) + 2) + body


def j2k(w, h, tiles, levels=5, sub=(1, 1), tile=None, precincts=None, cblk=6, layers=1,
        main=b"", numparts=1, pad=0):
    """A codestream of three 8-bit components on a w x h grid, sub-sampled `sub` times,
    reversible with `levels` levels, precincts of 2^`precincts` at every level (the default
    when None) and code-blocks of 2^`cblk`; `tiles` (tile number, packet bytes) tile-parts
    follow `main`, whose segments come after the quantisation, and `pad` bytes of comments.
    `tile` is the tile size (the whole grid by default)."""
    tw, th = tile or (w, h)
    siz = struct.pack(">H8IH", 0, w, h, 0, 0, tw, th, 0, 0, 3) + bytes([7, sub[0], sub[1]]) * 3
    cod = bytes([0 if precincts is None else 1, 0]) + struct.pack(">H", layers)
    cod += bytes([0, levels, cblk - 2, cblk - 2, 0, 1])
    if precincts is not None:
        cod += bytes([precincts * 0x11]) * (levels + 1)
    qcd = bytes([2 << 5]) + bytes([9 << 3]) * (3 * levels + 1)
    out = b"\xff\x4f" + j2k_segment(0xFF51, siz) + j2k_segment(0xFF52, cod)
    out += j2k_segment(0xFF5C, qcd) + main
    while pad > 0:
        out += j2k_segment(0xFF64, b"\x00\x01" + bytes(min(pad, 65000)))
        pad -= 65000
    for number, data in tiles:
        out += struct.pack(">HHHIBB", 0xFF90, 10, number, 14 + len(data), 0, numparts)
        out += b"\xff\x93" + data
    return out + b"\xff\xd9"


def j2k_poc(entries):
    """A progression change list: (RSpoc, CSpoc, LYEpoc, REpoc, CEpoc, Ppoc) each."""
    return j2k_segment(0xFF5F, b"".join(struct.pack(">BBHBBB", *e) for e in entries))


os.makedirs(OUT, exist_ok=True)
put("rle8-16000x1000.bmp", bmp(16000, 1000))
put("grey-16000x1000.png", png_rows(16000, 1000, 8, 0, False))
put("interlaced-2048.png", png_rows(2048, 2048, 8, 0, True))
put("deflate16-3000.tif", tif(3000, 3000, 8, 16, zlib.compress(bytes(3000 * 3000 * 2), 9)))
put("zero-planes-8192.wic", wic(8192, 4096, 5, stream=bytes(76)))
put("dispose-previous.gif", gif_frames(4096, [(0, 0, 4096, 4096)] * 2,
                                       b"!\xf9\x04\x0c\x00\x00\x00\x00"))
# The same, the second image a column short of the screen with colours the first map lacks:
# the picture turns 24-bit before that image saves what it covers.
put("dispose-previous-24-bit.gif", gif_frames(4096, [(0, 0, 4096, 4096), (0, 0, 4095, 4096)],
                                              b"!\xf9\x04\x0c\x00\x00\x00\x00",
                                              bytes([200, 30, 60, 10, 90, 250])))
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
    put("progressive.jpg", progressive_jpeg(work, 2048))
    put("small.j2k", j2000(work, 8, bytes(range(192))))
    put("256.j2k", j2000(work, 256, bytes([128]) * (256 * 256 * 3)))

OUT = os.path.join(HERE, "hostile")
os.makedirs(OUT, exist_ok=True)
put("rle8-ends-at-once.bmp", bmp(65535, 65535))
put("rle8-empty-lines.bmp", bmp(30000, 30000, b"\x00\x00" * 30000 + b"\x00\x01"))
put("rle8-dots.bmp", bmp(65535, 65535, rle_dots(65535, 90), bytes(4) + b"\xff" * 1020))
put("g4-blank.tif", g4(40000, False))
put("g4-edges.tif", g4(40000, True))
put("deflate-grey.tif", tif(16000, 8000, 8, 8, zlib.compress(bytes(16000 * 8000), 9)))
put("screen-32768.gif", gif(32768, 32768, 1, True))
put("turning-24-bit.gif", gif_turning_24_bit(8192, 128 << 10))
put("narrow-frames.gif", gif_frames(4096, [(i * 7, 0, 1, 4096) for i in range(600)]))
put("dense-8192.wic", wic(8192, 4096, 5, (29, 29, 29), DENSE_WIC_STREAM))
put("zero-planes-8192.wic", wic(8192, 4096, 5, stream=bytes(76)))
# 130 MB of zero rows deflated into 126 KB, declared as an interlaced colour picture of
# 18000 x 18000 (972 MB held whole before it is reduced): the data ends in the fifth pass.
deflater = zlib.compressobj(9)
interlaced_bomb = deflater.compress(bytes(130_000_000)) + deflater.flush(zlib.Z_SYNC_FLUSH)
put("interlaced-18000.png",
    b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 18000, 18000, 8, 2, 0, 0, 1)) +
    chunk(b"IDAT", interlaced_bomb) + chunk(b"IEND", b""))
put("shared-strips.tif", tif_shared_strips(65535, 2, 32000, zlib.compress(bytes(65535 * 2), 9)))
arithmetic = arithmetic_jpeg(65500)
put("arithmetic-65500.jpg", arithmetic)
put("arithmetic-65500.tif", tif(65500, 65500, 7, 8, arithmetic, 1))
# JPEG 2000: 4096 tiles of 2 x 2 precincts and 1 x 1 code-blocks, each brought in by a packet
# with data; the same tiles held to the end (no tile-part count); 65535 layers and 9360
# progression changes that look through component 0 again and again; one tile of 32768 x 32768
# with one empty packet; components of 257 x 257 samples stretched over 65535 x 65535 pixels;
# a 64 x 1M picture whose stores lie in a file (components sub-sampled 3:1 across).
put("tiles-4096-small-blocks.j2k",
    j2k(32768, 32768, [(t, b"\x80") for t in range(4096)], 9, tile=(512, 512), precincts=1,
        cblk=2))
put("tiles-1024-held.j2k",
    j2k(16384, 16384, [(t, b"\x80") for t in range(1024)], 9, tile=(512, 512), precincts=1,
        cblk=2, numparts=0))
put("layers-and-changes.j2k",
    j2k(128, 256, [(0, bytes(32768 + 4))], 0, precincts=0, layers=65535,
        main=j2k_poc([(0, 0, 1, 1, 1, 0)] * 9360)))
put("tile-32768.j2k", j2k(32768, 32768, [(0, b"\x00")]))
put("sub-sampled-65535.j2k", j2k(65535, 65535, [(0, b"\x00")], sub=(255, 255), pad=120000))
put("tall-narrow.j2k", j2k(64, 1 << 20, [(0, b"\x00")], sub=(3, 1), pad=125000))
