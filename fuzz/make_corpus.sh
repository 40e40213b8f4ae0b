#!/bin/sh
# Remakes the seed inputs of the JPEG readers' fuzz harness in corpus/jpeg: small files
# covering the decoder's main roads (baseline, progressive, greyscale, CMYK, restart
# intervals, scaled sizes) and a few that must be refused (truncated, no image, not JPEG).
# Needs ImageMagick's convert and libjpeg's jpegtran (for restart markers, which convert
# cannot write). Every seed stays well under 4 KB so fuzzing stays fast.
set -eu
out="$(cd "$(dirname "$0")" && pwd)/corpus/jpeg"
mkdir -p "$out"
cd "$out"

# A smooth colour picture that compresses small but exercises every component.
src="gradient:red-blue"
common="-strip -quality 60"

convert -size 16x16 "$src" $common baseline.jpg
convert -size 24x17 "$src" $common -interlace JPEG progressive.jpg
convert -size 16x16 "$src" $common -colorspace Gray grey.jpg
convert -size 16x16 "$src" $common -colorspace CMYK cmyk.jpg
convert -size 40x24 "$src" $common restart-source.jpg
jpegtran -restart 1B -outfile restart.jpg restart-source.jpg  # a marker after every MCU
rm restart-source.jpg
# Odd sizes and 4:2:0 sampling make the reduced outputs round on both axes.
convert -size 33x9 "$src" $common -sampling-factor 2x2 subsampled.jpg
convert -size 70x3 "$src" $common -interlace JPEG -colorspace Gray progressive-grey.jpg

# Cut inside the scan data: the readers must stop cleanly, keeping no half picture.
head -c "$(($(wc -c <baseline.jpg) / 2))" baseline.jpg >truncated.jpg
head -c "$(($(wc -c <progressive.jpg) * 2 / 3))" progressive.jpg >truncated-progressive.jpg
# The start marker and nothing after it.
printf '\377\330' >soi-only.jpg
# A PNG signature and header: sniffed as another format, refused by the JPEG readers.
printf '\211PNG\r\n\032\n\000\000\000\rIHDR\000\000\000\020\000\000\000\020\010\002\000\000\000' \
    >png-header.bin
