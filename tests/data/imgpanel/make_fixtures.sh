#!/bin/sh
# Remakes the PNG, GIF, TIFF, JPEG and JPEG 2000 fixtures of the image decoders' tests in this
# folder, and the fuzz seeds (fuzz/corpus/png, gif, tiff) from them. Pictures are written
# by ImageMagick's convert (libpng, giflib's format, libtiff) and opj_compress; the files no
# writer makes as wanted (broken headers, a GIF without colour map, cut files, exact alpha)
# are made by hand below; a broken file is named <what>.<the error code it must fail with>.
# Every file stays tiny; the tests compare each against a reference decode at run time.
set -eu
here="$(cd "$(dirname "$0")" && pwd)"
corpus="$here/../../../fuzz/corpus"
mkdir -p "$here/png" "$here/gif" "$here/tiff" "$here/jpeg" "$here/j2k" "$here/malformed" \
    "$here/panel"
cd "$here"
src=source.png
trap 'rm -f "$src" deep.ppm sub.raw' EXIT
convert -seed 7 -size 37x23 plasma:fractal -depth 8 "$src"

# PNG: no gamma, chromaticity, time or text chunks, so nothing but the pixels varies.
bare="-define png:exclude-chunks=date,time,gAMA,cHRM,iCCP,sRGB,tEXt,zTXt,vpAg,oFFs,pHYs,tIME"
convert "$src" $bare PNG24:png/rgb.png
convert "$src" $bare -interlace PNG PNG24:png/interlaced.png
convert "$src" -alpha set -channel A -fx 'i/w' +channel $bare -define png:exclude-chunk=bKGD \
    PNG32:png/rgba.png
convert "$src" -alpha set -channel A -fx 'i/w' +channel -background '#3366cc' $bare \
    -define png:include-chunk=bKGD PNG32:png/rgba-bkgd.png
convert "$src" -colorspace Gray -depth 16 $bare -define png:color-type=0 png/grey16.png
convert "$src" -colorspace Gray -threshold 50% $bare -define png:bit-depth=1 \
    -define png:color-type=0 png/grey1.png
convert "$src" -colors 12 $bare -define png:bit-depth=4 -define png:color-type=3 png/palette4.png

# GIF.
convert "$src" -colors 64 gif/single.gif
convert "$src" -colors 64 -interlace GIF gif/interlaced.gif
convert -size 37x23 xc:red xc:lime xc:blue -set delay 10 gif/animated.gif
# A 10 x 6 image at (20, 9) of a 37 x 23 screen.
convert -size 37x23 xc:white \( -size 10x6 xc:black -repage +20+9 \) -set dispose none \
    gif/offset.gif
# An interlaced 10 x 6 image at (5, 7) of a 37 x 23 screen.
convert -size 10x6 xc:red -page 37x23+5+7 -interlace GIF gif/interlaced-inset.gif

# TIFF.
convert "$src" -compress lzw -define tiff:rows-per-strip=5 tiff/rgb.tif
convert "$src" -alpha opaque -compress none tiff/rgba.tif
convert "$src" -colorspace Gray -monochrome -depth 1 -define quantum:polarity=min-is-white \
    -compress none tiff/bilevel-white.tif
convert "$src" -colorspace Gray -monochrome -depth 1 -define quantum:polarity=min-is-black \
    -compress none tiff/bilevel-black.tif
convert "$src" -colors 40 -type palette -compress none tiff/palette8.tif
convert "$src" -colorspace Gray -depth 4 -compress rle tiff/grey4.tif
convert "$src" -colorspace Gray -depth 2 -compress none tiff/grey2.tif
convert "$src" -define tiff:tile-geometry=16x16 -compress zip tiff/tiled.tif
convert "$src" -define tiff:tile-geometry=16x16 -compress none tiff/tiled-none.tif
convert "$src" -interlace plane -compress none tiff/planar.tif
convert "$src" -depth 16 -compress none tiff/rgb16.tif
convert "$src" -depth 16 -compress none -orient bottom-left -define tiff:rows-per-strip=5 \
    tiff/rgb16-bottom-left.tif
convert "$src" -compress jpeg -quality 90 tiff/jpeg.tif
convert "$src" -colorspace YCbCr -compress jpeg -quality 90 tiff/jpeg-ycbcr.tif
convert "$src" -colorspace cmyk -compress none tiff/cmyk.tif
convert "$src" -colorspace cmyk -depth 16 -compress none tiff/cmyk16.tif

