#pragma once
// The fixed tables of tier 1: the context numbers, the look-up tables from a sample's
// neighbourhood (its state word) to a context, the contexts' starting states, and the small
// rules by which tier 2 splits a code-block's passes into segments.

#include <array>
#include <cstdint>

#include "Images/J2000/MqDecoder.h"

namespace j2000 {

// Contexts: 0 run length, 1-9 zero coding, 10-12 magnitude refinement, 13-17 sign coding,
// 18 uniform.
constexpr int kT1ContextCount = 19;
constexpr int kT1RunLengthContext = 0;
constexpr int kT1UniformContext = 18;

// The state word of one sample: neighbours' significance and signs, and its own state.
enum T1StateBits : uint32_t {
    kNeSig = 0x0001,
    kSeSig = 0x0002,
    kSwSig = 0x0004,
    kNwSig = 0x0008,
    kNSig = 0x0010,
    kESig = 0x0020,
    kSSig = 0x0040,
    kWSig = 0x0080,
    kNSgn = 0x0100,
    kESgn = 0x0200,
    kSSgn = 0x0400,
    kWSgn = 0x0800,
    kSig = 0x1000,
    kRefined = 0x2000,
    kVisited = 0x4000,
    kOtherSigMask = 0x00FF,  // any neighbour significant
};

// Band orientations as the band list numbers them.
enum T1Orientation { kOrientLL = 0, kOrientLH = 1, kOrientHL = 2, kOrientHH = 3 };

struct T1Luts {
    std::array<uint8_t, 4 * 256> zeroCoding;  // (orientation << 8) | (word & 0xFF) -> 1..9
    std::array<uint8_t, 256> sign;            // (word >> 4) & 0xFF -> 13..17
    std::array<uint8_t, 256> signPrediction;  // same index -> 0 or 1
    std::array<uint8_t, 2 * 2048> magnitude;  // (refined ? 0x800 : 0) | (word & 0xFF) -> 10..12
    std::array<MqContextInit, kT1ContextCount> initialContexts;
};

// The tables, built on first use and never written again, so decoders on several threads
// share them.
const T1Luts& jpc_initluts();

// Pass type of pass p (counted so that pass 0 is the cleanup pass of the band's most
// significant bit-plane): 0 significance propagation, 1 magnitude refinement, 2 cleanup.
enum T1PassType { kSigPass = 0, kRefPass = 1, kCleanupPass = 2 };
inline T1PassType jpc_passtype(int p) {
    return static_cast<T1PassType>((p + 2) % 3);
}

// Segment types: arithmetic-coded or raw (the bypass mode).
enum SegmentType : std::uint8_t { kSegMq = 1, kSegRaw = 2 };

// The type of the segment pass p belongs to; first is the code-block's first pass number.
int jpc_segtype(int p, int first, bool bypass);
// The number of passes of the segment that starts at pass p, at most numpasses - p.
int jpc_segpasscnt(int p, int first, int numpasses, bool bypass, bool termall);
// log2 of a band's nominal gain: 0 for the 9/7 transform (qmfbid 0); for the 5/3 (qmfbid 1)
// 0 for LL, 1 for LH and HL, 2 for HH.
int jpc_nominalgain(int qmfbid, int numlvls, int lvlno, int orient);

}  // namespace j2000
