#include "Components/ImgPanel/WicZerotree.h"

#include <bit>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cstring>
#include <stdexcept>

#include "Components/ImgPanel/WicClones.h"

namespace wic {

namespace {

// Gathers the even bits of z (the x half of a Z-order index) into the low bits.
uint32_t Compact(uint32_t z) {
    z &= 0x55555555u;
    z = (z | (z >> 1)) & 0x33333333u;
    z = (z | (z >> 2)) & 0x0F0F0F0Fu;
    z = (z | (z >> 4)) & 0x00FF00FFu;
    z = (z | (z >> 8)) & 0x0000FFFFu;
    return z;
}

// Spreads the low 16 bits of x over the even bits (the inverse of Compact).
uint32_t Spread(uint32_t x) {
    x &= 0x0000FFFFu;
    x = (x | (x << 8)) & 0x00FF00FFu;
    x = (x | (x << 4)) & 0x0F0F0F0Fu;
    x = (x | (x << 2)) & 0x33333333u;
    x = (x | (x << 1)) & 0x55555555u;
    return x;
}

// Without a branch: signs are as good as random, and the sign bits of the word and of a
// float are the same bit.
template <class Word>
inline constexpr uint32_t kWordSign = uint32_t{1} << (8 * sizeof(Word) - 1);

template <class Word>
float ToSample(Word word) {
    const uint32_t sign = (uint32_t{word} & kWordSign<Word>) << (32 - 8 * sizeof(Word));
    const auto magnitude = static_cast<float>(uint32_t{word} & (kWordSign<Word> - 1));
    return std::bit_cast<float>(std::bit_cast<uint32_t>(magnitude) | sign);
}

// Four nodes in Z order (a 2 x 2 square) to the three bands' samples, two rows each.
template <class Node>
inline void MoveQuad(const Node* node, float* lh, float* hh, float* hl, size_t width) {
    lh[0] = ToSample(node[0].lh);
    lh[1] = ToSample(node[1].lh);
    lh[width] = ToSample(node[2].lh);
    lh[width + 1] = ToSample(node[3].lh);
    hh[0] = ToSample(node[0].hh);
    hh[1] = ToSample(node[1].hh);
    hh[width] = ToSample(node[2].hh);
    hh[width + 1] = ToSample(node[3].hh);
    hl[0] = ToSample(node[0].hl);
    hl[1] = ToSample(node[1].hl);
    hl[width] = ToSample(node[2].hl);
    hl[width + 1] = ToSample(node[3].hl);
}

#if defined(__SSE2__)
// Four 16-bit-word nodes, two in each register, to four samples of each band in node
// order: the nodes are transposed so that each band's words share a register, then
// widened and converted.
inline void FourNarrowNodes(__m128i first, __m128i second, __m128& lh, __m128& hh, __m128& hl) {
    const __m128i even = _mm_unpacklo_epi16(first, second);  // lh0 lh2 hh0 hh2 hl0 hl2 ..
    const __m128i odd = _mm_unpackhi_epi16(first, second);   // lh1 lh3 hh1 hh3 hl1 hl3 ..
    const __m128i lhHh = _mm_unpacklo_epi16(even, odd);      // lh0..3 hh0..3
    const __m128i hlRest = _mm_unpackhi_epi16(even, odd);    // hl0..3 ..
    const __m128i zero = _mm_setzero_si128();
    const auto toSamples = [](__m128i words) {
        const __m128i sign = _mm_slli_epi32(_mm_and_si128(words, _mm_set1_epi32(0x8000)), 16);
        const __m128 magnitude = _mm_cvtepi32_ps(_mm_and_si128(words, _mm_set1_epi32(0x7FFF)));
        return _mm_or_ps(magnitude, _mm_castsi128_ps(sign));
    };
    lh = toSamples(_mm_unpacklo_epi16(lhHh, zero));
    hh = toSamples(_mm_unpackhi_epi16(lhHh, zero));
    hl = toSamples(_mm_unpacklo_epi16(hlRest, zero));
}

// The same for 16-bit words, four samples of a band at once.
template <>
inline void MoveQuad(const ZerotreeStore::NodeOf<uint16_t>* node, float* lh, float* hh, float* hl,
                     size_t width) {
    static_assert(sizeof(*node) == 8);
    __m128 lhs, hhs, hls;
    FourNarrowNodes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(node)),
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(node + 2)), lhs, hhs, hls);
    const auto store = [width](float* at, __m128 samples) {
        _mm_storel_pi(reinterpret_cast<__m64*>(at), samples);
        _mm_storeh_pi(reinterpret_cast<__m64*>(at + width), samples);
    };
    store(lh, lhs);
    store(hh, hhs);
    store(hl, hls);
}
#endif

