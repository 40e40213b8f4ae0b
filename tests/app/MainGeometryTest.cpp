#include "app/MainGeometry.h"

#include <gtest/gtest.h>

using namespace mainwin;

namespace {

// A 1024 x 738 work area, as a 768-pixel screen with a 30-pixel panel at the bottom.
const QRect kWorkArea(0, 0, 1024, 738);

struct WindowCase {
    const char* what;
    StoredWindow stored;
    StoredWindow expected;
};

class StoredWindowClamp : public ::testing::TestWithParam<WindowCase> {};

TEST_P(StoredWindowClamp, FollowsTheHistoricalOrder) {
    const WindowCase& c = GetParam();
    const StoredWindow got = ClampStoredWindow(c.stored, kWorkArea);
    EXPECT_EQ(got.left, c.expected.left) << c.what;
    EXPECT_EQ(got.top, c.expected.top) << c.what;
    EXPECT_EQ(got.width, c.expected.width) << c.what;
    EXPECT_EQ(got.height, c.expected.height) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StoredWindowClamp,
    ::testing::Values(
        WindowCase{"inside stays", {100, 50, 700, 500}, {100, 50, 700, 500}},
        WindowCase{"top at the bottom coordinate", {100, 738, 700, 500}, {100, 0, 700, 500}},
        WindowCase{"top 3 below the bottom", {100, 741, 700, 500}, {100, -3, 700, 500}},
        WindowCase{"top 10 below the bottom", {100, 748, 700, 500}, {100, 0, 700, 500}},
        WindowCase{"top just above the bottom stays", {100, 737, 700, 500}, {100, 737, 700, 500}},
        WindowCase{"top -4 is tolerated", {100, -4, 700, 500}, {100, -4, 700, 500}},
        WindowCase{"top -5 becomes 0", {100, -5, 700, 500}, {100, 0, 700, 500}},
        WindowCase{"left -4 is tolerated", {-4, 10, 700, 500}, {-4, 10, 700, 500}},
        WindowCase{"left -5 becomes 0", {-5, 10, 700, 500}, {0, 10, 700, 500}},
        WindowCase{"too wide shrinks to the right", {0, 0, 1300, 500}, {0, 0, 1024, 500}},
        WindowCase{"too high shrinks to the bottom", {0, 0, 700, 900}, {0, 0, 700, 738}}));

TEST(BringOnScreen, ReachableWindowsStay) {
    const std::vector<QRect> areas{kWorkArea};
    const StoredWindow partly{-300, -3, 700, 500};
    const StoredWindow got = BringOnScreen(partly, areas);
    EXPECT_EQ(got.left, -300);
    EXPECT_EQ(got.top, -3);
}

TEST(BringOnScreen, AWindowBeyondEveryScreenComesBack) {
    const std::vector<QRect> areas{kWorkArea};
    const StoredWindow far{5000, 3000, 700, 500};
    const StoredWindow got = BringOnScreen(far, areas);
    EXPECT_EQ(got.left, 1024 - 700);
    EXPECT_EQ(got.top, 738 - 500);
    EXPECT_EQ(got.width, 700);
    EXPECT_EQ(got.height, 500);
}

TEST(BringOnScreen, AWindowOnASecondScreenStays) {
    const std::vector<QRect> areas{kWorkArea, QRect(1024, 0, 1280, 1024)};
    const StoredWindow second{1500, 200, 700, 500};
    const StoredWindow got = BringOnScreen(second, areas);
    EXPECT_EQ(got.left, 1500);
    EXPECT_EQ(got.top, 200);
}

TEST(BringOnScreen, OnlyASliverVisibleCountsAsOffScreen) {
    const std::vector<QRect> areas{kWorkArea};
    const StoredWindow sliver{1020, 100, 700, 500};  // 4 pixels visible
    EXPECT_EQ(BringOnScreen(sliver, areas).left, 1024 - 700);
}

struct StoredSplitCase {
    int stored;
    int expected;
};

TEST(StoredSplitters, TreeHeightStaysBetweenHalfAndTwoThirds) {
    const int leftHeight = 300;  // half 150, two thirds 200
    const StoredSplitCase cases[] = {
        {0, 150}, {150, 150}, {151, 151}, {200, 200}, {201, 150}, {20, 150},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TreeHeightForStored(c.stored, leftHeight), c.expected) << c.stored;
    }
}

TEST(StoredSplitters, LeftColumnFallsBackTo200) {
    const int splitWidth = 1000;
    const int reserve = 396;  // four 89-pixel buttons + 40
    const StoredSplitCase cases[] = {
        {0, 604},   {150, 200}, {200, 200},
        {201, 201}, {604, 604}, {605, 200},  // 605 - 1 reaches splitWidth - reserve
        {900, 200},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LeftWidthForStored(c.stored, splitWidth, reserve), c.expected) << c.stored;
    }
}

TEST(StoredSplitters, FileListFallsBackTo195) {
    const int listWidth = 800;
    const int reserve = 198;  // two 89-pixel buttons + 20
    const StoredSplitCase cases[] = {
        {0, 398}, {100, 195}, {195, 195}, {196, 196}, {601, 601}, {602, 195},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FilesWidthForStored(c.stored, listWidth, reserve, 4), c.expected) << c.stored;
    }
}

TEST(ProportionalResize, NoSnapshotMeansNoChange) {
    EXPECT_FALSE(ProportionalLeftWidth(800, 0, 300, 396));
    EXPECT_FALSE(ProportionalLeftWidth(800, 600, 0, 396));
    EXPECT_FALSE(ProportionalTreeHeight(400, 0, 200));
    EXPECT_FALSE(ProportionalFilesWidth(500, 400, 0, 198, 300));
}

