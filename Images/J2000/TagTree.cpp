#include "Images/J2000/TagTree.h"

#include <algorithm>
#include <climits>
#include <utility>

namespace j2000 {

namespace {
constexpr int kUnknown = INT_MAX;
}

tagtree_t::tagtree_t(int numleafsh, int numleafsv) : tagtree_t(numleafsh, numleafsv, nullptr) {}

std::unique_ptr<tagtree_t> tagtree_t::make(int numleafsh, int numleafsv,
                                           const std::function<bool(std::size_t)>& pace) {
    std::unique_ptr<tagtree_t> tree(new tagtree_t(numleafsh, numleafsv, &pace));
    return tree->complete_ ? std::move(tree) : nullptr;
}

tagtree_t::tagtree_t(int numleafsh, int numleafsv, const std::function<bool(std::size_t)>* pace)
    : numleafsh_(numleafsh), numleafsv_(numleafsv) {
    // Level sizes, leaves first, each level halving (rounding up) until one node is left.
    std::vector<std::pair<int, int>> levels{{numleafsh, numleafsv}};
    while (levels.back().first * levels.back().second > 1) {
        const auto [w, h] = levels.back();
        levels.push_back({(w + 1) / 2, (h + 1) / 2});
    }
    size_t total = 0;
    for (const auto& [w, h] : levels)
        total += static_cast<size_t>(w) * h;
    nodes_.reserve(total);
    int base = 0;
    for (size_t l = 0; l < levels.size(); ++l) {
        const auto [w, h] = levels[l];
        const int next = base + w * h;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                if (pace && nodes_.size() % kPacedNodes == 0 &&
                    !(*pace)(std::min(kPacedNodes, total - nodes_.size())))
                    return;
                const int parent =
                    l + 1 < levels.size() ? next + (y / 2) * levels[l + 1].first + x / 2 : -1;
                nodes_.push_back({parent, kUnknown, 0});
            }
        base = next;
    }
    complete_ = true;
}

void tagtree_t::reset() {
    for (Node& n : nodes_) {
        n.value = kUnknown;
        n.low = 0;
    }
}

void tagtree_t::setvalue(int leafno, int value) {
    for (int n = leafno; n >= 0 && nodes_[static_cast<size_t>(n)].value > value;
         n = nodes_[static_cast<size_t>(n)].parent)
        nodes_[static_cast<size_t>(n)].value = value;
}

int tagtree_t::decode(int leafno, int threshold, bitstream_t& in) {
    int path[64];
    int depth = 0;
    for (int n = leafno; n >= 0; n = nodes_[static_cast<size_t>(n)].parent)
        path[depth++] = n;
    int low = 0;
    while (depth > 0) {
        Node& node = nodes_[static_cast<size_t>(path[--depth])];
        if (low > node.low)
            node.low = low;
        else
            low = node.low;
        while (low < threshold && low < node.value) {
            const int bit = in.getbit();
            if (bit < 0)
                return -1;
            if (bit)
                node.value = low;
            else
                ++low;
        }
        node.low = low;
    }
    return nodes_[static_cast<size_t>(leafno)].value < threshold ? 1 : 0;
}

}  // namespace j2000