// The node helpers are forced inline into BitPlane: that is what lets the QM session keep
// the decoder's registers in machine registers for the whole bit plane.
#define WIC_INLINE [[gnu::always_inline]] inline

template <class Word>
class ZerotreeScan {
    using Node = ZerotreeStore::NodeOf<Word>;
    using Session = QmDecoder::Session;

  public:
    ZerotreeScan(QmDecoder& qm, ZerotreeStore& store)
        : qm_(qm), store_(store), nodes_(store.Nodes<Word>()), levels_(store.Geometry().levels) {}

    WIC_INLINE void BitPlane(int plane) {
        plane_ = static_cast<uint8_t>(plane);
        bit_ = 1u << (plane - 1);
        half_ = bit_ >> 1;
        const WicGeometry& g = store_.Geometry();
        const size_t coarseCount =
            static_cast<size_t>(g.width >> g.levels) * static_cast<size_t>(g.height >> g.levels);
        Session qm(qm_);
        for (size_t c = 0; c < coarseCount && !stop_; ++c) {
            ZerotreeStore::CoarseNode& node = store_.Coarse(c);
            if (!Continues(qm) || !TreeSignificant(qm, node.plane, 0, false)) {
                continue;
            }
            if ((node.word & kMagnitudeMask) != 0) {
                Refine(qm, node.word);
            } else {
                // 93 % of the coarsest band's decisions end in the common case.
                MaybeSignificant<true>(qm, node.word, kCoarseContext);
            }
            Group(qm, c, node.plane);
        }
    }

    WIC_INLINE bool Stopped() const { return stop_; }

  private:
    // The detail nodes below coarse node c, depth first: a node, then (when its tree is
    // significant) its four children in the scan's order (2x, 2y), (2x + 1, 2y),
    // (2x, 2y + 1), (2x + 1, 2y + 1), which are its four Z-order successors one level down.
    // A loop over a path of at most 15 levels rather than recursion, so that nothing spills
    // the registers between nodes.
    WIC_INLINE void Group(Session& qm, size_t c, uint8_t coarsePlane) {
        size_t base[kMaxLevels + 2];
        uint32_t z[kMaxLevels + 2];
        uint8_t parentPlane[kMaxLevels + 2];
        for (int level = 1; level <= levels_; ++level) {
            base[level] = store_.LevelStart(level) + (c << (2 * (level - 1)));
        }
        int level = 1;
        z[1] = 0;
        parentPlane[1] = coarsePlane;
        for (;;) {
            Node& node = nodes_[base[level] + z[level]];
            if (Visit(qm, node, level, parentPlane[level]) && level < levels_) {
                parentPlane[level + 1] = node.plane;
                z[level + 1] = 4 * z[level];
                ++level;
                continue;
            }
            if (stop_) {
                return;
            }
            // On to the next sibling, or up once the last one is done.
            while (level > 1 && (z[level] & 3) == 3) {
                --level;
            }
            if (level == 1) {
                return;
            }
            ++z[level];
        }
    }

    // Every node visit starts with this decision; a 0 ends the colour plane's data.
    WIC_INLINE bool Continues(Session& qm) {
        if (stop_) {
            return false;
        }
        if (qm.Decode(kContinueContext) != 0) {
            return true;
        }
        stop_ = true;
        return false;
    }

