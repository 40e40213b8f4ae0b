#!/usr/bin/env bash
# Differential check of our JPEG 2000 decoder against opj_decompress (a developer script, not run
# by CI). Each case makes a random picture with ImageMagick (1x1 up to 700x500, grey, grey+alpha,
# RGB, RGBA, 1 to 16 bits, signed PGX; noise, gradients, plasma, checkers, flat areas, full-range
# sample checkerboards, steps and impulses), encodes it
# with opj_compress under random options (5/3 or 9/7, levels, code-blocks, precincts, tiles and
# offsets, progressions, layers, mode bits, SOP/EPH, sub-sampling, ROI shift, comments,
# tile-parts, PLT/TLM, guard bits), decodes it with j2k_decode (on 1, 2, 3, 8 or 64 threads) and
# with opj_decompress (sometimes with a layer limit) and compares the PGX files: 5/3 streams must
# be identical, 9/7 streams may differ by 1 per sample (the two syntheses round differently). A
# mismatch, a failure of ours only, or a crash keeps the stream and its command lines under
# <dir>/failures and goes on.
#
# Some cases are cut short: a single-tile stream in layer order, cut inside the header of the
# first packet of a layer L (found with the encoder's PLT segments and EPH markers) and without
# its end, must decode as the whole stream does with its first L layers. (A cut in a packet's
# body keeps the code-blocks whose bytes all came, which no layer limit reproduces.)
#
# Where the two decoders part, the source picture decides when the stream keeps every pass:
# ours must be its samples (5/3, or err only where the reference errs alike: the encoder's own
# losses, e.g. on tiles a few samples wide) or about as close as the reference's (9/7). Known
# faults of opj_decompress, never counted as ours: a region shift in a code-block coded with the
# arithmetic-coding bypass (-M with 1) comes out several units off (the whole stream decoded by
# both is the proof); tiles of more than 255 tile-parts (-TP), whose part numbers and count wrap
# at 256 (ours gives what the reference makes of the stream coded without -TP). Known faults of
# opj_compress, whose streams ours refuses and keeps under <dir>/invalid: signed samples beyond
# the precision it gives a signed PGX, where they ask for more bit-planes than a band has; with
# -TP in layer- and resolution-first orders, packets for a resolution without samples (tiles at
# the picture's edge), which put the tile's later packets out of step (the reference decodes the
# stream coded without -TP differently); with -TP and progression changes, packets out of place.
#
#   tests/Images/J2000/tools/differential.sh [-n CASES] [-s SEED] [-c CASE] [-o DIR] [-d] [-S] [-P]
#
# Run from the repository root after building j2k_decode. -s repeats a run (the seed is printed);
# -c runs only case CASE of that seed; -d makes every case a 9/7 picture of 14 to 16 bits; -S
# makes every source a signed PGX; -P splits every case into tile-parts.
# J2K_DECODE names our tool (default: the release build's);
# J2K_DECODE_CHECK names a second build of it (e.g. asan-ubsan) that also decodes every
# J2K_CHECK_EVERY-th case (default 10) on one thread and must exit cleanly with the same output.
set -u

cases=300
seed=$(( $(date +%s) % 100000 ))
only=
dir=
deep=0
signed=0
tileparts=0
while getopts "n:s:c:o:dSP" opt; do
    case $opt in
    n) cases=$OPTARG ;;
    s) seed=$OPTARG ;;
    c) only=$OPTARG ;;
    o) dir=$OPTARG ;;
    d) deep=1 ;;
    S) signed=1 ;;
    P) tileparts=1 ;;
    *) echo "usage: $0 [-n CASES] [-s SEED] [-c CASE] [-o DIR] [-d] [-S] [-P]" >&2; exit 2 ;;
    esac
done
ours=${J2K_DECODE:-build/release/tests/Images/J2000/j2k_decode}
check=${J2K_DECODE_CHECK:-}
check_every=${J2K_CHECK_EVERY:-10}
for tool in convert opj_compress opj_decompress python3 "$ours"; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
[ -n "$dir" ] || dir=$(mktemp -d /tmp/j2kdiff.XXXXXX)
mkdir -p "$dir/failures"
work=$dir/work
echo "seed $seed, $cases cases, output in $dir"

