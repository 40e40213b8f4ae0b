#!/bin/sh
# Remakes the PNG, GIF and TIFF fixtures of the image decoders' tests in this folder, and
# the fuzz seeds (fuzz/corpus/png, gif, tiff) from them. Pictures are written by
# ImageMagick's convert (libpng, giflib's format, libtiff); the few files no writer makes
# (broken headers, a GIF without colour map, cut files) are made by hand below.
# Every file stays tiny; the tests compare each against a reference decode at run time.
set -eu
here="$(cd "$(dirname "$0")" && pwd)"
corpus="$here/../../../fuzz/corpus"
mkdir -p "$here/png" "$here/gif" "$here/tiff" "$here/malformed" "$here/panel"
cd "$here"
src=source.png
trap 'rm -f "$src"' EXIT
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

# One colour, for the panel's own test.
for format in png gif tif; do
    convert -size 60x40 xc:'#1414e6' -depth 8 "panel/solid.$format"
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

def gif_image(left, top, width, height, pixels, disposal=0, transparent=None):
    control = b""
    if disposal or transparent is not None:
        flags = disposal << 2 | (transparent is not None)
        control = b"\x21\xf9\x04" + struct.pack("<BHB", flags, 0, transparent or 0) + b"\x00"
    return (control + b"," + struct.pack("<HHHHB", left, top, width, height, 0) +
            lzw_literals(pixels))

# An 8 x 4 animation over a map of black, red, green, blue, background blue: all red; then
# a 4 x 4 image, green in its first column and transparent (black) elsewhere, cleared to
# the background after it; then a green pixel at (6, 0), restored to what it covered after
# it; then a 2 x 1 image at (4, 3), green and transparent. Its last picture: the left half
# blue, the right half red but for a green pixel at (4, 3).
put("gif/transparent-frames.gif",
    b"GIF89a" + struct.pack("<HHBBB", 8, 4, 0x81, 3, 0) + bytes([0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255]) +
    gif_image(0, 0, 8, 4, [1] * 32) +
    gif_image(0, 0, 4, 4, [2, 0, 0, 0] * 4, disposal=2, transparent=0) +
    gif_image(6, 0, 1, 1, [2], disposal=3) +
    gif_image(4, 3, 2, 1, [2, 0], transparent=0) + b";")

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

# 2-bit grey, value 1 transparent over a bKGD of value 2: each row holds 0, 1, 2, 3 twice
# (packed four to a byte); the transparent pixels show the background's grey, 170.
put("png/grey2-trns-bkgd.png",
    png_file(8, 2, 2, 0, [[0x1B, 0x1B]] * 2,
             chunk(b"tRNS", struct.pack(">H", 1)) + chunk(b"bKGD", struct.pack(">H", 2))))

png = open("png/rgb.png", "rb").read()
ihdr = bytearray(png[8:33])
ihdr[17] = 5  # colour type 5 does not exist
put("malformed/colour-type-5.png", png[:8] + chunk(b"IHDR", bytes(ihdr[8:21])) + png[33:])
put("malformed/signature.png", png[:4] + b"X" + png[5:])
idat = png.index(b"IDAT")
put("malformed/cut.png", png[:idat + 30])
# The signature and a header, then an empty file: no image data at all.
put("malformed/no-data.png", png[:33])

# The stamp and a screen of garbage, then no valid record.
put("malformed/garbage-records.gif", b"GIF8garbage, not a screen")
single = open("gif/single.gif", "rb").read()
put("malformed/cut-in-image.gif", single[:len(single) * 2 // 3])
put("malformed/cut-in-colour-map.gif", single[:20])
# The screen claims 0 x 0 and the file holds no image.
put("malformed/empty-screen.gif", b"GIF89a" + struct.pack("<HHBBB", 0, 0, 0, 0, 0) + b";")

put("malformed/header-only.tif", b"II*\x00")
tif = open("tiff/rgb.tif", "rb").read()
put("malformed/bad-directory.tif", tif[:4] + struct.pack("<I", len(tif) + 100) + tif[8:])
# The compressed pixel data damaged: the directory is intact, the strip cannot be decoded.
damaged = bytearray(tif)
damaged[8:40] = b"\xff" * 32
put("malformed/damaged-strip.tif", bytes(damaged))
PY

# The fuzz seeds: every fixture of the format, valid and malformed.
for format in png gif tiff; do
    mkdir -p "$corpus/$format"
    rm -f "$corpus/$format"/*
    cp "$format"/* "$corpus/$format/"
done
cp malformed/*.png "$corpus/png/"
cp malformed/*.gif "$corpus/gif/"
cp malformed/*.tif "$corpus/tiff/"
