#include "Components/ImgPanel/WicZerotree.h"

#include <bit>

namespace wic {

namespace {

// Spreads the bits of v to the even bit positions (the x half of a Z-order index).
uint32_t Spread(uint32_t v) {
    uint32_t out = 0;
    for (int bit = 0; v >> bit != 0; ++bit) {
        out |= ((v >> bit) & 1u) << (2 * bit);
    }
    return out;
}

// Asks for every cache line of a block, in order.
template <class T>
void WarmUp(const T* block, size_t count) {
    const auto* bytes = reinterpret_cast<const char*>(block);
    for (size_t offset = 0; offset < count * sizeof(T); offset += 64) {
        __builtin_prefetch(bytes + offset);
    }
}

// Without a branch: signs are as good as random, and the sign bits of the word and of a
// float are the same bit.
float ToSample(uint32_t word) {
    const auto magnitude = static_cast<float>(word & kMagnitudeMask);
    return std::bit_cast<float>(std::bit_cast<uint32_t>(magnitude) | (word & kSignBit));
}

class ZerotreeScan {
  public:
    ZerotreeScan(QmDecoder& qm, ZerotreeStore& store)
        : qm_(qm), store_(store), levels_(store.Geometry().levels) {}

    void BitPlane(int plane) {
        plane_ = static_cast<uint8_t>(plane);
        bit_ = 1u << (plane - 1);
        half_ = bit_ >> 1;
        const WicGeometry& g = store_.Geometry();
        const size_t coarseCount =
            static_cast<size_t>(g.width >> g.levels) * static_cast<size_t>(g.height >> g.levels);
        for (size_t c = 0; c < coarseCount && !stop_; ++c) {
            Coarse(c);
        }
    }

    bool Stopped() const { return stop_; }

  private:
    // Every node visit starts with this decision; a 0 ends the colour plane's data.
    bool Continues() {
        if (stop_) {
            return false;
        }
        if (qm_.Decode(kContinueContext) != 0) {
            return true;
        }
        stop_ = true;
        return false;
    }

    // False when the node's tree is still insignificant in this bit plane.
    bool TreeSignificant(uint8_t& plane, int level, bool parentJustBecame) {
        if (plane != 0) {
            return true;
        }
        const int cx = (parentJustBecame ? kTreeAfterParentContext : kTreeContext) + level;
        if (qm_.Decode(cx) == 0) {
            return false;
        }
        plane = plane_;
        return true;
    }

    void Refine(uint32_t& word) {
        const uint32_t bit = qm_.Decode(kRefineContext) != 0 ? bit_ : 0;
        word = bit | (word & ~bit_) | half_;
    }

    // A coefficient that was insignificant: one decision in context cx, then its sign.
    void MaybeSignificant(uint32_t& word, int cx) {
        if (qm_.Decode(cx) == 0) {
            return;
        }
        const uint32_t sign = qm_.Decode(kSignContext) != 0 ? kSignBit : 0;
        word = sign | bit_ | half_;
    }

    void Coarse(size_t c) {
        ZerotreeStore::CoarseNode& node = store_.Coarse(c);
        if (!Continues() || !TreeSignificant(node.plane, 0, false)) {
            return;
        }
        if ((node.word & kMagnitudeMask) != 0) {
            Refine(node.word);
        } else {
            MaybeSignificant(node.word, kCoarseContext);
        }
        Detail(1, store_.LevelStart(1) + c, node.plane);
    }

    void Detail(int level, size_t index, uint8_t parentPlane) {
        ZerotreeStore::Node& node = store_.At(index);
        if (!Continues() || !TreeSignificant(node.plane, level, parentPlane == plane_)) {
            return;
        }
        const uint32_t twice = bit_ << 1;
        const bool hlSmall = (node.hl & kMagnitudeMask) < twice;
        if ((node.lh & kMagnitudeMask) != 0) {
            Refine(node.lh);
        } else {
            const bool quiet = (node.hh & kMagnitudeMask) < twice && hlSmall;
            MaybeSignificant(node.lh, (quiet ? kLhQuietContext : kLhBusyContext) + level);
        }
        const bool lhZero = (node.lh & kMagnitudeMask) < bit_;
        if ((node.hh & kMagnitudeMask) != 0) {
            Refine(node.hh);
        } else {
            const bool quiet = lhZero && hlSmall;
            MaybeSignificant(node.hh, (quiet ? kHhQuietContext : kHhBusyContext) + level);
        }
        if ((node.hl & kMagnitudeMask) != 0) {
            Refine(node.hl);
        } else {
            const bool quiet = lhZero && (node.hh & kMagnitudeMask) < bit_;
            MaybeSignificant(node.hl, (quiet ? kHlQuietContext : kHlBusyContext) + level);
        }
        if (level < levels_) {
            // The children, in the scan's order (2x, 2y), (2x + 1, 2y), (2x, 2y + 1),
            // (2x + 1, 2y + 1), are the four Z-order successors of this node.
            const size_t first =
                store_.LevelStart(level + 1) + 4 * (index - store_.LevelStart(level));
            for (size_t k = 0; k < 4; ++k) {
                Detail(level + 1, first + k, node.plane);
            }
        }
    }