# compare.py <ours prefix> <reference prefix> <components> <tolerance>: one line with the worst
# difference and the lowest PSNR over the components; status 1 on a header or size mismatch or a
# difference above the tolerance. A tolerance of 1 (9/7) widens to 2 for 13 and 14 bits and 4
# for 15 and 16: opj_decompress synthesises in single-precision floats, whose rounding reaches a
# few units there (on streams with every pass ours is the one that gives the source back).
cat >"$dir/compare.py" <<'PY'
import math, sys
ours, ref, count, tolerance = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
def read(path):
    data = open(path, 'rb').read()
    end = data.index(b'\n')
    head = data[:end].decode()
    prec = int(head.split()[3])
    return head, prec, data[end + 1:]
worst, psnr, bad = 0, math.inf, []
for k in range(count):
    try:
        ho, prec, do = read('%s_%d.pgx' % (ours, k))
        hr, _, dr = read('%s_%d.pgx' % (ref, k))
    except (OSError, ValueError, IndexError) as e:
        bad.append('component %d: %s' % (k, e)); continue
    if ho != hr or len(do) != len(dr):
        bad.append('component %d: "%s" (%d bytes) vs "%s" (%d bytes)' % (k, ho, len(do), hr, len(dr)))
        continue
    if do == dr:
        continue
    size = 2 if prec > 8 else 1
    allowed = tolerance if tolerance == 0 or prec <= 12 else 2 if prec <= 14 else 4
    so = memoryview(do).cast('B') if size == 1 else [do[i] << 8 | do[i + 1] for i in range(0, len(do), 2)]
    sr = memoryview(dr).cast('B') if size == 1 else [dr[i] << 8 | dr[i + 1] for i in range(0, len(dr), 2)]
    wrap = 1 << (8 * size)
    diffs = [min(abs(a - b), wrap - abs(a - b)) for a, b in zip(so, sr)]
    top = max(diffs)
    worst = max(worst, top)
    if top > allowed:
        first = next(i for i, d in enumerate(diffs) if d > allowed)
        width = int(ho.split()[4])
        bad.append('component %d: %d samples differ, max %d, first at x=%d y=%d' % (
            k, sum(d > allowed for d in diffs), top, first % width, first // width))
    mse = sum(d * d for d in diffs) / len(diffs)
    psnr = min(psnr, 10 * math.log10(((1 << prec) - 1) ** 2 / mse))
print('max %d psnr %s' % (worst, 'inf' if psnr == math.inf else '%.1f' % psnr))
for line in bad:
    print(line)
sys.exit(1 if bad else 0)
PY

# closer.py <ours prefix> <reference prefix> <source picture> <irreversible>: status 0 when our
# components are the source's samples or differ from them only where the reference's differ
# alike (5/3: the stream itself lost those), or are about as close to them as the reference's:
# no larger largest error, or a summed square error at most 10% above (9/7; at 15 and 16 bits
# the two decoders' roundings part by a unit or two). It tells who is right when the two
# decoders disagree on a stream that keeps every coding pass.
cat >"$dir/closer.py" <<'PY'
import sys
ours, ref, source, irreversible = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4] == '1'
data = open(source, 'rb').read()
def words(count):  # the first `count` header words and where the samples start
    out, i = [], 0
    while len(out) < count:
        while data[i:i + 1].isspace(): i += 1
        if data[i:i + 1] == b'#':
            while data[i:i + 1] != b'\n': i += 1
            continue
        j = i
        while not data[j:j + 1].isspace(): j += 1
        out.append(data[i:j].decode()); i = j
    return out, i + 1
signed = data.startswith(b'PG')
if signed:  # a signed PGX: "PG ML - <bits> <width> <height>"
    at = data.index(b'\n') + 1
    _, _, _, bits, w, h = data[:at].split()
    width, height, planes, top = int(w), int(h), 1, (1 << int(bits)) - 1
elif data.startswith(b'P7'):
    at = data.index(b'ENDHDR\n') + 7
    fields = dict(l.split(' ', 1) for l in data[3:at - 8].decode().splitlines() if ' ' in l)
    width, height = int(fields['WIDTH']), int(fields['HEIGHT'])
    planes, top = int(fields['DEPTH']), int(fields['MAXVAL'])
else:
    (kind, w, h, m), at = words(4)
    width, height, top, planes = int(w), int(h), int(m), 1 if kind == 'P5' else 3
size = 2 if top > 255 else 1
body = data[at:]
def samples(raw, width, sgnd=False):
    return [int.from_bytes(raw[i:i + width], 'big', signed=sgnd) for i in range(0, len(raw), width)]
# A component's sample values (opj_compress may give a PGX source fewer bits than its header,
# and a signed one fewer than its samples need: both decoders clip to the precision).
def component(prefix, k):
    raw = open('%s_%d.pgx' % (prefix, k), 'rb').read()
    end = raw.index(b'\n')
    _, _, sign, prec, _, _ = raw[:end].split()
    return samples(raw[end + 1:], 2 if int(prec) > 8 else 1, sign == b'-'), int(prec)
step = planes * size
for k in range(planes):
    truth = samples(b''.join(body[i + k * size:i + (k + 1) * size]
                             for i in range(0, width * height * step, step)), size, signed)
    mine, prec = component(ours, k)
    if signed:
        low, high = -(1 << (prec - 1)), (1 << (prec - 1)) - 1
        truth = [min(high, max(low, v)) for v in truth]
    if mine == truth:
        continue
    if len(mine) != len(truth):
        sys.exit(1)
    theirs = component(ref, k)[0]
    if not irreversible:
        if any(m != t and m != r for m, t, r in zip(mine, truth, theirs)):
            sys.exit(1)
        continue
    errors = lambda values: [abs(a - b) for a, b in zip(values, truth)]
    e_mine, e_theirs = errors(mine), errors(theirs)
    if max(e_mine) > max(e_theirs) and sum(e * e for e in e_mine) > 1.1 * sum(e * e for e in e_theirs):
        sys.exit(1)
PY

# pgx.py <pgm> <pgx> <+|->: the PGM's samples as a PGX of the same precision.
cat >"$dir/pgx.py" <<'PY'
import sys
source, target, sign = sys.argv[1:4]
data = open(source, 'rb').read()
fields, at = [], 0
while len(fields) < 4:
    while data[at:at + 1].isspace(): at += 1
    end = at
    while not data[end:end + 1].isspace(): end += 1
    fields.append(data[at:end]); at = end
width, height, top = int(fields[1]), int(fields[2]), int(fields[3])
bits, size = top.bit_length(), 2 if top > 255 else 1
body = data[at + 1:]
out = bytearray(b'PG ML %s %d %d %d\n' % (sign.encode(), bits, width, height))
for i in range(0, width * height * size, size):
    v = int.from_bytes(body[i:i + size], 'big')
    if sign == '-':  # opj_compress takes a signed PGX for one bit less precise
        v = ((v - (1 << (bits - 1))) >> 1) & ((1 << (8 * size)) - 1)
    out += v.to_bytes(size, 'big')
open(target, 'wb').write(out)
PY

# cut.py <stream> <layers> <layer> <seed> <out>: the stream (one tile-part, layer order, PLT
# segments) cut inside the header of the first packet of <layer> (up to its EPH marker, or at
# its first byte without EPH), without the rest; status 1 when it has no such packet.
cat >"$dir/cut.py" <<'PY'
import random, struct, sys
data = open(sys.argv[1], 'rb').read()
layers, layer, seed = int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
at = data.index(b'\xff\x90')  # the first SOT; the main header holds no such bytes
lengths, i = [], at + 12
while data[i:i + 2] != b'\xff\x93':
    marker, size = struct.unpack('>HH', data[i:i + 4])
    if marker == 0xFF58:
        v = 0
        for b in data[i + 5:i + 2 + size]:
            v = v << 7 | (b & 0x7F)
            if not b & 0x80:
                lengths.append(v); v = 0
    i += 2 + size
if not lengths or len(lengths) % layers or data[i + 2:].count(b'\xff\x90'):
    sys.exit(1)
first = layer * len(lengths) // layers
start = i + 2 + sum(lengths[:first])
eph = data.find(b'\xff\x92', start, start + lengths[first])
cut = start + random.Random(seed).randrange(eph + 2 - start if eph >= 0 else 1)
open(sys.argv[5], 'wb').write(data[:cut])
PY

# Every draw happens in this shell (a subshell reseeds RANDOM), so a seed repeats a run.
pick() { R=$(( RANDOM % $1 )); }          # R = 0 .. n-1
chance() { [ $(( RANDOM % 100 )) -lt "$1" ]; }
isprime() {
    local n=$1 d=2
    [ "$n" -ge 2 ] || return 1
    while [ $(( d * d )) -le "$n" ]; do [ $(( n % d )) -ne 0 ] || return 1; d=$(( d + 1 )); done
}
dimension() {  # R = a side up to $1: tiny, small or large, sometimes moved up to a prime
    local n
    pick 4
    case $R in
    0) pick 16; n=$(( 1 + R )) ;;
    1) pick 112; n=$(( 17 + R )) ;;
    *) pick $(( $1 - 128 )); n=$(( 129 + R )) ;;
    esac
    if chance 20; then while ! isprime "$n" && [ "$n" -lt "$1" ]; do n=$(( n + 1 )); done; fi
    R=$n
}
log2() { local n=$1 l=0; while [ "$n" -gt 1 ]; do n=$(( n / 2 )); l=$(( l + 1 )); done; echo $l; }
colours() {  # C = two colour names joined by a dash
    local names=(black white gray50 red green blue yellow navy orange "#123456" "#fedcba" gray10)
    pick ${#names[@]}; C=${names[$R]}
    pick ${#names[@]}; C+=-${names[$R]}
}

# Makes the source picture of a w x h case: sets picture, picture_cmd, components, truth (the
# picture as PGM, PPM or PAM) and comparable (1 when a lossless decode must give its samples
# back).
make_picture() {
    local w=$1 h=$2 iseed=$(( RANDOM * 32768 + RANDOM ))
    local content
    colours
    pick 10
    case $R in
    0) content=(xc:gray50 -seed $iseed +noise Random) ;;
    1) content=(gradient:"$C"); chance 50 && content+=(-rotate 90 -resize "${w}x${h}!") ;;
    2) content=(radial-gradient:"$C") ;;
    3) content=(xc:"${C%-*}") ;;
    4) content=(-seed $iseed plasma:"$C") ;;
    5) content=(pattern:checkerboard) ;;
    # Full-range pictures that drive the wavelet's sums to their extremes: a checkerboard of
    # single samples, a step, impulses.
    6) content=(pattern:gray50) ;;
    7) content=(xc:black -fill white -draw "rectangle $(( w / 2 )),0 $w,$h") ;;
    8) pick 7; content=(xc:black -fill white -draw "point $(( w / 3 )),$(( h / 2 ))" -draw "point $(( w - 1 )),$(( R % h ))") ;;
    *) pick 9; content=(gradient:"$C" -seed $iseed -attenuate 0.$(( 1 + R )) +noise Gaussian) ;;
    esac
    local kind depth ext format=""
    pick 10
    [ "$deep" = 0 ] || R=$(( 5 + R % 3 ))
    [ "$signed" = 0 ] || R=7
    case $R in
    0 | 1 | 2) kind=grey; depth=8; ext=pgm ;;
    3 | 4) kind=rgb; depth=8; ext=ppm ;;
    5) kind=grey; pick 16; depth=$(( 1 + R )); ext=pgm ;;
    6) kind=rgb; pick 8; depth=$(( 9 + R )); ext=ppm ;;
    7) kind=pgx; pick 15; depth=$(( 2 + R )); ext=pgx ;;
    8) kind=greyalpha; depth=8; ext=pam; format=PAM: ;;
    *) kind=rgba; depth=8; chance 50 && depth=16; ext=pam; format=PAM: ;;
    esac
    [ "$deep" = 0 ] || { pick 3; depth=$(( 14 + R )); }
    picture=$work/source.$ext
    local made=$picture
    [ "$kind" != pgx ] || made=$work/source.pgm
    local tail=()
    case $kind in
    grey | pgx) tail=(-colorspace Gray); components=1 ;;
    rgb) tail=(-type TrueColor); components=3 ;;
    greyalpha) pick 90; tail=(-colorspace Gray -alpha set -channel A -evaluate set $(( 10 + R ))% +channel); components=2 ;;
    rgba) tail=(-type TrueColor -alpha set -channel A -fx "(r+b)/2" +channel); components=4 ;;
    esac
    picture_cmd="convert -size ${w}x${h} ${content[*]} ${tail[*]} -depth $depth $format$made"
    convert -size "${w}x${h}" "${content[@]}" "${tail[@]}" -depth "$depth" "$format$made" 2>/dev/null || return 1
    # ImageMagick's PGX writer keeps the samples' 16-bit values below 16 bits, so the PGX is made
    # from the PGM here. opj_compress rescales PGX precisions below 8 bits (those are no measure
    # of a lossless decode) and gives a signed PGX the bit length of its largest sample as its
    # precision, so that its samples go beyond it: both decoders clip them, and where they go
    # beyond what the guard bits hold the stream asks for more bit-planes than its bands have
    # (judged below). The source of a signed PGX is the PGX itself.
    comparable=1 truth=$made sgnd=0
    if [ "$kind" = pgx ]; then
        [ "$depth" -ge 8 ] || comparable=0
        local sign=+
        if [ "$signed" = 1 ] || chance 30; then sign=- sgnd=1 truth=$picture; fi
        python3 "$dir/pgx.py" "$made" "$picture" "$sign" || return 1
        picture_cmd+="; pgx.py $made $picture $sign"
    fi
}