# JPEG.
convert "$src" -quality 90 jpeg/rgb.jpg
convert "$src" -quality 90 -interlace JPEG jpeg/progressive.jpg
convert "$src" -colorspace Gray -quality 90 jpeg/grey.jpg

# JPEG 2000: a 31 x 23 colour codestream of two resolution levels, coded losslessly from
# the picture kept beside it.
python3 -c 'import sys; sys.stdout.buffer.write(b"P6\n31 23\n255\n" +
    bytes(i * 7 % 256 for i in range(31 * 23 * 3)))' > j2k/ramps.ppm
opj_compress -n 2 -i j2k/ramps.ppm -o j2k/ramps.j2k >/dev/null
# 12-bit samples (red along x, green along y, blue half way) coded losslessly, shown as each
# sample's top 8 bits; and components 1 and 2 at half size on both axes, as chroma is, shown
# with each pixel's nearest sample. Each beside the picture it shows.
python3 - <<'PY'
import struct

def ppm(name, w, h, maxval, rgb):
    sample = (lambda v: struct.pack(">H", v)) if maxval > 255 else (lambda v: bytes([v]))
    with open(name, "wb") as f:
        f.write(b"P6\n%d %d\n%d\n" % (w, h, maxval))
        f.write(b"".join(sample(v) for y in range(h) for x in range(w) for v in rgb(x, y)))