    // False when the node's tree is still insignificant in this bit plane. A tree whose
    // parent was significant before this bit plane mostly stays insignificant (about 80 %
    // of such decisions on photographs end in the common case), so its decision takes the
    // branch for it; right below a parent that has just become significant it is a toss-up.
    WIC_INLINE bool TreeSignificant(Session& qm, uint8_t& plane, int level, bool parentJustBecame) {
        if (plane != 0) {
            return true;
        }
        const int decision = parentJustBecame ? qm.DecodeBranchFree(kTreeAfterParentContext + level)
                                              : qm.Decode(kTreeContext + level);
        if (decision == 0) {
            return false;
        }
        plane = plane_;
        return true;
    }

    template <class W>
    WIC_INLINE void Refine(Session& qm, W& word) {
        const uint32_t bit = qm.DecodeBranchFree(kRefineContext) != 0 ? bit_ : 0;
        word = static_cast<W>(bit | (word & ~bit_) | half_);
    }

    // A coefficient that was insignificant: one decision in context cx, then its sign
    // (a coin toss, so it goes into the word without a branch). likely: cx is one of the
    // contexts whose decisions mostly end in the common case, so that its branch pays.
    // About 70 % of these decisions leave the coefficient insignificant, so that outcome
    // is laid out to go straight on (about 1 % of a decode).
    template <bool likely = false, class W>
    WIC_INLINE void MaybeSignificant(Session& qm, W& word, int cx) {
        if ((likely ? qm.Decode(cx) : qm.DecodeBranchFree(cx)) == 0) [[likely]] {
            return;
        }
        const uint32_t sign = static_cast<uint32_t>(qm.DecodeBranchFree(kSignContext))
                              << (8 * sizeof(W) - 1);
        word = static_cast<W>(sign | bit_ | half_);
    }

    static uint32_t Magnitude(Word word) { return word & (kWordSign<Word> - 1); }

    // One detail node's decisions; true when its children are to be visited.
    WIC_INLINE bool Visit(Session& qm, Node& node, int level, uint8_t parentPlane) {
        if (!Continues(qm) || !TreeSignificant(qm, node.plane, level, parentPlane == plane_)) {
            return false;
        }
        const uint32_t twice = bit_ << 1;
        const bool hlSmall = Magnitude(node.hl) < twice;
        if (Magnitude(node.lh) != 0) {
            Refine(qm, node.lh);
        } else {
            const bool quiet = Magnitude(node.hh) < twice && hlSmall;
            MaybeSignificant(qm, node.lh, (quiet ? kLhQuietContext : kLhBusyContext) + level);
        }
        const bool lhZero = Magnitude(node.lh) < bit_;
        if (Magnitude(node.hh) != 0) {
            Refine(qm, node.hh);
        } else {
            const bool quiet = lhZero && hlSmall;
            MaybeSignificant(qm, node.hh, (quiet ? kHhQuietContext : kHhBusyContext) + level);
        }
        if (Magnitude(node.hl) != 0) {
            Refine(qm, node.hl);
        } else {
            // An HL coefficient with both others insignificant mostly stays so (about 90 %).
            if (lhZero && Magnitude(node.hh) < bit_) {
                MaybeSignificant<true>(qm, node.hl, kHlQuietContext + level);
            } else {
                MaybeSignificant(qm, node.hl, kHlBusyContext + level);
            }
        }
        return true;
    }

    QmDecoder& qm_;
    ZerotreeStore& store_;
    Node* const nodes_;
    const int levels_;
    uint8_t plane_ = 0;
    uint32_t bit_ = 0;
    uint32_t half_ = 0;
    bool stop_ = false;
};

#undef WIC_INLINE

// One bit plane of the scan for each word width, built for each instruction set
// (WicClones.h); true when the colour plane's data has ended. Nothing in them throws: an
// exception must never pass through a function with clones, whose dispatcher GCC takes
// for one that cannot throw, so the caller between the bit planes runs outside them.
WIC_CLONES bool NarrowBitPlane(QmDecoder& qm, ZerotreeStore& store, int plane) noexcept {
    ZerotreeScan<uint16_t> scan(qm, store);
    scan.BitPlane(plane);
    return scan.Stopped();
}