# Fills encode (opj_compress options), layers, irreversible and complete (every pass of a
# full-size picture kept) for a w x h picture.
choose_options() {
    local w=$1 h=$2
    encode=()
    irreversible=0 complete=1
    if chance 40 || [ "$deep" = 1 ]; then encode+=(-I); irreversible=1; fi
    local x0=0 y0=0 dx=1 dy=1
    if chance 10; then
        pick 3; dx=$(( 1 + R )); pick 3; dy=$(( 1 + R )); encode+=(-s "$dx,$dy")
        [ $(( dx * dy )) = 1 ] || complete=0
    fi
    if chance 20; then pick 41; x0=$R; pick 41; y0=$R; encode+=(-d "$x0,$y0"); fi
    # The smallest tile side, in samples of the image's grid, bounds the number of levels.
    local tw=$w th=$h
    if chance 30; then
        pick "$w"; tw=$(( w / 20 + 1 + R )); pick "$h"; th=$(( h / 20 + 1 + R ))
        encode+=(-t "$tw,$th")
        if [ $(( x0 + y0 )) -gt 0 ] && chance 60; then
            pick $(( tw < x0 + 1 ? tw : x0 + 1 )); local tx0=$(( x0 - R ))
            pick $(( th < y0 + 1 ? th : y0 + 1 )); local ty0=$(( y0 - R ))
            [ $(( tx0 + tw )) -gt "$x0" ] || tx0=$x0
            [ $(( ty0 + th )) -gt "$y0" ] || ty0=$y0
            encode+=(-T "$tx0,$ty0")
        fi
    fi
    local side=$(( tw < th ? tw : th ))
    local most=$(( $(log2 $(( side / (dx > dy ? dx : dy) + 1 ))) + 1 ))
    [ "$most" -le 8 ] || most=8
    pick "$most"; resolutions=$(( 1 + R ))
    encode+=(-n "$resolutions")
    if chance 30; then
        pick 5; local bw=$(( 2 + R )); pick 5; local bh=$(( 2 + R ))
        while [ $(( bw + bh )) -gt 12 ]; do bh=$(( bh - 1 )); done
        encode+=(-b "$(( 1 << bw )),$(( 1 << bh ))")
    fi
    if chance 25; then
        local records="" i pw
        pick 3
        for (( i = R; i >= 0; i-- )); do
            pick 8; pw=$(( 1 << (2 + R) )); pick 8
            records+="${records:+,}[$pw,$(( 1 << (2 + R) ))]"
        done
        encode+=(-c "$records")
    fi
    local orders=(LRCP RLCP RPCL PCRL CPRL)
    pick 5; chance 60 && encode+=(-p "${orders[$R]}")
    layers=1
    if chance 40; then
        pick 5; layers=$(( 1 + R ))
        pick 200; local ratios="" r=$(( 20 + R )) i
        for (( i = 0; i < layers; i++ )); do
            ratios+="${ratios:+,}$r"; pick 70; r=$(( r * (20 + R) / 100 )); [ "$r" -ge 1 ] || r=1
        done
        if chance 40; then
            case $ratios in *,*) ratios=${ratios%,*},1 ;; *) ratios=1 ;; esac
        fi
        encode+=(-r "$ratios")
        [ "${ratios##*,}" = 1 ] || complete=0
    elif chance 15; then
        pick 4; layers=$(( 1 + R ))
        pick 15; local psnrs="" q=$(( 20 + R )) i
        for (( i = 0; i < layers; i++ )); do psnrs+="${psnrs:+,}$q"; pick 10; q=$(( q + 2 + R )); done
        encode+=(-q "$psnrs")
        complete=0
    fi
    # Progression changes in the first tile: resolutions below a split in one order, the rest in
    # another.
    if [ "$resolutions" -ge 2 ] && chance 10; then
        pick $(( resolutions - 1 )); local split=$(( 1 + R ))
        pick 5; local first=${orders[$R]}
        pick 5
        encode+=(-POC "T1=0,0,$layers,$split,$components,$first/T1=$split,0,$layers,$resolutions,$components,${orders[$R]}")
    fi
    pick 63; chance 35 && encode+=(-M $(( 1 + R )))
    chance 20 && encode+=(-SOP)
    chance 20 && encode+=(-EPH)
    # opj_decompress refuses most shifts above 20.
    if chance 10; then pick "$components"; local c=$R; pick 21; encode+=(-ROI "c=$c,U=$R"); fi
    chance 10 && encode+=(-C "case $case of seed $seed")
    if chance 15 || [ "$tileparts" = 1 ]; then local parts=(R L C); pick 3; encode+=(-TP "${parts[$R]}"); fi
    chance 10 && encode+=(-PLT)
    chance 10 && encode+=(-TLM)
    chance 10 && [ "$components" -ge 3 ] && encode+=(-mct 0)
    pick 3; chance 10 && encode+=(-GuardBits $(( 1 + R )))
    # Cut inside a layer: one tile-part in layer order, with PLT segments to find the packets.
    local opts=" ${encode[*]} "
    cut=0
    if [ "$layers" -gt 1 ] && [[ "$opts" != *" -t "* && "$opts" != *" -TP "* && "$opts" != *" -POC "* ]] &&
        [[ "$opts" != *" -p "* || "$opts" == *" -p LRCP "* ]] && chance 30; then
        cut=1 complete=0
        [[ "$opts" == *" -PLT "* ]] || encode+=(-PLT)
        [[ "$opts" == *" -EPH "* ]] || ! chance 70 || encode+=(-EPH)
    fi
    # opj_decompress misdecodes a region shift in code-blocks coded with the bypass.
    bypass_roi=0
    [[ "$opts" =~ " -M "([0-9]+)" " ]] && [ $(( BASH_REMATCH[1] & 1 )) = 1 ] &&
        [[ "$opts" =~ " -ROI c="[0-9]+",U="([1-9][0-9]*)" " ]] && bypass_roi=1
    return 0
}

