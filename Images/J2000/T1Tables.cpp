#include "Images/J2000/T1Tables.h"

#include <algorithm>

namespace j2000 {

namespace {

int Count(uint32_t word, std::initializer_list<uint32_t> bits) {
    int n = 0;
    for (uint32_t bit : bits) {
        n += (word & bit) != 0;
    }
    return n;
}

// The zero-coding label (0-8) for the horizontal, vertical and diagonal counts.
int ZeroCodingLabel(int orient, uint32_t word) {
    int h = Count(word, {kESig, kWSig});
    int v = Count(word, {kNSig, kSSig});
    const int d = Count(word, {kNeSig, kSeSig, kSwSig, kNwSig});
    if (orient == kOrientHL) {
        std::swap(h, v);
    }
    if (orient == kOrientHH) {
        const int hv = h + v;
        if (d == 0)
            return hv == 0 ? 0 : hv == 1 ? 1 : 2;
        if (d == 1)
            return hv == 0 ? 3 : hv == 1 ? 4 : 5;
        if (d == 2)
            return hv == 0 ? 6 : 7;
        return 8;
    }
    if (h == 0) {
        if (v == 0)
            return d == 0 ? 0 : d == 1 ? 1 : 2;
        return v == 1 ? 3 : 4;
    }
    if (h == 1) {
        if (v == 0)
            return d == 0 ? 5 : 6;
        return 7;
    }
    return 8;
}

// One direction's sign contribution: +1 for a positive significant neighbour, -1 for a
// negative one, summed over the two neighbours and capped to one either way.
int Contribution(uint32_t word, uint32_t sig1, uint32_t sgn1, uint32_t sig2, uint32_t sgn2) {
    const int positive = ((word & sig1) && !(word & sgn1)) + ((word & sig2) && !(word & sgn2));
    const int negative = ((word & sig1) && (word & sgn1)) + ((word & sig2) && (word & sgn2));
    return std::min(positive, 1) - std::min(negative, 1);
}

void SignContext(uint32_t word, uint8_t& context, uint8_t& prediction) {
    int h = Contribution(word, kESig, kESgn, kWSig, kWSgn);
    int v = Contribution(word, kNSig, kNSgn, kSSig, kSSgn);
    prediction = (h < 0 || (h == 0 && v < 0)) ? 1 : 0;
    if (h < 0) {
        h = -h;
        v = -v;
    }
    if (h == 0) {
        context = v == 0 ? 13 : 14;
    } else {
        context = static_cast<uint8_t>(v < 0 ? 15 : v == 0 ? 16 : 17);
    }
}

T1Luts BuildLuts() {
    T1Luts luts{};
    luts.initialContexts.fill({0, 0});
    luts.initialContexts[kT1RunLengthContext] = {0, 3};
    luts.initialContexts[1] = {0, 4};
    luts.initialContexts[kT1UniformContext] = {0, 46};
    for (int orient = 0; orient < 4; ++orient) {
        for (uint32_t pattern = 0; pattern < 256; ++pattern) {
            luts.zeroCoding[(orient << 8) | pattern] =
                static_cast<uint8_t>(ZeroCodingLabel(orient, pattern) + 1);
        }
    }
    for (uint32_t i = 0; i < 256; ++i) {
        SignContext(i << 4, luts.sign[i], luts.signPrediction[i]);
    }
    for (uint32_t refined = 0; refined < 2; ++refined) {
        for (uint32_t i = 0; i < 2048; ++i) {
            const uint8_t context = refined ? 12 : (i & kOtherSigMask) ? 11 : 10;
            luts.magnitude[(refined ? 0x800 : 0) | i] = context;
        }
    }
    return luts;
}

}  // namespace

const T1Luts& jpc_initluts() {
    static const T1Luts luts = BuildLuts();
    return luts;
}

int jpc_segtype(int p, int first, bool bypass) {
    if (!bypass || jpc_passtype(p) == kCleanupPass || p < first + 10) {
        return kSegMq;
    }
    return kSegRaw;
}

int jpc_segpasscnt(int p, int first, int numpasses, bool bypass, bool termall) {
    int count;
    if (termall) {
        count = 1;
    } else if (!bypass) {
        count = 3 * 32 - 2;  // the most passes 32 bit-planes hold
    } else if (p < first + 10) {
        count = 10 - (p - first);
    } else {
        count = jpc_passtype(p) == kSigPass ? 2 : 1;
    }
    return std::min(count, numpasses - p);
}

int jpc_nominalgain(int qmfbid, int /*numlvls*/, int lvlno, int orient) {
    if (qmfbid != 1 || (lvlno == 0 && orient == kOrientLL)) {
        return 0;
    }
    return orient == kOrientHH ? 2 : 1;
}

}  // namespace j2000
