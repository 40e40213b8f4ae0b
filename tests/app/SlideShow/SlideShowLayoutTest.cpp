#include "app/SlideShow/SlideShowLayout.h"

#include <gtest/gtest.h>

using namespace slideshow;

TEST(SlideShowLayout, ResizeWidensTheColumnWhenThumbnailsOverflow) {
    SlideShowLayout l = InitialLayout({600, 400}, false, 60);
    ResizeLayout(l, {600, false, 15, false});
    EXPECT_EQ(l.thumbBevel.left, 476);
    EXPECT_EQ(l.picPanel.width, 474);
    EXPECT_EQ(l.thumbBox, (Bounds{479, 2, 118, 370}));
    EXPECT_EQ(l.zOrderButton.left, 539);
    EXPECT_EQ(l.rotateLeftButton.left, 392);
    EXPECT_EQ(l.speedBar.Right(), 388);

    ResizeLayout(l, {600, true, 15, false});
    EXPECT_EQ(l.thumbBevel.left, 460);
    EXPECT_EQ(l.picPanel.width, 458);
    EXPECT_EQ(l.thumbBox.width, 134);

    // In full screen the panel's width is left as it was.
    ResizeLayout(l, {900, true, 15, true});
    EXPECT_EQ(l.picPanel.width, 458);
    EXPECT_EQ(l.thumbBevel.left, 760);
}