keep_failure() {  # <reason>: copies the case's files and command lines aside
    local to=$dir/failures/seed$seed-case$case
    mkdir -p "$to"
    cp "$work/x.j2k" "$work/whole.j2k" "$to/" 2>/dev/null
    cp "$picture" "$to/" 2>/dev/null
    {
        echo "# $1"
        echo "$picture_cmd"
        echo "opj_compress -i $picture -o x.j2k ${encode[*]}"
        [ "$cut" = 0 ] || echo "cut.py x.j2k $layers $cut_layer $case cut.j2k (x.j2k kept as whole.j2k)"
        echo "$ours -t $threads $ours_limit x.j2k ours"
        echo "opj_decompress -i whole.j2k -o ref.pgx $limit"
        echo "# re-run: $0 -s $seed -c $case"
        cat "$work/report" 2>/dev/null
    } >"$to/commands.txt"
    failures=$(( failures + 1 ))
    echo "case $case: FAIL ($1) -> $to"
}

# keep_reference_off <why>: a stream on which opj_decompress is the one off.
keep_reference_off() {
    reference_off=$(( reference_off + 1 ))
    mkdir -p "$dir/reference-off"
    cp "$work/x.j2k" "$dir/reference-off/seed$seed-case$case.j2k"
    echo "$line: reference differs, $1"
}

