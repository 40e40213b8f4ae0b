#pragma once
// The zerotree bit-plane scan of WIC files: one colour plane's wavelet coefficients, sent
// from the most significant bit plane down, as decisions of the QM decoder.
//
// The coefficients form the usual dyadic matrix. A tree node is a position of the coarsest
// band, or a position of some level's LH band standing for its LH, HH and HL coefficients
// and the four nodes below it at the next finer level. A node whose whole tree stays below
// the current bit is sent as one decision; a coefficient is reconstructed at the middle of
// what is still unknown of it, so the last bit plane leaves exact integers. While decoding,
// each coefficient is a sign and magnitude word (bit 31 set = negative).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "Components/ImgPanel/QmDecoder.h"
#include "platform/LargeBlock.h"

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

// The scan's working memory for one matrix size, kept in the order the scan visits it:
// the nodes of each level grouped by their coarsest ancestor and, within a group, in
// Z order, so that a node's three words and its significance sit together and the four
// children of a node are neighbours. Reading the dyadic matrix in tree order instead
// would touch several distant cache lines per node, once per bit plane.
//
// The lower bit planes walk the whole store once each, so its size is what the scan
// waits for: when no colour plane has more than 15 bit planes the words are 16 bits wide
// (sign in bit 15), half the memory of 32-bit words.
class ZerotreeStore {
  public:
    // maxBitPlanes: the most bit planes any colour plane decoded into it will have.
    // std::bad_alloc when out of memory.
    explicit ZerotreeStore(const WicGeometry& geometry, int maxBitPlanes = kMaxBitPlanes);
    // The memory a store of this size holds.
    static uint64_t MemoryBytes(const WicGeometry& geometry, int maxBitPlanes = kMaxBitPlanes);

    template <class Word>
    struct NodeOf {
        Word lh = 0;
        Word hh = 0;
        Word hl = 0;
        uint8_t plane = 0;  // bit plane in which the node's tree became significant; 0 not yet
    };
    struct CoarseNode {
        uint32_t word = 0;
        uint8_t plane = 0;
    };

    const WicGeometry& Geometry() const { return geometry_; }
    int MaxBitPlanes() const { return narrow_ ? kNarrowBitPlanes : kMaxBitPlanes; }
    bool Narrow() const { return narrow_; }
    CoarseNode& Coarse(size_t index) { return coarse_[index]; }
    template <class Word>
    NodeOf<Word>* Nodes() {
        return static_cast<NodeOf<Word>*>(nodes_.Data());
    }
    // Index of the first node of `level` (1 to levels).
    size_t LevelStart(int level) const { return levelStart_[static_cast<size_t>(level)]; }

    // Writes the coefficients as samples into matrix (width x height, row-major, dyadic
    // layout) and leaves the store cleared for the next plane, unless this was the last
    // (clearing is a third of the memory traffic).
    void MoveToMatrix(float* matrix, bool clearForNextPlane = true);

    // Every level but the finest into quarter ((width / 2) x (height / 2), the top-left
    // block of the dyadic matrix, which is itself the dyadic matrix of one level fewer);
    // the finest level stays here, to be read a row at a time with ReadFinestRow or
    // TakeFinestRow. With clearForNextPlane those levels' nodes are cleared as they go.
    void MoveCoarserLevels(float* quarter, bool clearForNextPlane = false);
    // The memory of every level but the finest, free for other use once MoveCoarserLevels
    // has moved them out (without clearing) and until the store is decoded into again;
    // floats: how many floats it holds.
    float* CoarserLevelsMemory(size_t& floats);

    // Row y (0 to height / 2 - 1) of each finest band as samples, width / 2 of them each:
    // hl lies right of the low rows, lh and hh below them.
    void ReadFinestRow(int y, float* hl, float* lh, float* hh) const;
    // The same, clearing the row's nodes for the next colour plane while they are in the
    // cache; ClearFinestRowsFrom clears the rows that were not taken.
    void TakeFinestRow(int y, float* hl, float* lh, float* hh);
    void ClearFinestRowsFrom(int y);

    static constexpr int kNarrowBitPlanes = 15;

  private:
    template <class Word>
    void MoveNodes(float* matrix, size_t stride, int lastLevel, bool clear);
    template <class Word>
    void ReadFinestNodes(int y, float* hl, float* lh, float* hh, bool clear) const;
    template <class Word>
    void ClearFinestNodes(int y);
    template <class Visit>
    void ForEachFinestGroup(int y, size_t nodeBytes, Visit&& visit) const;

    WicGeometry geometry_;
    bool narrow_ = false;
    platform::ZeroedArray<CoarseNode> coarse_;
    platform::LargeBlock nodes_;
    std::vector<size_t> levelStart_;
    std::vector<uint32_t> spreadX_;  // a finest group's Z-order offset of each column
};

// Decodes one colour plane of bitPlanes bit planes (at most store.MaxBitPlanes()) into
// store (new, emptied by MoveToMatrix, or by MoveCoarserLevels with clearing and
// TakeFinestRow or ClearFinestRowsFrom for every finest row).
// betweenPlanes runs before each bit plane (it may throw to stop the decode).
void ZerotreeDecode(int bitPlanes, QmDecoder& qm, ZerotreeStore& store,
                    const std::function<void()>& betweenPlanes);

}  // namespace wic
