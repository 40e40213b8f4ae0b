#include "Components/ImgPanel/WicZerotree.h"

#include <bit>
#include <cstring>

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
    coarse_ = platform::ZeroedArray<CoarseNode>(coarseCount);
    levelStart_.assign(static_cast<size_t>(geometry.levels) + 2, 0);
    size_t perCoarse = 1;
    for (int level = 1; level <= geometry.levels; ++level) {
        levelStart_[static_cast<size_t>(level) + 1] = levelStart_[level] + coarseCount * perCoarse;
        perCoarse *= 4;
    }
    nodes_ = platform::ZeroedArray<Node>(levelStart_[static_cast<size_t>(geometry.levels) + 1]);
}

void ZerotreeStore::MoveToMatrix(float* matrix) {
    const size_t width = static_cast<size_t>(geometry_.width);
    const int coarseWidth = geometry_.width >> geometry_.levels;
    const int coarseHeight = geometry_.height >> geometry_.levels;
    for (int y = 0; y < coarseHeight; ++y) {
        for (int x = 0; x < coarseWidth; ++x) {
            CoarseNode& node = coarse_[static_cast<size_t>(y) * coarseWidth + x];
            matrix[y * width + x] = ToSample(node.word);
            node = CoarseNode{};
        }
    }
    // The nodes are read in their own order, once, and cleared for the next colour plane
    // while they are in the cache; each coarse node's group fills a square of the three
    // bands whose rows are a few cache lines each, so the writes stay in cache until their
    // lines are complete. A group's Z order is walked a 2 x 2 quad at a time.
    Node* node = nodes_.data();
    for (int level = 1; level <= geometry_.levels; ++level) {
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
                    *node++ = Node{};
                    continue;
                }
                for (uint32_t q = 0; q < quads; ++q, node += 4) {
                    const size_t x = x0 + 2 * Compact(q);
                    const size_t y = y0 + 2 * Compact(q >> 1);
                    float* hl = matrix + y * width + x + w;
                    float* lh = matrix + (y + h) * width + x;
                    float* hh = lh + w;
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
                    std::memset(static_cast<void*>(node), 0, 4 * sizeof(Node));
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