# keep_invalid <why>: a stream opj_compress wrote wrong, which ours refuses or decodes saying so.
keep_invalid() {
    invalid=$(( invalid + 1 ))
    mkdir -p "$dir/invalid"
    cp "$work/x.j2k" "$dir/invalid/seed$seed-case$case.j2k"
    cp "$picture" "$dir/invalid/seed$seed-case$case.${picture##*.}"
    echo "$line: written wrong, $1 ($([ "$status" = 0 ] && echo decoded || echo refused))"
}

# The reference's decode of the picture coded without -TP, as plain_*.pgx; status 1 when the case
# has no -TP or it cannot be made.
plain_reference() {
    local plain=() o skip_next=0
    [[ " ${encode[*]} " == *" -TP "* ]] || return 1
    [ -f "$work/plain_0.pgx" ] && return 0
    for o in "${encode[@]}"; do
        [ "$o" = -TP ] && { skip_next=1; continue; }
        [ "$skip_next" = 1 ] && { skip_next=0; continue; }
        plain+=("$o")
    done
    opj_compress -i "$picture" -o "$work/plain.j2k" "${plain[@]}" >/dev/null 2>&1 &&
        opj_decompress -i "$work/plain.j2k" -o "$work/plain.pgx" $limit >/dev/null 2>&1
}

