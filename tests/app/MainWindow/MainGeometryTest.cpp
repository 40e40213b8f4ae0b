#include "app/MainWindow/MainGeometry.h"

#include "app/SlideShow/SlideShowPlacement.h"

#include <gtest/gtest.h>

#include <climits>

#include <array>
#include <tuple>

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

// Each geometry key of both windows alone out of range (tiny, negative, huge) on a
// 1024 x 738 work area. The main window stores its frame; the preview its size without
// the frame (here 4 pixels a side and a 24-pixel title) and its frame's corner.
TEST(StoredWindow, EveryStoredRectangleLandsOnTheWorkArea) {
    enum Key { kLeft, kTop, kWidth, kHeight };
    const QMargins frame(4, 24, 4, 4);
    const auto placed = [&](bool preview, std::array<int, 4> stored) {
        if (!preview) {
            return Ltwh(
                PlaceStoredWindow({stored[0], stored[1], stored[2], stored[3]}, {kWorkArea}));
        }
        slideshow::WindowPlacement p;
        std::tie(p.left, p.top, p.width, p.height) =
            std::tuple(stored[0], stored[1], stored[2], stored[3]);
        p = slideshow::FitPlacement(p, {kWorkArea}, frame);
        return std::array<int, 4>{p.left, p.top, p.width + 8, p.height + 28};
    };
    const struct {
        bool preview;
        Key key;
        int value;
        std::array<int, 4> frame;  // left, top, outer width, outer height
    } cases[] = {
        // Main window from 100, 50, 700 x 500; at least 610 x 445.
        {false, kLeft, 1, {1, 50, 700, 500}},
        {false, kLeft, INT_MIN, {0, 50, 700, 500}},
        {false, kLeft, INT_MAX, {324, 50, 700, 500}},
        {false, kTop, 1, {100, 1, 700, 500}},
        {false, kTop, INT_MIN, {100, 0, 700, 500}},
        {false, kTop, INT_MAX, {100, 0, 700, 500}},
        {false, kWidth, 1, {100, 50, 610, 500}},
        {false, kWidth, INT_MIN, {100, 50, 610, 500}},
        {false, kWidth, INT_MAX, {0, 50, 1024, 500}},
        {false, kHeight, 1, {100, 50, 700, 445}},
        {false, kHeight, INT_MIN, {100, 50, 700, 445}},
        {false, kHeight, INT_MAX, {100, 0, 700, 738}},
        // The preview from 100, 50, 600 x 450 (608 x 478 with its frame); at least 540 x 406.
        {true, kLeft, 1, {1, 50, 608, 478}},
        {true, kLeft, INT_MIN, {0, 50, 608, 478}},
        {true, kLeft, INT_MAX, {416, 50, 608, 478}},
        {true, kTop, 1, {100, 1, 608, 478}},
        {true, kTop, INT_MIN, {100, 0, 608, 478}},
        {true, kTop, INT_MAX, {100, 260, 608, 478}},
        {true, kWidth, 1, {100, 50, 548, 478}},
        {true, kWidth, INT_MIN, {100, 50, 548, 478}},
        {true, kWidth, INT_MAX, {0, 50, 1024, 478}},
        {true, kHeight, 1, {100, 50, 608, 434}},
        {true, kHeight, INT_MIN, {100, 50, 608, 434}},
        {true, kHeight, INT_MAX, {100, 0, 608, 738}},
    };
    for (const auto& c : cases) {
        std::array<int, 4> stored = c.preview ? std::array<int, 4>{100, 50, 600, 450}
                                              : std::array<int, 4>{100, 50, 700, 500};
        stored[c.key] = c.value;
        const std::array<int, 4> got = placed(c.preview, stored);
        EXPECT_EQ(got, c.frame) << (c.preview ? "preview" : "main") << " key " << c.key << " = "
                                << c.value;
        // Whatever the rule, the whole frame is on the work area.
        EXPECT_TRUE(kWorkArea.contains(QRect(got[0], got[1], got[2], got[3])))
            << c.key << " = " << c.value;
    }
    // A frame stored too small and far right grows before it is placed, not after.
    EXPECT_EQ(Ltwh(PlaceStoredWindow({INT_MAX, 0, 0, 600}, {kWorkArea})),
              (std::array<int, 4>{414, 0, 610, 600}));
    // With a second screen, the frame stays on the screen holding most of it; one on no
    // screen goes to the first.
    const std::vector<QRect> two{kWorkArea, QRect(1024, 0, 1280, 1024)};
    EXPECT_EQ(Ltwh(PlaceStoredWindow({1500, 200, 700, 500}, two)),
              (std::array<int, 4>{1500, 200, 700, 500}));
    EXPECT_EQ(Ltwh(PlaceStoredWindow({2250, 100, 700, 500}, two)),
              (std::array<int, 4>{1604, 100, 700, 500}));
    EXPECT_EQ(Ltwh(PlaceStoredWindow({5000, 3000, 700, 500}, two)),
              (std::array<int, 4>{324, 0, 700, 500}));
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

// Stored values out of their ranges fall back; drags stop at the same bounds.
TEST(StoredSplitters, OutOfRangeValuesFallBackAndDragsStopAtTheirBounds) {
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

// The lists' column leaves room for a scroll bar only when the rows overflow.
TEST(BottomBar, ButtonsKeepTheirGapsFromTheBevelAndTheListsTheirColumns) {
    EXPECT_EQ(ListColumnWidth(189, 4, 20, 20, 16), 185);
    EXPECT_EQ(ListColumnWidth(189, 5, 20, 21, 16), 168);
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
    // Save, Preview, the track bar's width, both labels, Select all, Add, Delete, Clear.
    EXPECT_EQ((std::array{out.saveLeft, out.previewLeft, out.trackBarWidth, out.filesLabelLeft,
                          out.selectedLabelLeft, out.selectAllLeft, out.addLeft, out.deleteLeft,
                          out.clearLeft}),
              (std::array{139, 49, 45, 8, 193, 212, 307, 401, 496}));

    // A list narrower than its two buttons: a negative offset, truncated toward zero.
    in.filesWidth = 100;
    EXPECT_EQ(ArrangeBottomBarLayout(in).selectAllLeft, -42 + 210);
}

}  // namespace
