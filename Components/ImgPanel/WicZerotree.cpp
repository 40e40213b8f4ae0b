#include "Components/ImgPanel/WicZerotree.h"

#include <cstddef>
#include <cstring>

namespace wic {

namespace {

class ZerotreeScan {
  public:
    ZerotreeScan(const WicGeometry& g, QmDecoder& qm, uint32_t* matrix, uint8_t* nodes)
        : g_(g), qm_(qm), matrix_(matrix), nodes_(nodes), nodeColumns_(NodeColumns(g)) {}

    void BitPlane(int plane) {
        plane_ = static_cast<uint8_t>(plane);
        bit_ = 1u << (plane - 1);
        half_ = bit_ >> 1;
        const int w = g_.width >> g_.levels;
        const int h = g_.height >> g_.levels;
        for (int y = 0; y < h && !stop_; ++y) {
            for (int x = 0; x < w && !stop_; ++x) {
                CoarseNode(x, y, w, h);
            }
        }
    }

    bool Stopped() const { return stop_; }

  private:
    uint8_t& NodeAt(int x, int y) { return nodes_[static_cast<size_t>(y) * nodeColumns_ + x]; }
    uint32_t& WordAt(int x, int y) { return matrix_[static_cast<size_t>(y) * g_.width + x]; }

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
    bool TreeSignificant(uint8_t& node, int level, int parentX, int parentY) {
        if (node != 0) {
            return true;
        }
        const bool parentJustBecame = level > 0 && NodeAt(parentX, parentY) == plane_;
        const int cx = (parentJustBecame ? kTreeAfterParentContext : kTreeContext) + level;
        if (qm_.Decode(cx) == 0) {
            return false;
        }
        node = plane_;
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

    void CoarseNode(int x, int y, int w, int h) {
        if (!Continues() || !TreeSignificant(NodeAt(x, y), 0, 0, 0)) {
            return;
        }
        uint32_t& d = WordAt(x, y);
        if ((d & kMagnitudeMask) != 0) {
            Refine(d);
        } else {
            MaybeSignificant(d, kCoarseContext);
        }
        DetailNode(x, y + h, 1, x, y, w, h);
    }

    // The node at (x, y) of the LH band of a level whose bands are w x h.
    void DetailNode(int x, int y, int level, int parentX, int parentY, int w, int h) {
        if (!Continues() || !TreeSignificant(NodeAt(x, y), level, parentX, parentY)) {
            return;
        }
        uint32_t& lh = WordAt(x, y);
        uint32_t& hh = WordAt(x + w, y);
        uint32_t& hl = WordAt(x + w, y - h);
        const uint32_t twice = bit_ << 1;
        const bool hlSmall = (hl & kMagnitudeMask) < twice;
        if ((lh & kMagnitudeMask) != 0) {
            Refine(lh);
        } else {
            const bool quiet = (hh & kMagnitudeMask) < twice && hlSmall;
            MaybeSignificant(lh, (quiet ? kLhQuietContext : kLhBusyContext) + level);
        }
        const bool lhZero = (lh & kMagnitudeMask) < bit_;
        if ((hh & kMagnitudeMask) != 0) {
            Refine(hh);
        } else {
            const bool quiet = lhZero && hlSmall;
            MaybeSignificant(hh, (quiet ? kHhQuietContext : kHhBusyContext) + level);
        }
        if ((hl & kMagnitudeMask) != 0) {
            Refine(hl);
        } else {
            const bool quiet = lhZero && (hh & kMagnitudeMask) < bit_;
            MaybeSignificant(hl, (quiet ? kHlQuietContext : kHlBusyContext) + level);
        }
        if (2 * y < g_.height) {
            const int cx = 2 * x;
            const int cy = 2 * y;
            DetailNode(cx, cy, level + 1, x, y, 2 * w, 2 * h);
            DetailNode(cx + 1, cy, level + 1, x, y, 2 * w, 2 * h);
            DetailNode(cx, cy + 1, level + 1, x, y, 2 * w, 2 * h);
            DetailNode(cx + 1, cy + 1, level + 1, x, y, 2 * w, 2 * h);
        }
    }

    const WicGeometry g_;
    QmDecoder& qm_;
    uint32_t* matrix_;
    uint8_t* nodes_;
    const int nodeColumns_;
    uint8_t plane_ = 0;
    uint32_t bit_ = 0;
    uint32_t half_ = 0;
    bool stop_ = false;
};

}  // namespace

void ZerotreeDecode(const WicGeometry& geometry, int bitPlanes, QmDecoder& qm, uint32_t* matrix,
                    uint8_t* nodeMemory, const std::function<void()>& betweenPlanes) {
    std::memset(nodeMemory, 0, static_cast<size_t>(NodeColumns(geometry)) * geometry.height);
    ZerotreeScan scan(geometry, qm, matrix, nodeMemory);
    for (int plane = bitPlanes; plane >= 1 && !scan.Stopped(); --plane) {
        if (betweenPlanes) {
            betweenPlanes();
        }
        scan.BitPlane(plane);
    }
}

}  // namespace wic
