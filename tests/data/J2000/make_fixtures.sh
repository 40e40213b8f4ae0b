#!/bin/sh
# Makes the JPEG 2000 test codestreams of this folder from synthetic pictures with opj_compress
# (Debian's libopenjp2-tools). The pictures are smooth ramps with a little noise, so that every
# resolution level carries data. Run from this folder.
set -eu
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# picture <file> <width> <height> <components> [bits]: PGM/PPM, or raw planes for .raw files.
picture() {
    python3 - "$@" <<'PY'
import random, sys
path, w, h, n = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
bits = int(sys.argv[5]) if len(sys.argv) > 5 else 8
rnd = random.Random(w * 7919 + h * 31 + n)
top = (1 << bits) - 1
def sample(x, y, c):
    v = (x * 3 + y * 5 + c * 40) * top // max(1, 3 * w + 5 * h + 80) + rnd.randint(0, top // 16)
    return min(top, v)
if path.endswith('.raw'):
    # planar, one plane per component at its own size (sizes come from the caller's list)
    sizes = [tuple(map(int, s.split('x'))) for s in sys.argv[6].split(':')]
    out = bytearray()
    for c, (cw, ch) in enumerate(sizes):
        for y in range(ch):
            for x in range(cw):
                v = sample(x, y, c)
                out += v.to_bytes(2 if bits > 8 else 1, 'big' if bits > 8 else 'little')
    open(path, 'wb').write(out)
else:
    head = ('P5' if n == 1 else 'P6') + '\n%d %d\n%d\n' % (w, h, top)
    body = bytearray()
    for y in range(h):
        for x in range(w):
            for c in range(n):
                body += sample(x, y, c).to_bytes(2 if bits > 8 else 1, 'big')
    open(path, 'wb').write(head.encode() + body)
PY
}

# signed_picture <file> <width> <height> <bits> <lowest> <highest>: a signed PGX, a ramp from the
# lowest sample to the highest with a little noise.
signed_picture() {
    python3 - "$@" <<'PY'
import random, sys
path, w, h, bits, lo, hi = sys.argv[1], *map(int, sys.argv[2:7])
rnd = random.Random(w * 7919 + h * 31)
out = bytearray(b'PG ML - %d %d %d\n' % (bits, w, h))
for y in range(h):
    for x in range(w):
        v = lo + (x * 3 + y * 5) * (hi - lo) // (3 * w + 5 * h) + rnd.randint(0, (hi - lo) // 16)
        out += (max(lo, min(hi, v)) & 0xFFFF).to_bytes(2, 'big')
open(path, 'wb').write(out)
PY
}

enc() { out=$1; shift; opj_compress -PLT "$@" -o "$out" >/dev/null; }

picture "$tmp/g1.pgm" 1 1 1
enc g1x1.j2k -i "$tmp/g1.pgm" -n 1

picture "$tmp/g17.pgm" 17 13 1
enc g17x13_lrcp_layers.j2k -i "$tmp/g17.pgm" -n 3 -r 20,8,1 -p LRCP

picture "$tmp/c64.ppm" 64 48 3
enc c64x48_rlcp_sop_eph.j2k -i "$tmp/c64.ppm" -n 4 -r 30,10,1 -p RLCP -c [16,16],[8,8] -SOP -EPH
enc c64x48_cprl_modes.j2k -i "$tmp/c64.ppm" -n 3 -r 12,2 -p CPRL -b 8,8 -M 63 -I
enc c64x48_roi_lossless.j2k -i "$tmp/c64.ppm" -n 3 -r 10,1 -ROI c=0,U=7
enc c64x48_poc.j2k -i "$tmp/c64.ppm" -n 3 -r 20,5,1 -p LRCP \
    -POC T1=0,0,3,1,3,CPRL/T1=1,0,3,3,2,RPCL/T1=1,2,3,3,3,LRCP

picture "$tmp/g100.pgm" 100 70 1
enc g100x70_rpcl_tiles_offsets.j2k -i "$tmp/g100.pgm" -n 3 -r 10,1 -p RPCL -t 32,24 -TP R \
    -d 5,3 -T 2,1 -c [32,32],[16,16],[8,8]

# Three components, the second and third sub-sampled.
picture "$tmp/sub.raw" 40 30 3 8 40x30:20x15:20x30
enc s40x30_pcrl_subsampled.j2k -i "$tmp/sub.raw" -F 40,30,3,8,u@1x1:2x2:2x1 -n 3 -r 8,1 \
    -p PCRL -c [16,16],[8,8]

picture "$tmp/g12.raw" 33 21 1 12 33x21
enc g33x21_12bit_precincts.j2k -i "$tmp/g12.raw" -F 33,21,1,12,u@1x1 -n 2 -r 5,1 -p RPCL \
    -c [4,4],[2,2] -b 4,4

picture "$tmp/big.pgm" 2048 2048 1
enc g2048_pcrl_tiles.j2k -i "$tmp/big.pgm" -n 6 -r 400 -p PCRL -t 1024,1024 -SOP

# Streams the differential check (tests/Images/J2000/tools/differential.sh) found decoded
# differently from opj_decompress, kept for J2kDecodeToolTest.
# Irreversible, two layers: coefficients left in the middle of a truncated bit-plane.
picture "$tmp/c33.ppm" 33 21 3
enc c33x21_irreversible_layers.j2k -i "$tmp/c33.ppm" -I -n 2 -r 50,4
# Irreversible at 16 bits: the lifting and colour constants need more than 14 fraction bits.
picture "$tmp/c24.ppm" 24 16 3 16
enc c24x16_16bit_irreversible.j2k -i "$tmp/c24.ppm" -I -n 3

# Streams opj_compress writes wrong, which the decoder refuses saying why (DecoderTest).
# A signed PGX is given the bit length of its largest sample as its precision, so its samples
# go beyond it: here 9 bits (-256 to 255) for samples down to -1462, which need 11 bit-planes in
# the LL band where 2 guard bits leave 10.
signed_picture "$tmp/s3.pgx" 3 43 12 -1500 300
enc s3x43_signed_beyond_precision.j2k -i "$tmp/s3.pgx" -n 2 -c [8,8],[4,4] -p LRCP
# Tile-parts by resolution in a resolution-first order: the lower tiles (row 14 alone) have no
# samples at the two lowest resolutions, yet a byte stands for each of their packets in the
# tile-parts of those resolutions, which puts every later packet of these tiles out of step.
picture "$tmp/g36.pgm" 36 15 1
enc g36x15_tileparts_empty_level.j2k -i "$tmp/g36.pgm" -n 4 -t 25,14 -p RLCP -TP R
# The same where the first packet read out of step asks for more bit-planes than its band has.
picture "$tmp/g24.pgm" 24 8 1
enc g24x8_tileparts_empty_level.j2k -i "$tmp/g24.pgm" -n 3 -t 15,6 -p RLCP -TP R
