#include "app/SlideShow/SeriesOrder.h"

namespace slideshow {

namespace {

bool InRange(int index, int count) {
    return index >= 0 && index < count;
}

}  // namespace

Exchanges MoveExchanges(int from, int to, int count) {
    Exchanges steps;
    if (from == to || !InRange(from, count) || !InRange(to, count)) {
        return steps;
    }
    // One exchange puts the moved picture at its place; the picture it displaced then
    // bubbles back toward from, which restores the order of those in between.
    steps.emplace_back(from, to);
    if (from < to - 1) {
        for (int i = from; i <= to - 2; ++i) {
            steps.emplace_back(i, i + 1);
        }
    } else if (from > to + 1) {
        for (int i = from; i >= to + 2; --i) {
            steps.emplace_back(i - 1, i);
        }
    }
    return steps;
}

Exchanges ReverseExchanges(int count) {
    Exchanges steps;
    for (int i = 0; i < count / 2; ++i) {
        steps.emplace_back(i, count - 1 - i);
    }
    return steps;
}

Exchanges MakeFirstExchanges(int current, int count) {
    Exchanges steps;
    if (current < 1 || current >= count) {
        return steps;
    }
    const Exchanges oneTurn = MoveExchanges(0, count - 1, count);
    for (int i = 0; i < current; ++i) {
        steps.insert(steps.end(), oneTurn.begin(), oneTurn.end());
    }
    return steps;
}

int MoveUpTarget(int current, int count) {
    return current <= 0 ? count - 1 : current - 1;
}

int MoveDownTarget(int current, int count) {
    return current >= count - 1 ? 0 : current + 1;
}

int IndexAfterRemoval(int current, int countBefore) {
    const int countAfter = countBefore - 1;
    if (countAfter <= 0) {
        return -1;
    }
    return current >= countAfter ? countAfter - 1 : current;
}

int IndexAfterReverse(int current, int count) {
    return count - 1 - current;
}

}  // namespace slideshow
