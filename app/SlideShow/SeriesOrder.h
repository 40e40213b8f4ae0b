#pragma once
// Reordering a series as a sequence of pairwise exchanges. The slideshow applies each
// exchange to its file names, pictures and thumbnails together, so the three never part;
// the tests apply the same sequences to plain lists.

#include <utility>
#include <vector>

namespace slideshow {

using Exchange = std::pair<int, int>;
using Exchanges = std::vector<Exchange>;

// Moves the picture at from to to; those between move one place toward from, keeping
// their order. Nothing for equal or out-of-range indices.
Exchanges MoveExchanges(int from, int to, int count);
// Reverses the whole series; an odd count keeps its middle picture in place.
Exchanges ReverseExchanges(int count);
// Turns the series cyclically so that the picture at current comes first.
Exchanges MakeFirstExchanges(int current, int count);

// Where "move up" and "move down" take the current picture: past either end they wrap,
// so the first picture moved up becomes the last (the others move up one).
int MoveUpTarget(int current, int count);
int MoveDownTarget(int current, int count);
// The current index after removing the current picture from a series of countBefore.
int IndexAfterRemoval(int current, int countBefore);
// The current index after a reversal.
int IndexAfterReverse(int current, int count);

template <typename List>
void ApplyExchanges(List& list, const Exchanges& exchanges) {
    for (const auto& [a, b] : exchanges) {
        std::swap(list[a], list[b]);
    }
}

}  // namespace slideshow
