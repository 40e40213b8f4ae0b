#include "app/SlideShow/SlideGeometry.h"

#include <gtest/gtest.h>

using namespace slideshow;

TEST(SlideGeometry, FitKeepsAspectNeverEnlargesAndCentres) {
    struct Case {
        QRect client;
        QSize picture;
        int scale;
        QRect expected;
    };
    const Case cases[] = {
        // 160 x 120 at 1/8 is 1280 x 960: wider than the panel, fitted to its width.
        {{0, 0, 1000, 800}, {160, 120}, 8, {0, 25, 1000, 750}},
        // Taller than the panel: fitted to its height.
        {{0, 0, 1000, 800}, {120, 160}, 8, {200, 0, 600, 800}},
        // Smaller than the panel: its own size, centred, the odd pixel right and down.
        {{0, 0, 101, 51}, {40, 20}, 1, {30, 15, 40, 20}},
        {{10, 20, 100, 100}, {50, 50}, 1, {35, 45, 50, 50}},
        // A picture one pixel wide and a very wide one stay visible.
        {{0, 0, 800, 600}, {1, 4000}, 1, {399, 0, 1, 600}},
        {{0, 0, 800, 600}, {60000, 1}, 1, {0, 299, 800, 1}},
        // Nothing to show.
        {{0, 0, 800, 600}, {0, 100}, 1, {}},
        {{0, 0, 0, 600}, {100, 100}, 1, {}},
        // Products of such sizes pass the int range.
        {{0, 0, 5000, 3000}, {65000, 65000}, 8, {1000, 0, 3000, 3000}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FitImageRect(c.client, c.picture, c.scale), c.expected) << "case " << &c - cases;
    }
}

TEST(SlideGeometry, NumberBoxTextsAndCorner) {
    EXPECT_EQ(StatMeasureText(9), "88 / ");
    EXPECT_EQ(StatMeasureText(10), "8888 / ");
    EXPECT_EQ(StatMeasureText(100), "888888 / ");
    EXPECT_EQ(StatText(2, 10), "3 / 10");
    EXPECT_EQ(StatBoxRect(QRect(0, 0, 400, 300), {30, 14}), QRect(362, 282, 38, 18));
}

TEST(SlideGeometry, InsertionPositionRoundsAboveOneHalfOnly) {
    struct Case {
        int y, scroll, height, count, expected;
    };
    const Case cases[] = {
        {110, 0, 88, 5, 1},  // 1.25
        {132, 0, 88, 5, 1},  // exactly 1.5 goes down
        {133, 0, 88, 5, 2},  // 1.51
        {-30, 0, 88, 5, 0}, {-30, 100, 88, 5, 1},
        {44, 88, 88, 5, 1}, {10000, 0, 88, 5, 5},  // at most count
        {50, 0, 0, 5, 0},                          // no thumbnail height
    };
    for (const Case& c : cases) {
        EXPECT_EQ(InsPos(c.y, c.scroll, c.height, c.count), c.expected) << c.y << "+" << c.scroll;
    }
    EXPECT_EQ(CurPos(175, 0, 88), 1);
    EXPECT_EQ(CurPos(0, 176, 88), 2);
    EXPECT_EQ(CurPos(10, 0, 0), 0);
}

TEST(SlideGeometry, MarksFrameTheGapThePictureWillFill) {
    // Dragging picture 0 of 5 to gap 2: the marks sit between thumbnails 2 and 3.
    EXPECT_EQ(MarkGap(2, 0, 5), 3);
    EXPECT_TRUE(ShowsUpperMark(2, 5));
    EXPECT_TRUE(ShowsLowerMark(2, 0, 5));
    EXPECT_EQ(MarkGap(3, 3, 5), 3);  // at its own place the marks frame the picture itself
    EXPECT_FALSE(ShowsUpperMark(0, 5));
    // No lower mark where the picture becomes the last.
    EXPECT_FALSE(ShowsLowerMark(4, 1, 5));
    EXPECT_FALSE(ShowsLowerMark(5, 1, 5));
    EXPECT_TRUE(ShowsLowerMark(4, 4, 5));
    // Below the last thumbnail the drop clamps to the last index.
    EXPECT_EQ(DropTarget(2, 5), 2);
    EXPECT_EQ(DropTarget(5, 5), 4);
    EXPECT_EQ(DropTarget(0, 0), 0);
}

TEST(SlideGeometry, DragStepsAndWrap) {
    struct Case {
        int dx, count, width, steps;
    };
    const Case cases[] = {
        {30, 10, 600, 0},   {50, 10, 600, 1}, {300, 10, 600, 6},
        {-300, 10, 600, 6}, {5, 10, 0, 60},  // a picture one pixel wide: right - left is 0
        {5, 0, 600, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DragSteps(c.dx, c.count, c.width), c.steps) << c.dx << " over " << c.width;
    }
    EXPECT_EQ(WrapIndex(8 + 5, 10), 3);
    EXPECT_EQ(WrapIndex(2 - 5, 10), 7);
    EXPECT_EQ(WrapIndex(-23, 10), 7);
    EXPECT_EQ(WrapIndex(0, 0), -1);
}

TEST(SlideGeometry, ThumbnailPreviewAndErrorPictureSizes) {
    EXPECT_EQ(ThumbCellSize({120, 160}), QSize(112, 149));
    EXPECT_EQ(ThumbCellSize({60000, 1}), QSize(112, 1));
    EXPECT_EQ(ThumbCellSize({0, 0}), QSize(112, 1));
    EXPECT_EQ(OrientPreviewRect({160, 120}), QRect(0, 19, 153, 115));
    EXPECT_EQ(OrientPreviewRect({1, 5000}), QRect(76, 0, 1, 153));
    EXPECT_EQ(ErrorPictureRect({640, 480}), QRect(4, 0, 500, 375));
    EXPECT_EQ(ErrorPictureRect({480, 640}), QRect(113, 0, 281, 375));
}
