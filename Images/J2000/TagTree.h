// Tag trees of packet headers: code-block inclusion and missing most significant bit-planes are
// coded per precinct as a quad-tree of minima over the code-block grid, read a bit at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "Images/J2000/BitStream.h"

namespace j2000 {

class tagtree_t {
  public:
    static constexpr std::size_t kNodeBytes = 3 * sizeof(int);  // what one node takes

    // A tree over `numleafsh` x `numleafsv` leaves (both above 0), every node unknown.
    tagtree_t(int numleafsh, int numleafsv);
    // The same, made kPacedNodes nodes at a time with pace(nodes) asked before each run; null
    // once it answers false (a tree of millions of nodes takes tens of milliseconds to make).
    static constexpr std::size_t kPacedNodes = 65536;
    static std::unique_ptr<tagtree_t> make(int numleafsh, int numleafsv,
                                           const std::function<bool(std::size_t)>& pace);

    void reset();
    int numleafs() const { return numleafsh_ * numleafsv_; }
    // Lowers leaf `leafno` and its ancestors to at most `value` (the encoding side; tests).
    void setvalue(int leafno, int value);
    // 1 when the leaf's value is below `threshold`, 0 when it is not, -1 at end of data.
    int decode(int leafno, int threshold, bitstream_t& in);
    // The leaf's value as far as decoded: exact once `decode` answered 1.
    int value(int leafno) const { return nodes_[static_cast<size_t>(leafno)].value; }

  private:
    // Stops early, the tree incomplete, when `pace` is given and answers false.
    tagtree_t(int numleafsh, int numleafsv, const std::function<bool(std::size_t)>* pace);

    struct Node {
        int parent;  // -1 for the root
        int value;
        int low;
    };
    static_assert(sizeof(Node) == kNodeBytes);
    int numleafsh_, numleafsv_;
    bool complete_ = false;
    std::vector<Node> nodes_;  // the leaves first (raster order), then each level above
};

}  // namespace j2000
