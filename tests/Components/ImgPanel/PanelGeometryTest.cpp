// The panel's geometry: fitting, fixed scale, centring, scroll clamps and repaint strips.

#include <gtest/gtest.h>

#include "Components/ImgPanel/PanelGeometry.h"

namespace {

TEST(PanelGeometry, CalcFrameRectFitsFixesAndCuts) {
    const struct {
        const char* what;
        FrameGeometry geometry;
        int pictureWidth, pictureHeight;
        double coefficient;
        QSize shown;
    } cases[] = {
        {"wide picture fitted", {100, 100, 0, 2, -1.0}, 300, 200, 0.32, {96, 64}},
        {"small picture at full size", {100, 100, 0, 2, -1.0}, 50, 40, 1.0, {50, 40}},
        {"exactly as wide as the space", {100, 100, 0, 2, -1.0}, 96, 40, 1.0, {96, 40}},
        {"tall picture", {100, 100, 0, 2, -1.0}, 200, 400, 0.24, {48, 96}},
        {"margin", {100, 100, 10, 2, -1.0}, 300, 200, 76.0 / 300, {76, 50}},
        {"no frame", {100, 100, 0, 0, -1.0}, 300, 200, 100.0 / 300, {100, 66}},
        {"fixed scale cut to the space", {100, 100, 0, 2, 2.0}, 300, 200, 2.0, {96, 96}},
        {"fixed scale smaller than the space", {100, 100, 0, 2, 0.1}, 300, 200, 0.1, {30, 20}},
        {"no picture", {100, 100, 0, 2, -1.0}, 0, 200, 0.0, {0, 0}},
        {"no space left", {6, 100, 2, 2, -1.0}, 300, 200, 1.0, {0, 92}},
        {"margin larger than the panel", {20, 20, 30, 2, -1.0}, 300, 200, 1.0, {0, 0}},
    };
    for (const auto& c : cases) {
        const FrameFit fit = CalcFrameRect(c.geometry, c.pictureWidth, c.pictureHeight);
        EXPECT_DOUBLE_EQ(fit.coefficient, c.coefficient) << c.what;
        EXPECT_EQ(fit.imageSize, c.shown) << c.what;
    }
}

TEST(PanelGeometry, ClientRectIsCentredWithOddPixelsRightAndDown) {
    EXPECT_EQ(CentredClientRect({100, 100}, {96, 64}), QRect(2, 18, 96, 64));
    EXPECT_EQ(CentredClientRect({101, 100}, {50, 41}), QRect(25, 29, 50, 41));
    EXPECT_EQ(CentredClientRect({100, 80}, {0, 10}), QRect(0, 0, 100, 80));
}

TEST(PanelGeometry, ScrollAndDragStayBetweenPictureEdgeAndZero) {
    const struct {
        int offset, delta, client, picture, expected;
    } cases[] = {
        {5, 0, 96, 600, 0},         {-600, 0, 96, 600, -504},  // clamped as they are
        {-3, 0, 96, 50, 0},         {0, -40, 96, 600, -40},    // dragged left: the picture follows
        {-10, 50, 96, 600, 0},                                 // not past the left edge
        {-500, -50, 96, 600, -504},                            // not past the right edge
        {0, 20, 96, 96, 0},                                    // nothing to drag
    };
    for (const auto& c : cases) {
        if (c.delta == 0) {
            EXPECT_EQ(ClampScrollOffset(c.offset, c.client, c.picture), c.expected) << c.offset;
        }
        EXPECT_EQ(DragScrollOffset(c.offset, c.delta, c.client, c.picture), c.expected)
            << c.offset << " + " << c.delta;
    }
}

TEST(PanelGeometry, RepaintStripCoversTheRowsWithAMarginInsideTheClient) {
    const QRect client(2, 18, 96, 64);
    // Fixed scale: rows map one to one, moved by the scroll offset; fitted: proportionally.
    EXPECT_EQ(PictureRowsOnScreen(client, 40, 20, 400, false, -10), QRect(2, 27, 96, 23));
    EXPECT_TRUE(PictureRowsOnScreen(client, 300, 320, 400, false, 0).isEmpty());
    EXPECT_EQ(PictureRowsOnScreen(client, 0, 63, 128, true, 0), QRect(2, 18, 96, 34));
}

}  // namespace