# Whether opj_compress's tile-parts (-TP) changed the picture: the reference decodes the stream
# coded without them otherwise.
parts_changed_picture() {
    plain_reference && ! python3 "$dir/compare.py" "$work/plain" "$work/ref" "$components" 0 >/dev/null
}

# Whether ours gives what the reference makes of the stream coded without -TP.
ours_as_without_parts() {
    plain_reference && python3 "$dir/compare.py" "$work/ours" "$work/plain" "$components" "$tolerance" >/dev/null
}

# beyond_precision [guard]: whether a signed source has samples beyond the precision the stream
# gives component 0 (with "guard": beyond what its main header's guard bits add to it).
beyond_precision() {
    [ "$sgnd" = 1 ] && python3 - "$work/x.j2k" "$picture" "${1:-}" <<'PY'
import sys
stream, source = open(sys.argv[1], 'rb').read(), open(sys.argv[2], 'rb').read()
prec = (stream[stream.index(b'\xff\x51') + 40] & 0x7F) + 1
if sys.argv[3] == 'guard':
    prec += stream[stream.index(b'\xff\x5c') + 4] >> 5
at = source.index(b'\n') + 1
size = 2 if int(source[:at].split()[3]) > 8 else 1
values = [int.from_bytes(source[i:i + size], 'big', signed=True) for i in range(at, len(source), size)]
sys.exit(0 if min(values) < -(1 << (prec - 1)) or max(values) >= 1 << (prec - 1) else 1)
PY
}