    QmDecoder& qm_;
    ZerotreeStore& store_;
    const int levels_;
    uint8_t plane_ = 0;
    uint32_t bit_ = 0;
    uint32_t half_ = 0;
    bool stop_ = false;
};

}  // namespace

ZerotreeStore::ZerotreeStore(const WicGeometry& geometry) : geometry_(geometry) {
    const size_t coarseCount = static_cast<size_t>(geometry.width >> geometry.levels) *
                               static_cast<size_t>(geometry.height >> geometry.levels);
    coarse_.resize(coarseCount);
    levelStart_.assign(static_cast<size_t>(geometry.levels) + 2, 0);
    size_t perCoarse = 1;
    for (int level = 1; level <= geometry.levels; ++level) {
        levelStart_[static_cast<size_t>(level) + 1] = levelStart_[level] + coarseCount * perCoarse;
        perCoarse *= 4;
    }
    nodes_.resize(levelStart_[static_cast<size_t>(geometry.levels) + 1]);
}

void ZerotreeStore::MoveToMatrix(float* matrix) {
    const int width = geometry_.width;
    const int coarseWidth = width >> geometry_.levels;
    const int coarseHeight = geometry_.height >> geometry_.levels;
    for (int y = 0; y < coarseHeight; ++y) {
        for (int x = 0; x < coarseWidth; ++x) {
            CoarseNode& node = coarse_[static_cast<size_t>(y) * coarseWidth + x];
            matrix[static_cast<size_t>(y) * width + x] = ToSample(node.word);
            node = CoarseNode{};
        }
    }
    // The matrix is written row by row, so the writes stream. The nodes of one coarse row
    // are first read in their own order, so that the hardware streams them into the cache
    // before the rows pick them out of Z order.
    std::vector<uint32_t> spread;
    for (int level = 1; level <= geometry_.levels; ++level) {
        // A level-l node (x, y) of its band belongs to the coarse node (x, y) >> s and sits
        // at Z-order index (x, y) mod 2^s within that node's group.
        const int s = level - 1;
        const int w = coarseWidth << s;
        const int h = coarseHeight << s;
        const int side = 1 << s;
        const size_t perGroup = size_t{1} << (2 * s);
        spread.resize(static_cast<size_t>(side));
        for (uint32_t v = 0; v < spread.size(); ++v) {
            spread[v] = Spread(v);
        }
        for (int band = 0; band < coarseHeight; ++band) {
            Node* bandNodes = nodes_.data() + levelStart_[static_cast<size_t>(level)] +
                              static_cast<size_t>(band) * coarseWidth * perGroup;
            WarmUp(bandNodes, static_cast<size_t>(coarseWidth) * perGroup);
            for (int dy = 0; dy < side; ++dy) {
                const int y = (band << s) + dy;
                float* hlRow = matrix + static_cast<size_t>(y) * width + w;
                float* lhRow = matrix + static_cast<size_t>(y + h) * width;
                float* hhRow = lhRow + w;
                Node* group = bandNodes + (spread[static_cast<size_t>(dy)] << 1);
                for (int x0 = 0; x0 < w; x0 += side, group += perGroup) {
                    for (int dx = 0; dx < side; ++dx) {
                        Node& node = group[spread[static_cast<size_t>(dx)]];
                        lhRow[x0 + dx] = ToSample(node.lh);
                        hhRow[x0 + dx] = ToSample(node.hh);
                        hlRow[x0 + dx] = ToSample(node.hl);
                        node = Node{};
                    }
                }
            }
        }
    }
}

void ZerotreeDecode(int bitPlanes, QmDecoder& qm, ZerotreeStore& store,
                    const std::function<void()>& betweenPlanes) {
    ZerotreeScan scan(qm, store);
    for (int plane = bitPlanes; plane >= 1 && !scan.Stopped(); --plane) {
        if (betweenPlanes) {
            betweenPlanes();
        }
        scan.BitPlane(plane);
    }
}

}  // namespace wic