WIC_CLONES bool WideBitPlane(QmDecoder& qm, ZerotreeStore& store, int plane) noexcept {
    ZerotreeScan<uint32_t> scan(qm, store);
    scan.BitPlane(plane);
    return scan.Stopped();
}

}  // namespace

namespace {

size_t CoarseCount(const WicGeometry& geometry) {
    return static_cast<size_t>(geometry.width >> geometry.levels) *
           static_cast<size_t>(geometry.height >> geometry.levels);
}

// Where each level's nodes start: a coarsest node stands for 4^(level - 1) nodes of a
// level; the last entry is the node count.
std::vector<size_t> LevelStarts(const WicGeometry& geometry) {
    std::vector<size_t> starts(static_cast<size_t>(geometry.levels) + 2, 0);
    size_t perCoarse = 1;
    for (int level = 1; level <= geometry.levels; ++level) {
        starts[static_cast<size_t>(level) + 1] = starts[level] + CoarseCount(geometry) * perCoarse;
        perCoarse *= 4;
    }
    return starts;
}

}  // namespace

ZerotreeStore::ZerotreeStore(const WicGeometry& geometry, int maxBitPlanes)
    : geometry_(geometry), narrow_(maxBitPlanes <= kNarrowBitPlanes) {
    coarse_ = platform::ZeroedArray<CoarseNode>(CoarseCount(geometry));
    levelStart_ = LevelStarts(geometry);
    const size_t nodeCount = levelStart_.back();
    spreadX_.resize(size_t{1} << (geometry.levels - 1));
    for (size_t x = 0; x < spreadX_.size(); ++x) {
        spreadX_[x] = Spread(static_cast<uint32_t>(x));
    }
    nodes_ = platform::LargeBlock(nodeCount *
                                  (narrow_ ? sizeof(NodeOf<uint16_t>) : sizeof(NodeOf<uint32_t>)));
}

uint64_t ZerotreeStore::MemoryBytes(const WicGeometry& geometry, int maxBitPlanes) {
    const bool narrow = maxBitPlanes <= kNarrowBitPlanes;
    return uint64_t{CoarseCount(geometry)} * sizeof(CoarseNode) +
           uint64_t{LevelStarts(geometry).back()} *
               (narrow ? sizeof(NodeOf<uint16_t>) : sizeof(NodeOf<uint32_t>)) +
           (uint64_t{1} << (geometry.levels - 1)) * sizeof(uint32_t);
}

void ZerotreeStore::MoveToMatrix(float* matrix, bool clearForNextPlane) {
    if (narrow_) {
        MoveNodes<uint16_t>(matrix, static_cast<size_t>(geometry_.width), geometry_.levels,
                            clearForNextPlane);
    } else {
        MoveNodes<uint32_t>(matrix, static_cast<size_t>(geometry_.width), geometry_.levels,
                            clearForNextPlane);
    }
}

void ZerotreeStore::MoveCoarserLevels(float* quarter, bool clearForNextPlane) {
    const auto stride = static_cast<size_t>(geometry_.width / 2);
    if (narrow_) {
        MoveNodes<uint16_t>(quarter, stride, geometry_.levels - 1, clearForNextPlane);
    } else {
        MoveNodes<uint32_t>(quarter, stride, geometry_.levels - 1, clearForNextPlane);
    }
}

float* ZerotreeStore::CoarserLevelsMemory(size_t& floats) {
    const size_t nodeBytes = narrow_ ? sizeof(NodeOf<uint16_t>) : sizeof(NodeOf<uint32_t>);
    floats = LevelStart(geometry_.levels) * nodeBytes / sizeof(float);
    return static_cast<float*>(nodes_.Data());
}

void ZerotreeStore::ReadFinestRow(int y, float* hl, float* lh, float* hh) const {
    if (narrow_) {
        ReadFinestNodes<uint16_t>(y, hl, lh, hh, false);
    } else {
        ReadFinestNodes<uint32_t>(y, hl, lh, hh, false);
    }
}

