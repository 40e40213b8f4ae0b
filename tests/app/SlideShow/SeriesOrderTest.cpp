#include "app/SlideShow/SeriesOrder.h"

#include <gtest/gtest.h>

#include <string>

using namespace slideshow;

namespace {

// One character a picture ("12345"), so that an expected order reads at a glance.
std::string Applied(std::string series, const Exchanges& steps) {
    ApplyExchanges(series, steps);
    return series;
}

}  // namespace

TEST(SeriesOrder, MoveInBothDirectionsKeepsTheOthersInOrder) {
    struct Case {
        int from, to;
        const char* expected;
    };
    const Case cases[] = {
        {0, 2, "23145"}, {0, 4, "23451"}, {4, 0, "51234"},
        {3, 1, "14235"}, {1, 2, "13245"},                    // neighbours: one exchange
        {2, 2, "12345"}, {2, 5, "12345"}, {-1, 2, "12345"},  // out of range: nothing
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Applied("12345", MoveExchanges(c.from, c.to, 5)), c.expected)
            << c.from << " -> " << c.to;
    }
}

TEST(SeriesOrder, MoveUpAndDownWrapAroundTheEnds) {
    // Current 0, up: the first becomes the last.
    EXPECT_EQ(MoveUpTarget(0, 3), 2);
    EXPECT_EQ(Applied("123", MoveExchanges(0, 2, 3)), "231");
    // Current 2, down: the last becomes the first.
    EXPECT_EQ(MoveDownTarget(2, 3), 0);
    EXPECT_EQ(Applied("123", MoveExchanges(2, 0, 3)), "312");
    EXPECT_EQ(MoveUpTarget(2, 3), 1);
    EXPECT_EQ(MoveDownTarget(1, 3), 2);
}

TEST(SeriesOrder, MakeFirstTurnsCyclically) {
    EXPECT_EQ(Applied("1234", MakeFirstExchanges(2, 4)), "3412");
    EXPECT_EQ(Applied("1234", MakeFirstExchanges(3, 4)), "4123");
    EXPECT_TRUE(MakeFirstExchanges(0, 4).empty());
    EXPECT_TRUE(MakeFirstExchanges(4, 4).empty());
}

TEST(SeriesOrder, ReverseWithEvenAndOddCounts) {
    EXPECT_EQ(Applied("1234", ReverseExchanges(4)), "4321");
    EXPECT_EQ(Applied("12345", ReverseExchanges(5)), "54321");
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
