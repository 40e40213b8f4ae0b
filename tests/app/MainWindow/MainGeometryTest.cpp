#include "app/MainWindow/MainGeometry.h"

#include <gtest/gtest.h>

#include <climits>

#include <array>

using namespace mainwin;

namespace {

// A 1024 x 738 work area, as a 768-pixel screen with a 30-pixel panel at the bottom.
const QRect kWorkArea(0, 0, 1024, 738);

std::array<int, 4> Ltwh(const StoredWindow& w) {
    return {w.left, w.top, w.width, w.height};
}

TEST(StoredWindow, ClampsFollowTheHistoricalOrder) {
    const struct {
        const char* what;
        StoredWindow stored;
        StoredWindow expected;
    } cases[] = {
        {"inside stays", {100, 50, 700, 500}, {100, 50, 700, 500}},
        {"top at the bottom coordinate", {100, 738, 700, 500}, {100, 0, 700, 500}},
        {"top 3 below the bottom", {100, 741, 700, 500}, {100, -3, 700, 500}},
        {"top 10 below the bottom", {100, 748, 700, 500}, {100, 0, 700, 500}},
        {"top -4 is tolerated", {-4, -4, 700, 500}, {-4, -4, 700, 500}},
        {"left and top -5 become 0", {-5, -5, 700, 500}, {0, 0, 700, 500}},
        {"too large shrinks", {0, 0, 1300, 900}, {0, 0, 1024, 738}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Ltwh(ClampStoredWindow(c.stored, kWorkArea)), Ltwh(c.expected)) << c.what;
    }
}

TEST(StoredWindow, OnlyWindowsOutOfReachAreBroughtBack) {
    const std::vector<QRect> one{kWorkArea};
    const std::vector<QRect> two{kWorkArea, QRect(1024, 0, 1280, 1024)};
    const struct {
        StoredWindow stored;
        const std::vector<QRect>& areas;
        StoredWindow expected;
    } cases[] = {
        {{-300, -3, 700, 500}, one, {-300, -3, 700, 500}},    // partly visible
        {{1500, 200, 700, 500}, two, {1500, 200, 700, 500}},  // on the second screen
        {{5000, 3000, 700, 500}, one, {324, 238, 700, 500}},
        {{1020, 100, 700, 500}, one, {324, 100, 700, 500}},  // a 4-pixel sliver
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Ltwh(BringOnScreen(c.stored, c.areas)), Ltwh(c.expected)) << c.stored.left;
    }
}

TEST(StoredWindow, ExtremeValuesAreLimitedBeforeAnyRule) {
    const QRect screens(0, 0, 1024, 768);
    const StoredWindow extreme{INT_MAX, INT_MIN, INT_MAX, INT_MIN};
    EXPECT_EQ(Ltwh(LimitToScreens(extreme, screens)), Ltwh({2048, -768, 2048, -768}));
    EXPECT_EQ(Ltwh(LimitToScreens({INT_MIN, INT_MAX, INT_MIN, INT_MAX}, screens)),
              Ltwh({-1024, 1536, -1024, 1536}));
    // Within reach of the screens nothing changes.
    EXPECT_EQ(Ltwh(LimitToScreens({-300, 700, 1900, 20}, screens)), Ltwh({-300, 700, 1900, 20}));
    EXPECT_EQ(LimitStoredSize(INT_MIN, 1024), -1024);
    EXPECT_EQ(LimitStoredSize(300, 1024), 300);
}

TEST(StoredSplitters, OutOfRangeValuesFallBack) {
    // Tree: between half (150) and two thirds (200) of a 300-high column.
    for (const auto& [stored, expected] : {std::pair{0, 150}, {151, 151}, {200, 200}, {201, 150}}) {
        EXPECT_EQ(TreeHeightForStored(stored, 300), expected) << stored;
    }
    // Left column: 200 to 1000 - 396 (four 89-pixel buttons + 40); 0 takes all it may.
    for (const auto& [stored, expected] :
         {std::pair{0, 604}, {150, 200}, {201, 201}, {604, 604}, {605, 200}}) {
        EXPECT_EQ(LeftWidthForStored(stored, 1000, 396), expected) << stored;
    }
    // File list: 195 and up, leaving 198 (two buttons + 20); 0 is half the panel.
    for (const auto& [stored, expected] :
         {std::pair{0, 398}, {100, 195}, {196, 196}, {601, 601}, {602, 195}}) {
        EXPECT_EQ(FilesWidthForStored(stored, 800, 198, 4), expected) << stored;
    }
}