void ZerotreeStore::TakeFinestRow(int y, float* hl, float* lh, float* hh) {
    if (narrow_) {
        ReadFinestNodes<uint16_t>(y, hl, lh, hh, true);
    } else {
        ReadFinestNodes<uint32_t>(y, hl, lh, hh, true);
    }
}

void ZerotreeStore::ClearFinestRowsFrom(int y) {
    for (; y < geometry_.height / 2; ++y) {
        if (narrow_) {
            ClearFinestNodes<uint16_t>(y);
        } else {
            ClearFinestNodes<uint32_t>(y);
        }
    }
}

// Where row y of the finest bands lies: a band row crosses every coarse group of its
// coarse row; within a group its nodes are those of one Z-order row, whose offsets
// spreadX_ holds for the columns. Calls visit(group's first node, zy, group side) for
// each group in turn.
//
// The nodes of four columns and two rows share a cache line (two with 32-bit words), so
// only even rows bring new lines, a few per group, and the groups lie too far apart for
// the processor to see the pattern: the lines of a group some way ahead are asked for
// while this one is read.
template <class Visit>
void ZerotreeStore::ForEachFinestGroup(int y, size_t nodeBytes, Visit&& visit) const {
    constexpr int kGroupsAhead = 4;
    const int s = geometry_.levels - 1;
    const size_t side = size_t{1} << s;
    const int coarseWidth = geometry_.width >> geometry_.levels;
    const uint32_t zy = 2 * Spread(static_cast<uint32_t>(y) & (side - 1));
    const size_t firstGroup = static_cast<size_t>(y >> s) * static_cast<size_t>(coarseWidth);
    const auto groupStart = [&](int cx) {
        return LevelStart(geometry_.levels) + ((firstGroup + cx) << (2 * s));
    };
    const auto* bytes = static_cast<const char*>(nodes_.Data());
    for (int cx = 0; cx < coarseWidth; ++cx) {
        if (y % 2 == 0 && cx + kGroupsAhead < coarseWidth) {
            const size_t ahead = groupStart(cx + kGroupsAhead);
            for (size_t lx = 0; lx < side; lx += 4) {
                const char* line = bytes + (ahead + (spreadX_[lx] | zy)) * nodeBytes;
                for (size_t b = 0; b < 8 * nodeBytes; b += 64) {
                    __builtin_prefetch(line + b);
                }
            }
        }
        visit(groupStart(cx), zy, side);
    }
}

// Shared by ReadFinestRow and TakeFinestRow, hence const; only TakeFinestRow, which is
// not, asks it to clear the nodes it has read.
template <class Word>
void ZerotreeStore::ReadFinestNodes(int y, float* hl, float* lh, float* hh, bool clear) const {
    auto* const nodes = static_cast<NodeOf<Word>*>(nodes_.Data());
    size_t x = 0;
    ForEachFinestGroup(y, sizeof(NodeOf<Word>), [&](size_t start, uint32_t zy, size_t side) {
        NodeOf<Word>* const group = nodes + start;
        size_t lx = 0;
#if defined(__SSE2__)
        // Columns 4k to 4k + 3 of a Z-order row are two pairs of neighbouring nodes.
        if constexpr (sizeof(Word) == 2) {
            for (; lx + 4 <= side; lx += 4, x += 4) {
                auto* pair = reinterpret_cast<__m128i*>(group + (spreadX_[lx] | zy));
                __m128 lhs, hhs, hls;
                FourNarrowNodes(_mm_loadu_si128(pair), _mm_loadu_si128(pair + 2), lhs, hhs, hls);
                _mm_storeu_ps(hl + x, hls);
                _mm_storeu_ps(lh + x, lhs);
                _mm_storeu_ps(hh + x, hhs);
                if (clear) {
                    _mm_storeu_si128(pair, _mm_setzero_si128());
                    _mm_storeu_si128(pair + 2, _mm_setzero_si128());
                }
            }
        }
#endif
        for (; lx < side; ++lx, ++x) {
            NodeOf<Word>& node = group[spreadX_[lx] | zy];
            hl[x] = ToSample(node.hl);
            lh[x] = ToSample(node.lh);
            hh[x] = ToSample(node.hh);
            if (clear) {
                node = NodeOf<Word>{};
            }
        }
    });
}