failures=0 passed=0 skipped=0 checked=0 reference_off=0 invalid=0 cuts=0 unjudged=0
worst_irreversible=0 lowest_psnr=inf
first=1 last=$cases
[ -z "$only" ] || { first=$only; last=$only; }
for (( case = first; case <= last; case++ )); do
    RANDOM=$(( seed * 7919 + case ))
    rm -rf "$work"; mkdir -p "$work"
    dimension 700; w=$R; dimension 500; h=$R
    make_picture "$w" "$h" || { skipped=$(( skipped + 1 )); echo "case $case: convert failed: $picture_cmd"; continue; }
    encoded=0
    for attempt in 1 2 3 4; do
        choose_options "$w" "$h"
        if opj_compress -i "$picture" -o "$work/x.j2k" "${encode[@]}" >"$work/encode.log" 2>&1; then
            encoded=1; break
        fi
    done
    if [ $encoded = 0 ]; then
        skipped=$(( skipped + 1 )); echo "case $case: opj_compress refused ${encode[*]}"; continue
    fi
    # Every pass of the stream is kept (whatever the decoders are told to leave out).
    allpasses=$complete
    limit=""
    if [ "$cut" = 1 ]; then
        # Ours decodes the stream cut inside layer cut_layer; the reference the whole one up to it.
        pick $(( layers - 1 )); cut_layer=$(( 1 + R ))
        cp "$work/x.j2k" "$work/whole.j2k"
        python3 "$dir/cut.py" "$work/whole.j2k" "$layers" "$cut_layer" "$case" "$work/x.j2k" || cut=0
        [ "$cut" = 0 ] || limit="-l $cut_layer"
    elif [ "$layers" -gt 1 ] && chance 50; then
        pick "$layers"; limit="-l $(( 1 + R ))"; [ $(( 1 + R )) -eq "$layers" ] || complete=0
    fi
    ours_limit=$limit
    [ "$cut" = 0 ] || ours_limit=""
    [ "$cut" = 1 ] || cp "$work/x.j2k" "$work/whole.j2k"
    tolerance=$irreversible
    line="case $case: ${w}x$h c$components $(basename "$picture") ${encode[*]} $limit"
    [ "$cut" = 0 ] || line+=" (ours cut inside layer $cut_layer)"
    if ! opj_decompress -i "$work/whole.j2k" -o "$work/ref.pgx" $limit >"$work/ref.log" 2>&1; then
        skipped=$(( skipped + 1 )); echo "$line: opj_decompress refused"; continue
    fi
    threads=(1 2 3 8 64); pick 5; threads=${threads[$R]}
    timeout 120 "$ours" -t "$threads" $ours_limit "$work/x.j2k" "$work/ours" >"$work/ours.log" 2>&1
    status=$?
    # Packets for a resolution without samples put the tile's later ones out of step: ours says
    # so, and refuses the tile or decodes it as the reference does, wrong.
    if grep -q "has no samples and so no packets" "$work/ours.log" && parts_changed_picture; then
        keep_invalid "packets for a resolution without samples in its tile-parts"; continue
    fi
    # Signed samples beyond the precision the stream declares, more than the guard bits hold:
    # our message gives the bit-planes a code-block needs and those its band has.
    if [ $status -eq 1 ] && grep -q "more coding passes than\|more missing bit-planes than" "$work/ours.log" &&
        beyond_precision; then
        keep_invalid "signed samples beyond the stream's precision"; continue
    fi
    if [ $status -eq 1 ] && parts_changed_picture; then
        keep_invalid "its tile-parts change the picture the reference decodes"; continue
    fi
    cuts=$(( cuts + cut ))
    if [ $status -ne 0 ]; then
        cp "$work/ours.log" "$work/report"
        keep_failure "j2k_decode status $status"; continue
    fi
    if ! python3 "$dir/compare.py" "$work/ours" "$work/ref" "$components" "$tolerance" >"$work/report"; then
        # The reference misreads some tile-parts (more than 255 in a tile): ours must give what
        # it makes of the stream coded without them.
        if parts_changed_picture && ours_as_without_parts; then
            keep_reference_off "its tile-parts; ours is its decode without them"; continue
        fi
        # Signed samples beyond what the guard bits hold, in a stream whose passes still fit its
        # bit-planes (layers left out): each decoder makes its own of the overflow.
        if beyond_precision guard; then
            keep_invalid "signed samples beyond the stream's precision and guard bits"; continue
        fi
        # Tile-parts that lose packets (opj_compress does in tiles of more than 255 of them)
        # leave no picture to judge by.
        if parts_changed_picture; then
            keep_invalid "its tile-parts change the picture the reference decodes"; continue
        fi
        # On a stream with every pass the source picture says which decoder is off.
        if [ "$complete$comparable" = 11 ] &&
            python3 "$dir/closer.py" "$work/ours" "$work/ref" "$truth" "$irreversible"; then
            keep_reference_off "ours is as close to the source or closer"; continue
        fi
        # With a layer limit, the whole stream decoded by both shows the reference's fault.
        if [ "$bypass_roi$allpasses$comparable" = 111 ] && [ -n "$limit" ] && [ "$cut" = 0 ] &&
            "$ours" "$work/x.j2k" "$work/ours_all" >/dev/null 2>&1 &&
            opj_decompress -i "$work/x.j2k" -o "$work/ref_all.pgx" >/dev/null 2>&1 &&
            ! python3 "$dir/compare.py" "$work/ours_all" "$work/ref_all" "$components" "$tolerance" >/dev/null &&
            python3 "$dir/closer.py" "$work/ours_all" "$work/ref_all" "$truth" "$irreversible"; then
            keep_reference_off "region shift with the bypass; ours exact on the whole stream"
            continue
        fi
        # Without every pass no source can judge; the streams that have them show the fault.
        if [ "$bypass_roi" = 1 ] && [ "$allpasses$comparable" != 11 ]; then
            unjudged=$(( unjudged + 1 ))
            echo "$line: reference differs, not judged (region shift with the bypass)"
            continue
        fi
        keep_failure "samples differ"; continue
    fi
    if [ -n "$check" ] && [ $(( case % check_every )) -eq 0 ]; then
        checked=$(( checked + 1 ))
        # Its messages and comparison stay apart from the report, which the figures below read.
        if ! timeout 600 "$check" -t 1 $ours_limit "$work/x.j2k" "$work/check" >"$work/check.log" 2>&1 ||
            ! python3 "$dir/compare.py" "$work/check" "$work/ours" "$components" 0 >>"$work/check.log"; then
            cp "$work/check.log" "$work/report"
            keep_failure "$check reports or differs"; continue
        fi
    fi
    passed=$(( passed + 1 ))
    read -r _ diff _ psnr <"$work/report"
    if [ "$irreversible" = 1 ]; then
        [ "$diff" -le "$worst_irreversible" ] || worst_irreversible=$diff
        if [ "$psnr" != inf ] && { [ "$lowest_psnr" = inf ] || python3 -c "import sys; sys.exit(0 if $psnr < $lowest_psnr else 1)"; }; then
            lowest_psnr=$psnr
        fi
    fi
    echo "$line: ok $(head -1 "$work/report")"
done
rm -rf "$work"
echo "seed $seed: $passed passed, $failures failed, $skipped skipped (encoder or reference refused)${check:+, $checked also under $check}"
echo "$cuts streams cut inside a layer"
echo "$reference_off streams where ours is the closer to the source picture (kept in reference-off)"
echo "$unjudged lossy streams with a region shift and the bypass, where the reference is known off"
echo "$invalid streams opj_compress wrote wrong, refused or decoded with a warning (kept in invalid)"
echo "9/7 streams: largest difference $worst_irreversible, lowest PSNR $lowest_psnr dB"
[ "$failures" -eq 0 ]