TEST(ProportionalResize, LeftColumnScalesWithinItsLimits) {
    // 1200 wide: 300 / 1000 * 1200 = 360, under half and leaving the reserve.
    EXPECT_EQ(ProportionalLeftWidth(1200, 1000, 300, 396), 360);
    // Shrinking below 200 stops at 200.
    EXPECT_EQ(ProportionalLeftWidth(700, 1000, 250, 396), 200);
    // The reserve wins over the scaled width: 800 - 396 = 404 < 500.
    EXPECT_EQ(ProportionalLeftWidth(800, 1000, 625, 396), 400);  // then half of 800
    // More than half is cut to half.
    EXPECT_EQ(ProportionalLeftWidth(2000, 1000, 600, 396), 1000);
}

TEST(ProportionalResize, TreeHeightKeepsItsShare) {
    EXPECT_EQ(ProportionalTreeHeight(400, 300, 180), 240);  // 180/300 of 400
    EXPECT_EQ(ProportionalTreeHeight(400, 300, 100), 200);  // below half
    EXPECT_EQ(ProportionalTreeHeight(400, 300, 290), 267);  // two thirds, rounded up
    // The final clamp then takes the integer part of two thirds.
    EXPECT_EQ(ClampTreeHeight(267, 400), 266);
    EXPECT_EQ(ClampTreeHeight(100, 400), 200);
    EXPECT_EQ(ClampTreeHeight(250, 400), 250);
}

TEST(ProportionalResize, FilesWidthRoundsByDirection) {
    // Grew: 190 / 400 * 410 = 194.75 -> ceil(194.55) = 195.
    EXPECT_EQ(ProportionalFilesWidth(410, 400, 190, 100, 300), 195);
    // Shrank: 190 / 400 * 390 = 185.25 -> ceil(184.75) = 185.
    EXPECT_EQ(ProportionalFilesWidth(390, 400, 190, 100, 300), 185);
    // Bounds.
    EXPECT_EQ(ProportionalFilesWidth(200, 400, 190, 198, 300), 198);
    EXPECT_EQ(ProportionalFilesWidth(800, 400, 190, 100, 300), 300);
}

TEST(SplitterLimits, DragsStopAtTheirBounds) {
    EXPECT_FALSE(AcceptTreeHeight(150, 300));
    EXPECT_TRUE(AcceptTreeHeight(151, 300));
    EXPECT_TRUE(AcceptTreeHeight(200, 300));
    EXPECT_FALSE(AcceptTreeHeight(201, 300));

    EXPECT_FALSE(AcceptLeftWidth(200, 1000, 396));
    EXPECT_TRUE(AcceptLeftWidth(201, 1000, 396));
    EXPECT_TRUE(AcceptLeftWidth(603, 1000, 396));
    EXPECT_FALSE(AcceptLeftWidth(604, 1000, 396));

    EXPECT_FALSE(AcceptFilesWidth(196, 800, 198));
    EXPECT_TRUE(AcceptFilesWidth(197, 800, 198));
    EXPECT_FALSE(AcceptFilesWidth(602, 800, 198));
}

TEST(ListColumn, ScrollBarOnlyWhenRowsOverflow) {
    EXPECT_EQ(ListColumnWidth(189, 4, 20, 20, 16), 185);
    EXPECT_EQ(ListColumnWidth(189, 5, 20, 21, 16), 168);
    EXPECT_EQ(ListColumnWidth(189, 5, 20, 0, 16), 184);
}

TEST(BottomBar, ButtonsKeepTheirGapsFromTheBevelAndTheLists) {
    // The design: bevel at 205, Save 61 wide, Preview 85 wide, lists 189 and 393 wide.
    BottomBarInput in;
    in.vert2BevelLeft = 205;
    in.saveWidth = 61;
    in.previewWidth = 85;
    in.mainListLeft = 0;
    in.filesLeft = 0;
    in.filesWidth = 189;
    in.selectedLeft = 193;
    in.selectedWidth = 189;
    in.selectedListWidth = 189;
    in.mainRightLeft = 204;
    in.selectAllWidth = in.addWidth = in.deleteWidth = in.clearWidth = 89;
    const BottomBarLayout out = ArrangeBottomBarLayout(in);
    EXPECT_EQ(out.saveLeft, 139);
    EXPECT_EQ(out.previewLeft, 49);
    EXPECT_EQ(out.trackBarWidth, 45);
    EXPECT_EQ(out.filesLabelLeft, 8);
    EXPECT_EQ(out.selectedLabelLeft, 193);
    EXPECT_EQ(out.selectAllLeft, (189 - 89 - 89 - 6) / 2 + 210);
    EXPECT_EQ(out.addLeft, out.selectAllLeft + 95);
    EXPECT_EQ(out.deleteLeft, (189 - 89 - 89 - 6) / 2 + 204 + 193 + 2);
    EXPECT_EQ(out.clearLeft, out.deleteLeft + 95);
}

TEST(BottomBar, NarrowListsPutButtonsLeftOfTheListStart) {
    // A list narrower than its two buttons gives a negative offset, truncated toward zero.
    BottomBarInput in;
    in.vert2BevelLeft = 200;
    in.filesWidth = 100;
    in.selectAllWidth = in.addWidth = 89;
    const BottomBarLayout out = ArrangeBottomBarLayout(in);
    EXPECT_EQ(out.selectAllLeft, (100 - 184) / 2 + 205);  // -42 + 205
}

}  // namespace