template <class Word>
void ZerotreeStore::ClearFinestNodes(int y) {
    auto* const nodes = static_cast<NodeOf<Word>*>(nodes_.Data());
    ForEachFinestGroup(y, sizeof(NodeOf<Word>), [&](size_t start, uint32_t zy, size_t side) {
        for (size_t lx = 0; lx < side; ++lx) {
            nodes[start + (spreadX_[lx] | zy)] = NodeOf<Word>{};
        }
    });
}

// Levels 1 to lastLevel, into a matrix of `width` columns.
template <class Word>
void ZerotreeStore::MoveNodes(float* matrix, size_t width, int lastLevel, bool clear) {
    using Node = NodeOf<Word>;
    const int coarseWidth = geometry_.width >> geometry_.levels;
    const int coarseHeight = geometry_.height >> geometry_.levels;
    for (int y = 0; y < coarseHeight; ++y) {
        for (int x = 0; x < coarseWidth; ++x) {
            CoarseNode& node = coarse_[static_cast<size_t>(y) * coarseWidth + x];
            matrix[y * width + x] = ToSample<uint32_t>(node.word);
            node = CoarseNode{};
        }
    }
    // The nodes are read in their own order, once, and cleared for the next colour plane
    // while they are in the cache; each coarse node's group fills a square of the three
    // bands whose rows are a few cache lines each, so the writes stay in cache until their
    // lines are complete. A group's Z order is walked a 2 x 2 quad at a time.
    Node* node = Nodes<Word>();
    for (int level = 1; level <= lastLevel; ++level) {
        const int s = level - 1;
        const size_t w = static_cast<size_t>(coarseWidth) << s;
        const size_t h = static_cast<size_t>(coarseHeight) << s;
        const uint32_t quads = s == 0 ? 0 : uint32_t{1} << (2 * s - 2);
        for (int cy = 0; cy < coarseHeight; ++cy) {
            for (int cx = 0; cx < coarseWidth; ++cx) {
                const size_t x0 = static_cast<size_t>(cx) << s;
                const size_t y0 = static_cast<size_t>(cy) << s;
                if (s == 0) {
                    matrix[(y0 + h) * width + x0] = ToSample(node->lh);
                    matrix[(y0 + h) * width + x0 + w] = ToSample(node->hh);
                    matrix[y0 * width + x0 + w] = ToSample(node->hl);
                    if (clear) {
                        *node = Node{};
                    }
                    ++node;
                    continue;
                }
                for (uint32_t q = 0; q < quads; ++q, node += 4) {
                    const size_t x = x0 + 2 * Compact(q);
                    const size_t y = y0 + 2 * Compact(q >> 1);
                    float* hl = matrix + y * width + x + w;
                    float* lh = matrix + (y + h) * width + x;
                    float* hh = lh + w;
                    MoveQuad(node, lh, hh, hl, width);
                    if (clear) {
                        std::memset(static_cast<void*>(node), 0, 4 * sizeof(Node));
                    }
                }
            }
        }
    }
}

void ZerotreeDecode(int bitPlanes, QmDecoder& qm, ZerotreeStore& store,
                    const std::function<void()>& betweenPlanes) {
    if (bitPlanes > store.MaxBitPlanes()) {
        throw std::invalid_argument("more bit planes than the store was made for");
    }
    const bool narrow = store.Narrow();
    bool stopped = false;
    for (int plane = bitPlanes; plane >= 1 && !stopped; --plane) {
        if (betweenPlanes) {
            betweenPlanes();
        }
        stopped = narrow ? NarrowBitPlane(qm, store, plane) : WideBitPlane(qm, store, plane);
    }
}

}  // namespace wic