TEST(ProportionalResize, ScalesWithinTheLimits) {
    EXPECT_FALSE(ProportionalLeftWidth(800, 0, 300, 396));  // no snapshot yet
    EXPECT_FALSE(ProportionalTreeHeight(400, 0, 200));
    EXPECT_FALSE(ProportionalFilesWidth(500, 400, 0, 198, 300));

    EXPECT_EQ(ProportionalLeftWidth(700, 1000, 250, 396), 200);    // not below 200
    EXPECT_EQ(ProportionalLeftWidth(800, 1000, 625, 396), 400);    // reserve, then half
    EXPECT_EQ(ProportionalLeftWidth(2000, 1000, 600, 396), 1000);  // at most half

    EXPECT_EQ(ProportionalTreeHeight(400, 300, 100), 200);  // at least half
    EXPECT_EQ(ProportionalTreeHeight(400, 300, 290), 267);  // two thirds, rounded up
    EXPECT_EQ(ClampTreeHeight(267, 400), 266);              // the final clamp truncates

    // 190 / 400 of 410 grows to 195, of 390 shrinks to 185; then the bounds.
    EXPECT_EQ(ProportionalFilesWidth(410, 400, 190, 100, 300), 195);
    EXPECT_EQ(ProportionalFilesWidth(390, 400, 190, 100, 300), 185);
    EXPECT_EQ(ProportionalFilesWidth(200, 400, 190, 198, 300), 198);
    EXPECT_EQ(ProportionalFilesWidth(800, 400, 190, 100, 300), 300);
}

TEST(SplitterLimits, DragsStopAtTheirBounds) {
    for (const auto& [size, accepted] :
         {std::pair{150, false}, {151, true}, {200, true}, {201, false}}) {
        EXPECT_EQ(AcceptTreeHeight(size, 300), accepted) << size;
    }
    for (const auto& [size, accepted] :
         {std::pair{200, false}, {201, true}, {603, true}, {604, false}}) {
        EXPECT_EQ(AcceptLeftWidth(size, 1000, 396), accepted) << size;
    }
    for (const auto& [size, accepted] : {std::pair{196, false}, {197, true}, {602, false}}) {
        EXPECT_EQ(AcceptFilesWidth(size, 800, 198), accepted) << size;
    }
}

TEST(ListColumn, ScrollBarOnlyWhenRowsOverflow) {
    EXPECT_EQ(ListColumnWidth(189, 4, 20, 20, 16), 185);
    EXPECT_EQ(ListColumnWidth(189, 5, 20, 21, 16), 168);
}

TEST(BottomBar, ButtonsKeepTheirGapsFromTheBevelAndTheLists) {
    // The design: bevel at 205, Save 61 wide, Preview 85 wide, lists 189 wide.
    BottomBarInput in;
    in.vert2BevelLeft = 205;
    in.saveWidth = 61;
    in.previewWidth = 85;
    in.filesWidth = in.selectedWidth = in.selectedListWidth = 189;
    in.selectedLeft = 193;
    in.mainRightLeft = 204;
    in.selectAllWidth = in.addWidth = in.deleteWidth = in.clearWidth = 89;
    const BottomBarLayout out = ArrangeBottomBarLayout(in);
    EXPECT_EQ(out.saveLeft, 139);
    EXPECT_EQ(out.previewLeft, 49);
    EXPECT_EQ(out.trackBarWidth, 45);
    EXPECT_EQ(out.filesLabelLeft, 8);
    EXPECT_EQ(out.selectedLabelLeft, 193);
    EXPECT_EQ(out.selectAllLeft, 212);
    EXPECT_EQ(out.addLeft, 307);
    EXPECT_EQ(out.deleteLeft, 401);
    EXPECT_EQ(out.clearLeft, 496);

    // A list narrower than its two buttons: a negative offset, truncated toward zero.
    in.filesWidth = 100;
    EXPECT_EQ(ArrangeBottomBarLayout(in).selectAllLeft, -42 + 210);
}

}  // namespace
