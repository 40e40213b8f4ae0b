#include "app/SlideShow/SeriesOrder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace slideshow;

namespace {

using Series = std::vector<std::string>;

Series Make(int count) {
    Series s;
    for (int i = 1; i <= count; ++i) {
        s.push_back("P" + std::to_string(i));
    }
    return s;
}

Series Applied(Series s, const Exchanges& steps) {
    ApplyExchanges(s, steps);
    return s;
}

}  // namespace

TEST(SeriesOrder, MoveInBothDirectionsKeepsTheOthersInOrder) {
    struct Case {
        int count, from, to;
        Series expected;
    };
    const Case cases[] = {
        {5, 0, 2, {"P2", "P3", "P1", "P4", "P5"}},  {5, 0, 4, {"P2", "P3", "P4", "P5", "P1"}},
        {5, 4, 0, {"P5", "P1", "P2", "P3", "P4"}},  {5, 3, 1, {"P1", "P4", "P2", "P3", "P5"}},
        {5, 1, 2, {"P1", "P3", "P2", "P4", "P5"}},  // neighbours: one exchange
        {5, 2, 1, {"P1", "P3", "P2", "P4", "P5"}},  {5, 2, 2, {"P1", "P2", "P3", "P4", "P5"}},
        {5, 2, 5, {"P1", "P2", "P3", "P4", "P5"}},  // out of range: nothing
        {5, -1, 2, {"P1", "P2", "P3", "P4", "P5"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Applied(Make(c.count), MoveExchanges(c.from, c.to, c.count)), c.expected)
            << c.from << " -> " << c.to;
    }
}

TEST(SeriesOrder, MoveUpAndDownWrapAroundTheEnds) {
    // [P1, P2, P3], current 0, up: [P2, P3, P1], current 2.
    int to = MoveUpTarget(0, 3);
    EXPECT_EQ(to, 2);
    EXPECT_EQ(Applied(Make(3), MoveExchanges(0, to, 3)), (Series{"P2", "P3", "P1"}));
    // [P1, P2, P3], current 2, down: [P3, P1, P2], current 0.
    to = MoveDownTarget(2, 3);
    EXPECT_EQ(to, 0);
    EXPECT_EQ(Applied(Make(3), MoveExchanges(2, to, 3)), (Series{"P3", "P1", "P2"}));
    EXPECT_EQ(MoveUpTarget(2, 3), 1);
    EXPECT_EQ(MoveDownTarget(1, 3), 2);
}

TEST(SeriesOrder, MakeFirstTurnsCyclically) {
    EXPECT_EQ(Applied(Make(4), MakeFirstExchanges(2, 4)), (Series{"P3", "P4", "P1", "P2"}));
    EXPECT_EQ(Applied(Make(4), MakeFirstExchanges(3, 4)), (Series{"P4", "P1", "P2", "P3"}));
    EXPECT_TRUE(MakeFirstExchanges(0, 4).empty());
    EXPECT_TRUE(MakeFirstExchanges(4, 4).empty());
}

TEST(SeriesOrder, ReverseWithEvenAndOddCounts) {
    EXPECT_EQ(Applied(Make(4), ReverseExchanges(4)), (Series{"P4", "P3", "P2", "P1"}));
    EXPECT_EQ(Applied(Make(5), ReverseExchanges(5)), (Series{"P5", "P4", "P3", "P2", "P1"}));
    EXPECT_EQ(ReverseExchanges(5).size(), 2u);  // the middle picture is never touched
    EXPECT_TRUE(ReverseExchanges(1).empty());
    EXPECT_TRUE(ReverseExchanges(0).empty());
    EXPECT_EQ(IndexAfterReverse(1, 4), 2);
    EXPECT_EQ(IndexAfterReverse(2, 5), 2);
}

TEST(SeriesOrder, RemovalFixesTheCurrentIndex) {
    EXPECT_EQ(IndexAfterRemoval(2, 3), 1);  // the last of three
    EXPECT_EQ(IndexAfterRemoval(0, 3), 0);
    EXPECT_EQ(IndexAfterRemoval(1, 3), 1);
    EXPECT_EQ(IndexAfterRemoval(0, 1), -1);
}
