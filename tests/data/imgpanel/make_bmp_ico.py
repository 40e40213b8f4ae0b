#!/usr/bin/env python3
"""Writes the hand-made BMP and icon files of the image panel's tests and fuzz seeds.

valid/      small files of every layout the decoders read
malformed/  files each decoder must refuse, named <what>.<error code>.<bmp|ico>
../../../fuzz/corpus/bmp, ../../../fuzz/corpus/ico  the valid files and a few malformed
            ones, as fuzz seeds

Run from anywhere; it rewrites those folders' files (others are left alone).
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", "..", ".."))
VALID = os.path.join(HERE, "valid")
MALFORMED = os.path.join(HERE, "malformed")
BMP_SEEDS = os.path.join(ROOT, "fuzz", "corpus", "bmp")
ICO_SEEDS = os.path.join(ROOT, "fuzz", "corpus", "ico")


def row_bytes(width, bpp):
    return (width * bpp + 31) // 32 * 4


def pixel_rows(width, height, bpp):
    """A small pattern of indices or packed pixels, rows padded to 4 bytes."""
    rows = []
    for y in range(height):
        if bpp >= 8:
            raw = bytes(((x * 37 + y * 11) & 0xFF) for x in range(width * bpp // 8))
        else:
            bits = width * bpp
            raw = bytes(((x * 29 + y * 7) & 0xFF) for x in range((bits + 7) // 8))
        rows.append(raw + bytes(row_bytes(width, bpp) - len(raw)))
    return b"".join(rows)


def palette(entries, entry_bytes=4):
    out = b""
    for i in range(entries):
        quad = bytes([(i * 50) & 0xFF, (i * 90) & 0xFF, (255 - i * 30) & 0xFF, 0])
        out += quad[:entry_bytes]
    return out


def info_header(width, height, bpp, size=40, planes=1, compression=0, colours=0, masks=()):
    h = struct.pack("<IiiHHIIiiII", size, width, height, planes, bpp, compression, 0,
                    2835, 2835, colours, 0)
    for m in masks:
        h += struct.pack("<I", m)
    return (h + bytes(max(0, size - len(h))))[:size]


def bmp(header, body, off_bits=None, trailing=b""):
    """header: the information header; body: palette + masks + rows as stored."""
    off = 14 + len(header) + len(trailing) if off_bits is None else off_bits
    data = header + trailing + body
    return b"BM" + struct.pack("<IHHI", 14 + len(data), 0, 0, off) + data


def valid_bmps():
    w, h = 5, 3
    files = {}
    for bpp in (1, 4, 8):
        files[f"pal{bpp}.bmp"] = bmp(info_header(w, h, bpp),
                                     palette(1 << bpp) + pixel_rows(w, h, bpp))
    # Colours used past 2^8 and no pixel offset: the rows follow 256 palette entries.
    files["pal8-colours-1000.bmp"] = bmp(info_header(w, h, 8, colours=1000),
                                         palette(256) + pixel_rows(w, h, 8), off_bits=0)
    files["pal8-few-colours.bmp"] = bmp(info_header(w, h, 8, colours=3),
                                        palette(3) + pixel_rows(w, h, 8))
    files["core8.bmp"] = bmp(struct.pack("<IHHHH", 12, w, h, 1, 8),
                             palette(256, 3) + pixel_rows(w, h, 8))
    files["os2-16.bmp"] = bmp(struct.pack("<IiiHH", 16, w, h, 1, 24), pixel_rows(w, h, 24))
    files["rgb24.bmp"] = bmp(info_header(w, h, 24), pixel_rows(w, h, 24))
    files["top-down24.bmp"] = bmp(info_header(w, -h, 24), pixel_rows(w, h, 24))
    files["rgb16-555.bmp"] = bmp(info_header(w, h, 16), pixel_rows(w, h, 16))
    files["bitfields16-565.bmp"] = bmp(info_header(w, h, 16, compression=3),
                                       pixel_rows(w, h, 16),
                                       trailing=struct.pack("<III", 0xF800, 0x07E0, 0x001F))
    files["rgb32.bmp"] = bmp(info_header(w, h, 32), pixel_rows(w, h, 32))
    files["v4-bitfields32.bmp"] = bmp(
        info_header(w, h, 32, size=108, compression=3, masks=(0xFF, 0xFF00, 0xFF0000, 0)),
        pixel_rows(w, h, 32))
    files["v5-alpha56.bmp"] = bmp(
        info_header(w, h, 16, size=56, compression=6, masks=(0xF00, 0xF0, 0xF, 0xF000)),
        pixel_rows(w, h, 16))
    # Rows placed by the file header's offset, past a gap after the palette.
    gap = palette(2) + bytes(6)
    files["offset-gap1.bmp"] = bmp(info_header(w, h, 1), gap + pixel_rows(w, h, 1),
                                   off_bits=14 + 40 + len(gap))
    files["rle8.bmp"] = bmp(info_header(7, 3, 8, compression=1), palette(256) + RLE8)
    files["rle4.bmp"] = bmp(info_header(7, 2, 4, compression=2), palette(16) + RLE4)
    files["rle8-jumps.bmp"] = bmp(info_header(7, 4, 8, compression=1),
                                  palette(256) + RLE8_JUMPS)
    files["rle4-jumps.bmp"] = bmp(info_header(7, 3, 4, compression=2), palette(16) + RLE4_JUMPS)
    return files


# 7 x 3: runs, literal pixels with and without padding, every row complete.
RLE8 = bytes([
    3, 5, 0, 3, 1, 2, 3, 0, 1, 6, 0, 0,  # 5 5 5 1 2 3 6, end of line
    7, 9, 0, 0,                          # 9 9 9 9 9 9 9
    0, 4, 10, 11, 12, 13, 3, 200,        # 10 11 12 13 200 200 200
    0, 1])                               # end of bitmap
# 7 x 2, two pixels a byte.
RLE4 = bytes([
    4, 0x12, 0, 3, 0x34, 0x50, 0, 0,        # 1 2 1 2 3 4 5
    0, 5, 0xAB, 0xCD, 0xE0, 0, 2, 0x0F, 0, 1])  # 10 11 12 13 14 0 15, end of bitmap
# 7 x 4: a jump, a run past the row's end, an early end of bitmap.
RLE8_JUMPS = bytes([
    2, 4, 0, 2, 2, 1,              # row 0: 4 4, then 2 right and 1 up
    3, 7, 0, 0,                    # row 1 from x 4: 7 7 7
    0, 4, 10, 11, 12, 13, 5, 200,  # row 2: the run is cut at the row's end
    0, 0, 0, 1])                   # row 3 empty
# 7 x 3.
RLE4_JUMPS = bytes([
    0, 2, 3, 1,            # row 0 empty; 3 right, 1 up
    4, 0x77, 9, 0x12, 0, 0,  # row 1 from x 3: 7 7 7 7, the rest cut
    0, 1])                 # row 2 empty


def malformed_bmps():
    w, h = 5, 3
    good = pixel_rows(w, h, 24)
    files = {
        "header-size-66.11.bmp": bmp(info_header(w, h, 24, size=66), good),
        "header-size-200.11.bmp": bmp(info_header(w, h, 24, size=200), good),
        "planes-2.3002.bmp": bmp(info_header(w, h, 24, planes=2), good),
        "width-0.11.bmp": bmp(info_header(0, h, 24), good),
        "width-negative.11.bmp": bmp(info_header(-5, h, 24), good),
        "height-0.11.bmp": bmp(info_header(w, 0, 24), good),
        "height-int-min.11.bmp": bmp(info_header(w, -0x80000000, 24), good),
        "bit-count-2.11.bmp": bmp(info_header(w, h, 2), palette(4) + good),
        "bit-count-0.11.bmp": bmp(info_header(w, h, 0), good),
        "core-bit-count-32.11.bmp": bmp(struct.pack("<IHHHH", 12, w, h, 1, 32), good),
        "rle8-on-24-bit.11.bmp": bmp(info_header(w, h, 24, compression=1), bytes(8)),
        "rle4-top-down.11.bmp": bmp(info_header(7, -2, 4, compression=2), palette(16) + RLE4),
        "rle8-too-wide.11.bmp": bmp(info_header(65536, 3, 8, compression=1),
                                    palette(256) + RLE8),
        "rle8-cut.30.bmp": bmp(info_header(7, 3, 8, compression=1), palette(256) + RLE8[:18]),
        "embedded-jpeg.11.bmp": bmp(info_header(w, h, 0, compression=4), b"\xff\xd8\xff"),
        "bitfields-on-24-bit.11.bmp": bmp(info_header(w, h, 24, compression=3), good,
                                          trailing=struct.pack("<III", 0xFF, 0xFF00, 0xFF0000)),
        "bitfields-no-masks.11.bmp": bmp(info_header(w, h, 16, compression=3),
                                         pixel_rows(w, h, 16), trailing=bytes(12)),
        "os2-huffman.11.bmp": bmp(info_header(w, h, 1, size=64, compression=3),
                                  palette(2) + pixel_rows(w, h, 1)),
        "ten-bytes.30.bmp": b"BM" + bytes(8),
        "header-cut.30.bmp": bmp(info_header(w, h, 24), good)[:30],
        "masks-cut.30.bmp": bmp(info_header(w, h, 16, compression=3), b"",
                                trailing=b"\x00\xf8")[:14 + 40 + 2],
        "palette-cut.30.bmp": bmp(info_header(w, h, 8), palette(100)),
        "rows-cut.30.bmp": bmp(info_header(w, h, 24), good)[:-1],
        "huge-claim.30.bmp": bmp(info_header(0x7FFFFFFF, 0x7FFFFFFF, 32), good),
        "huge-top-down-claim.30.bmp": bmp(info_header(0x7FFFFFFF, -0x7FFFFFFF, 1),
                                          palette(2) + good),
    }
    return files


def icon(entries, images, reserved=0, kind=1, count=None):
    """entries: (width, height, bpp) per image; images: the stored images in order."""
    count = len(entries) if count is None else count
    out = struct.pack("<HHH", reserved, kind, count)
    offset = 6 + 16 * len(entries)
    for (w, h, bpp), image in zip(entries, images):
        out += struct.pack("<BBBBHHII", w & 0xFF, h & 0xFF, 0, 0, 1, bpp, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def icon_image(w, h, bpp, header_size=40, compression=0, colours=0):
    """colours: the header's colours used, when it names fewer than bpp allows; only that
    many palette entries are stored and 8-bit pixels use only those."""
    head = info_header(w, 2 * h, bpp, size=40, compression=compression, colours=colours)
    head = struct.pack("<I", header_size) + head[4:]
    pal = palette(colours or 1 << bpp) if bpp <= 8 else b""
    rows = pixel_rows(w, h, bpp)
    if colours:
        rows = bytes(b % colours for b in rows)
    return head + pal + rows + pixel_rows(w, h, 1)


PNG_START = b"\x89PNG\r\n\x1a\n" + bytes(24)


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png_rgb(w, h):
    """An 8-bit RGB PNG stream with a different colour in every pixel."""
    rows = b"".join(b"\x00" + bytes(c for x in range(w) for c in ((x * 60) % 256, (y * 90) % 256,
                                                                    (x * y * 25 + 40) % 256))
                    for y in range(h))
    return (PNG_START[:8] + png_chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
            + png_chunk(b"IDAT", zlib.compress(rows)) + png_chunk(b"IEND", b""))


def valid_icons():
    files = {}
    for bpp in (1, 4, 8, 24, 32):
        files[f"icon{bpp}.ico"] = icon([(16, 16, bpp)], [icon_image(16, 16, bpp)])
    files["wide-256.ico"] = icon([(256, 1, 1)], [icon_image(256, 1, 1)])  # stored as width 0
    files["icon8-3-colours.ico"] = icon([(16, 16, 8)], [icon_image(16, 16, 8, colours=3)])
    files["cursor.cur"] = icon([(8, 8, 1)], [icon_image(8, 8, 1)], kind=2)
    files["two-images.ico"] = icon([(4, 4, 8), (8, 8, 32)],
                                   [icon_image(4, 4, 8), icon_image(8, 8, 32)])
    files["png-entry.png"] = png_rgb(5, 3)  # the reference for the next one
    files["png-entry.ico"] = icon([(0, 0, 32), (4, 4, 8)], [png_rgb(5, 3), icon_image(4, 4, 8)])
    return files


def malformed_icons():
    img = icon_image(16, 16, 4)
    ok = [(16, 16, 4)]
    files = {
        "four-bytes.30.ico": struct.pack("<HH", 0, 1),
        "reserved-1.11.ico": icon(ok, [img], reserved=1),
        "type-3.11.ico": icon(ok, [img], kind=3),
        "count-0.11.ico": icon([], [], count=0) + img,
        "entries-cut.30.ico": icon(ok, [img], count=5)[:6 + 16 * 2],
        # Whole but for its directory, whose 255 entries would run past the end of the file.
        "entries-past-end.30.ico": icon(ok, [img], count=255),
        "image-header-cut.30.ico": icon(ok, [img])[:6 + 16 + 20],
        "offset-past-end.30.ico": icon(ok, [img])[:18] + struct.pack("<I", 0x7FFFFFF0)
        + icon(ok, [img])[22:],
        "bit-count-3.11.ico": icon([(16, 16, 3)], [icon_image(16, 16, 4)[:14]
                                                   + struct.pack("<H", 3)
                                                   + icon_image(16, 16, 4)[16:]]),
        "core-header.11.ico": icon(ok, [icon_image(16, 16, 4, header_size=12)]),
        "compressed.11.ico": icon(ok, [icon_image(16, 16, 4, compression=2)]),
        "png-entry-no-header.110.ico": icon([(0, 0, 32)], [PNG_START]),
        "png-entry-cut.110.ico": icon([(0, 0, 32)], [png_rgb(5, 3)[:-20]]),
        "rows-cut.30.ico": icon(ok, [img])[:6 + 16 + 40 + 64 + 20],
        "jpeg2000-box.11.ico": b"\x00\x00\x00\x0cjP  \r\n\x87\n" + bytes(20),
    }
    return files


def write(folder, files):
    os.makedirs(folder, exist_ok=True)
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def main():
    bad_bmp, bad_ico = malformed_bmps(), malformed_icons()
    write(VALID, {**valid_bmps(), **valid_icons()})
    write(MALFORMED, {**bad_bmp, **bad_ico})
    seeds_from_bad = ("rows-cut.30.bmp", "header-size-66.11.bmp", "huge-claim.30.bmp")
    write(BMP_SEEDS, {**valid_bmps(), **{k: bad_bmp[k] for k in seeds_from_bad}})
    icons = {k: v for k, v in valid_icons().items() if not k.endswith(".png")}
    write(ICO_SEEDS, {**icons, "png-entry-cut.ico": bad_ico["png-entry-cut.110.ico"],
                      "rows-cut.ico": bad_ico["rows-cut.30.ico"]})


if __name__ == "__main__":
    main()