deep = lambda x, y: (x * 4095 // 63, y * 4095 // 47, 2047)
ppm("deep.ppm", 64, 48, 4095, deep)
ppm("j2k/deep12.ppm", 64, 48, 255, lambda x, y: [v >> 4 for v in deep(x, y)])
planes = [lambda x, y: x * 5 + y * 2, lambda x, y: 60 + x * 9, lambda x, y: 120 + y * 8]
with open("sub.raw", "wb") as f:
    for c, (w, h) in enumerate([(40, 30), (20, 15), (20, 15)]):
        f.write(bytes(planes[c](x, y) for y in range(h) for x in range(w)))
ppm("j2k/subsampled.ppm", 40, 30, 255,
    lambda x, y: (planes[0](x, y), planes[1](x // 2, y // 2), planes[2](x // 2, y // 2)))
PY
opj_compress -n 3 -i deep.ppm -o j2k/deep12.j2k >/dev/null
opj_compress -i sub.raw -o j2k/subsampled.j2k -F 40,30,3,8,u@1x1:2x2:2x2 -n 2 -mct 0 >/dev/null

# One colour in every format the panel reads from fixtures, for the panel's own test.
for format in png gif tif; do
    convert -size 60x40 xc:'#1414e6' -depth 8 "panel/solid.$format"
done
for format in bmp ico; do
    convert -size 16x16 xc:'#1414e6' -depth 8 "panel/solid.$format"
done

python3 - <<'PY'
import struct, zlib

def put(name, data):
    with open(name, "wb") as f:
        f.write(data)

def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

def lzw_literals(pixels):
    # LZW codes of 9 bits (minimum code size 8), one literal per pixel, a clear code every
    # 250 pixels so the code size never grows.
    codes = []
    for i, p in enumerate(pixels):
        if i % 250 == 0:
            codes.append(256)
        codes.append(p)
    codes.append(257)
    bits = acc = 0
    out = bytearray()
    for c in codes:
        acc |= c << bits
        bits += 9
        while bits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            bits -= 8
    if bits:
        out.append(acc & 0xFF)
    blocks = b"".join(bytes([len(out[i:i + 255])]) + out[i:i + 255] for i in range(0, len(out), 255))
    return b"\x08" + blocks + b"\x00"

def gif_without_colour_map(width, height):
    # Screen and image without any colour map.
    pixels = [(x * 7 + y * 3) % 256 for y in range(height) for x in range(width)]
    return (b"GIF89a" + struct.pack("<HHBBB", width, height, 0x70, 0, 0) +
            b"," + struct.pack("<HHHHB", 0, 0, width, height, 0) + lzw_literals(pixels) + b";")

def gif_image(left, top, width, height, pixels, disposal=0, transparent=None, colours=None):
    # colours: a local colour map of 2, 4, 8 ... (red, green, blue) entries.
    control = b""
    if disposal or transparent is not None:
        flags = disposal << 2 | (transparent is not None)
        control = b"\x21\xf9\x04" + struct.pack("<BHB", flags, 0, transparent or 0) + b"\x00"
    local = b"".join(bytes(c) for c in colours) if colours else b""
    flags = 0x80 | (len(colours).bit_length() - 2) if colours else 0
    return (control + b"," + struct.pack("<HHHHB", left, top, width, height, flags) + local +
            lzw_literals(pixels))

# An 8 x 4 animation over a map of black, red, green, blue, background blue: all red; then
# a 4 x 4 image, green in its first column and transparent (black) elsewhere, cleared to
# the background after it; then a green pixel at (6, 0), restored to what it covered after
# it; then a 2 x 1 image at (4, 3), green and transparent; then a black pixel at (7, 3)
# without control block, so opaque. Its last picture: the left half blue, the right half
# red but for a green pixel at (4, 3) and a black one at (7, 3).
screen_map = struct.pack("<HHBBB", 8, 4, 0x81, 3, 0) + bytes([0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255])
put("gif/transparent-frames.gif",
    b"GIF89a" + screen_map +
    gif_image(0, 0, 8, 4, [1] * 32) +
    gif_image(0, 0, 4, 4, [2, 0, 0, 0] * 4, disposal=2, transparent=0) +
    gif_image(6, 0, 1, 1, [2], disposal=3) +
    gif_image(4, 3, 2, 1, [2, 0], transparent=0) +
    gif_image(7, 3, 1, 1, [0]) + b";")

# The same screen all red; then a 3 x 2 image at (2, 1) with a map of its own whose first
# two colours the screen's map lacks, index 3 transparent; then green at (6, 0) and (7, 0),
# cleared to the background (blue) after it; then green at (7, 3) through the screen's map.
put("gif/local-colour-maps.gif",
    b"GIF89a" + screen_map +
    gif_image(0, 0, 8, 4, [1] * 32) +
    gif_image(2, 1, 3, 2, [0, 1, 3, 2, 3, 0], transparent=3,
              colours=[(10, 200, 30), (250, 128, 7), (0, 0, 0), (66, 66, 66)]) +
    gif_image(6, 0, 2, 1, [2, 2], disposal=2) +
    gif_image(7, 3, 1, 1, [2]) + b";")

put("gif/no-colour-map.gif", gif_without_colour_map(20, 12))

# A screen of 8 x 4 whose first image is 37 x 23: the picture grows to the image.
g = bytearray(open("gif/single.gif", "rb").read())
g[6:10] = struct.pack("<HH", 8, 4)
put("gif/screen-smaller.gif", bytes(g))

# An animation whose data ends right after its first image: the first image shows.
a = open("gif/animated.gif", "rb").read()
second = a.index(b"\x21\xf9", a.index(b",") )  # the second frame's control extension
put("gif/cut-after-first.gif", a[:second])

def png_file(width, height, depth, colour_type, rows, extra=b""):
    raw = b"".join(b"\x00" + bytes(r) for r in rows)
    head = struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", head) + extra +
            chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))

def tiff_file(width, height, samples, planes, extra, layout):
    # An uncompressed little-endian TIFF of 8-bit samples. planes: the sample planes, each a
    # list of rows top first; extra: the ExtraSamples value (0 for none); layout: "strips"
    # (contiguous, 4 rows each), "tiles" (contiguous, 16 x 16) or "planar" (a strip per plane).
    pixel = lambda x, y: bytes(p[y][x] for p in planes)
    chunks = []
    if layout == "tiles":
        for ty in range(0, height, 16):
            for tx in range(0, width, 16):
                chunks.append(b"".join(pixel(x, y) if x < width and y < height else bytes(samples)
                                       for y in range(ty, ty + 16) for x in range(tx, tx + 16)))
    elif layout == "planar":
        chunks = [b"".join(bytes(row) for row in p) for p in planes]
    else:
        for top in range(0, height, 4):
            chunks.append(b"".join(pixel(x, y) for y in range(top, min(top + 4, height))
                                   for x in range(width)))
    data = b"".join(chunks)
    offsets, at = [], 8
    for c in chunks:
        offsets.append(at)
        at += len(c)
    tags = [(256, 3, [width]), (257, 3, [height]), (258, 3, [8] * samples), (259, 3, [1]),
            (262, 3, [2]), (277, 3, [samples]), (284, 3, [2 if layout == "planar" else 1])]
    if layout == "tiles":
        tags += [(322, 3, [16]), (323, 3, [16]), (324, 4, offsets),
                 (325, 4, [len(c) for c in chunks])]
    else:
        tags += [(273, 4, offsets), (278, 3, [height if layout == "planar" else 4]),
                 (279, 4, [len(c) for c in chunks])]
    if extra:
        tags.append((338, 3, [extra]))
    tags.sort()
    ifd = 8 + len(data)
    spill = ifd + 2 + 12 * len(tags) + 4
    entries, spilled = b"", b""
    for tag, kind, values in tags:
        raw = struct.pack("<%d%s" % (len(values), "H" if kind == 3 else "I"), *values)
        if len(raw) <= 4:
            entries += struct.pack("<HHI", tag, kind, len(values)) + raw.ljust(4, b"\0")
        else:
            entries += struct.pack("<HHII", tag, kind, len(values), spill + len(spilled))
            spilled += raw
    return (b"II*\0" + struct.pack("<I", ifd) + data + struct.pack("<H", len(tags)) + entries +
            b"\0\0\0\0" + spilled)

# Colours with transparency, 20 x 18 (tiles of 16 with a part-filled edge): alpha runs
# through 0 and 255. Stored straight (unassociated) and premultiplied (associated) in
# strips, tiles and planes; png/straight-alpha.png holds the same straight colours, so a
# test composites them itself.
aw, ah = 20, 18
colour = [[[(x * 12 + y * 5) % 256, (x * 7 + y * 13 + 60) % 256, (x * x + y * 3 + 120) % 256,
            (x * 51 + y * 85) % 256] for x in range(aw)] for y in range(ah)]
straight = [[[colour[y][x][s] for x in range(aw)] for y in range(ah)] for s in range(4)]
premultiplied = [[[(colour[y][x][s] * colour[y][x][3] + 127) // 255 if s < 3 else colour[y][x][3]
                   for x in range(aw)] for y in range(ah)] for s in range(4)]
for layout in ("strips", "tiles", "planar"):
    put("tiff/alpha-straight-%s.tif" % layout, tiff_file(aw, ah, 4, straight, 2, layout))
    put("tiff/alpha-premultiplied-%s.tif" % layout, tiff_file(aw, ah, 4, premultiplied, 1, layout))
put("png/straight-alpha.png", png_file(aw, ah, 8, 6, [sum(colour[y], []) for y in range(ah)]))

# 2-bit grey, value 1 transparent over a bKGD of value 2: each row holds 0, 1, 2, 3 twice
# (packed four to a byte); the transparent pixels show the background's grey, 170.
put("png/grey2-trns-bkgd.png",
    png_file(8, 2, 2, 0, [[0x1B, 0x1B]] * 2,
             chunk(b"tRNS", struct.pack(">H", 1)) + chunk(b"bKGD", struct.pack(">H", 2))))

# Files stored with a gamma other than 1/2.2, which the screen's 2.2 must undo: palettes of
# 1, 4 and 8 bits, with and without transparency and background, and 2-, 4- and 8-bit grey
# whose transparent pixels show the background; the tests composite them in linear light.
def gama(gamma):
    return chunk(b"gAMA", struct.pack(">I", round(gamma * 100000)))

def plte(count):
    return chunk(b"PLTE", b"".join(bytes([(i * 37 + 20) % 256, (i * 91 + 60) % 256,
                                          (i * 53 + 100) % 256]) for i in range(count)))

def packed(indices, depth):
    row = bytearray()
    for i in range(0, len(indices), 8 // depth):
        byte = 0
        for k, v in enumerate(indices[i:i + 8 // depth]):
            byte |= v << (8 - depth * (k + 1))
        row.append(byte)
    return list(row)

def palette_file(depth, count, extra):
    rows = [packed([(x + 3 * y) % count for x in range(16)], depth) for y in range(6)]
    return png_file(16, 6, depth, 3, rows, extra)

alphas = chunk(b"tRNS", bytes((i * 29 + 40) % 256 for i in range(16)))
put("png/palette1-gamma1.png", palette_file(1, 2, gama(1.0) + plte(2)))
put("png/palette8-gamma025.png", palette_file(8, 64, gama(0.25) + plte(64)))
put("png/palette8-bkgd-gamma05.png", palette_file(8, 64, gama(0.5) + plte(64) + chunk(b"bKGD", b"\x05")))
put("png/palette4-trns-gamma1.png", palette_file(4, 16, gama(1.0) + plte(16) + alphas))
put("png/palette8-trns-bkgd-gamma07.png",
    palette_file(8, 40, gama(0.7) + plte(40) + alphas + chunk(b"bKGD", b"\x07")))
grey_rows = lambda depth: [packed([(x + y) % (1 << depth) for x in range(16)], depth) for y in range(4)]
grey_extra = lambda depth: (gama(0.7) + chunk(b"tRNS", struct.pack(">H", 1)) +
                            chunk(b"bKGD", struct.pack(">H", (1 << depth) // 3)))
put("png/grey2-trns-bkgd-gamma07.png", png_file(16, 4, 2, 0, grey_rows(2), grey_extra(2)))
put("png/grey4-trns-bkgd-gamma07.png", png_file(16, 4, 4, 0, grey_rows(4), grey_extra(4)))
put("png/grey2-trns-gamma07.png",
    png_file(16, 4, 2, 0, grey_rows(2), gama(0.7) + chunk(b"tRNS", struct.pack(">H", 2))))
put("png/grey8-gamma07.png",
    png_file(16, 4, 8, 0, [[(x * 16 + y * 5) % 256 for x in range(16)] for y in range(4)], gama(0.7)))

png = open("png/rgb.png", "rb").read()
ihdr = bytearray(png[8:33])
ihdr[17] = 5  # colour type 5 does not exist
put("malformed/colour-type-5.11.png", png[:8] + chunk(b"IHDR", bytes(ihdr[8:21])) + png[33:])
put("malformed/signature.110.png", png[:4] + b"X" + png[5:])
idat = png.index(b"IDAT")
put("malformed/cut.110.png", png[:idat + 30])
# The signature and a header, then an empty file: no image data at all.
put("malformed/no-data.110.png", png[:33])

# The stamp and a screen of garbage, then no valid record.
put("malformed/garbage-records.30.gif", b"GIF8garbage, not a screen")
single = open("gif/single.gif", "rb").read()
put("malformed/cut-in-image.30.gif", single[:len(single) * 2 // 3])
put("malformed/cut-in-colour-map.110.gif", single[:20])
# The screen claims 0 x 0 and the file holds no image.
put("malformed/empty-screen.11.gif", b"GIF89a" + struct.pack("<HHBBB", 0, 0, 0, 0, 0) + b";")

# A JPEG file cut after its first marker, one cut inside its scan, and one with stray
# markers all through its entropy-coded data.
jpg = open("jpeg/rgb.jpg", "rb").read()
sos = jpg.index(b"\xff\xda")
scan = sos + 2 + (jpg[sos + 2] << 8 | jpg[sos + 3])
put("malformed/header.3000.jpg", jpg[:6])
put("malformed/cut-in-scan.3000.jpg", jpg[:(scan + len(jpg)) // 2])
stray = bytearray(jpg)
for i in range(scan + 10, len(jpg) - 2, 7):
    stray[i] = 0xFF
put("malformed/stray-markers.3000.jpg", bytes(stray))

put("malformed/header-only.3001.tif", b"II*\x00")
tif = open("tiff/rgb.tif", "rb").read()
put("malformed/bad-directory.3001.tif", tif[:4] + struct.pack("<I", len(tif) + 100) + tif[8:])
# The compressed pixel data damaged: the directory is intact, the strip cannot be decoded.
damaged = bytearray(tif)
damaged[8:40] = b"\xff" * 32
put("malformed/damaged-strip.30.tif", bytes(damaged))
PY
# The straight colours with their alpha as cyan, magenta, yellow and black inks.
convert png/straight-alpha.png -colorspace cmyk -define tiff:alpha=unassociated -compress none \
    tiff/alpha-straight-cmyk.tif

# The fuzz seeds: every fixture of the format, valid and malformed, under its own name.
# Seeds kept from elsewhere (inputs a fuzz run found, the budget fixtures' hostile files)
# stay, so nothing here empties the folders: a fixture renamed here leaves its old seed to
# be removed by hand.
for format in png gif tiff; do
    mkdir -p "$corpus/$format"
    cp "$format"/* "$corpus/$format/"
done
cp malformed/*.png "$corpus/png/"
cp malformed/*.gif "$corpus/gif/"
cp malformed/*.tif "$corpus/tiff/"
