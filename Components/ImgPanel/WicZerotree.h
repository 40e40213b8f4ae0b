#pragma once
// The zerotree bit-plane scan of WIC files: one colour plane's wavelet coefficients, sent
// from the most significant bit plane down, as decisions of the QM decoder.
//
// The coefficient matrix is W x H words in the usual dyadic layout. Each word is sign and
// magnitude (bit 31 set = negative). A tree node is a position of the coarsest band, or a
// position of some level's LH band standing for its LH, HH and HL coefficients and the four
// nodes below it at the next finer level. A node whose whole tree stays below the current
// bit is sent as one decision; a coefficient is reconstructed at the middle of what is
// still unknown of it, so the last bit plane leaves exact integers.

#include <cstdint>
#include <functional>

#include "Components/ImgPanel/QmDecoder.h"

namespace wic {

// Decision contexts. Contexts that depend on a node's level add the level (0 to 15).
inline constexpr int kContextCount = 132;
inline constexpr int kSignContext = 0;      // 1 = negative
inline constexpr int kContinueContext = 1;  // 0 ends the colour plane's data
inline constexpr int kRefineContext = 2;
inline constexpr int kTreeContext = 3;              // + level: the node's tree becomes significant
inline constexpr int kTreeAfterParentContext = 19;  // the same, its parent became so this plane
inline constexpr int kLhQuietContext = 35;  // + level; LH with HH and HL still insignificant
inline constexpr int kLhBusyContext = 51;
inline constexpr int kHhQuietContext = 67;  // HH with LH and HL insignificant
inline constexpr int kHhBusyContext = 83;
inline constexpr int kHlQuietContext = 99;  // HL with LH and HH insignificant
inline constexpr int kHlBusyContext = 115;
inline constexpr int kCoarseContext = 131;  // a coefficient of the coarsest band

inline constexpr uint32_t kSignBit = 0x80000000u;
inline constexpr uint32_t kMagnitudeMask = 0x7FFFFFFFu;

inline constexpr int kMaxLevels = 15;
inline constexpr int kMaxBitPlanes = 30;  // keeps twice the top bit inside the magnitude

// The size of one colour plane's matrix: width and height multiples of 2^levels.
struct WicGeometry {
    int width = 0;
    int height = 0;
    int levels = 0;
};

// The per-node memory of the scan: the bit plane in which each node's tree became
// significant (0: not yet). Nodes all lie in the left half of the matrix.
inline int NodeColumns(const WicGeometry& g) {
    return g.width / 2;
}

// Decodes one colour plane of bitPlanes bit planes into matrix (width x height words, all
// zero on entry) and uses nodeMemory (NodeColumns x height bytes, cleared here) as scratch.
// betweenPlanes runs before each bit plane (it may throw to stop the decode).
void ZerotreeDecode(const WicGeometry& geometry, int bitPlanes, QmDecoder& qm, uint32_t* matrix,
                    uint8_t* nodeMemory, const std::function<void()>& betweenPlanes);

}  // namespace wic
