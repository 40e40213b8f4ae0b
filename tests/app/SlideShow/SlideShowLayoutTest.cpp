#include "app/SlideShow/SlideShowLayout.h"

#include <gtest/gtest.h>

using namespace slideshow;

TEST(SlideShowLayout, ReducedControlHasTurnButtonsNearTheRightAndAWidePanel) {
    for (int width : {300, 528, 1000}) {
        const SlideShowLayout l = InitialLayout({width, 400}, true, 60);
        EXPECT_EQ(l.rotateLeftButton.left, width - 85) << width;
        EXPECT_EQ(l.fullScreenButton.Right(), width - 5) << width;
        EXPECT_EQ(l.picPanel, (Bounds{2, 2, width - 4, 372})) << width;
        EXPECT_EQ(l.speedBar.left, 113 + 60);
        EXPECT_EQ(l.speedBar.Right(), l.rotateLeftButton.left - 4);
    }
}

TEST(SlideShowLayout, FullControlMakesRoomForTheThumbnailColumn) {
    for (int width : {400, 528, 1200}) {
        const SlideShowLayout l = InitialLayout({width, 400}, false, 60);
        EXPECT_EQ(l.rotateLeftButton.left, width - 203) << width;
        EXPECT_EQ(l.thumbBevel, (Bounds{width - 124, 1, 2, 397})) << width;
        EXPECT_EQ(l.thumbBox, (Bounds{width - 121, 2, 118, 370})) << width;
        EXPECT_EQ(l.picPanel.width, l.thumbBevel.left - 1);
        EXPECT_EQ(l.moveUpButton.left, width - 116);
        EXPECT_EQ(l.moveDownButton.left, width - 88);
        EXPECT_EQ(l.zOrderButton.left, width - 60);
        EXPECT_EQ(l.deleteButton.left, width - 31);
    }
}

TEST(SlideShowLayout, ButtonRowSitsBelowTheBevel) {
    const SlideShowLayout l = InitialLayout({528, 347}, false, 60);
    EXPECT_EQ(l.bottomBevel, (Bounds{1, 321, 525, 2}));
    for (const Bounds& b : {l.prevButton, l.playButton, l.nextButton, l.rotateLeftButton,
                            l.moveUpButton, l.deleteButton, l.speedBar}) {
        EXPECT_EQ(b.top, 324);
        EXPECT_EQ(b.height, 20);
    }
    EXPECT_EQ(l.playButton, (Bounds{33, 324, 44, 20}));
    EXPECT_EQ(l.nextButton.left, 81);
    EXPECT_EQ(l.picPanel.height, 319);
}

TEST(SlideShowLayout, AnchorsStretchOrFollowTheFarEdge) {
    const QSize from{185, 41};
    const QSize to{528, 347};
    const Bounds button{100, 18, 24, 20};
    EXPECT_EQ(AnchoredBounds(button, from, to, akRight | akBottom), (Bounds{443, 324, 24, 20}));
    EXPECT_EQ(AnchoredBounds(button, from, to, akLeft | akBottom), (Bounds{100, 324, 24, 20}));
    EXPECT_EQ(AnchoredBounds(button, from, to, akAll), (Bounds{100, 18, 367, 326}));
    // A width made negative by a small parent comes back when it grows.
    const Bounds squeezed{173, 18, -200, 20};
    EXPECT_EQ(AnchoredBounds(squeezed, from, to, akLeft | akRight).width, 143);
}

TEST(SlideShowLayout, AnchoringASmallControlGivesTheLayoutOfTheLargeOne) {
    for (bool reduced : {false, true}) {
        const SlideShowLayout small = InitialLayout({185, 41}, reduced, 60);
        const SlideShowLayout large = InitialLayout({640, 480}, reduced, 60);
        const QSize from{185, 41};
        const QSize to{640, 480};
        using A = SlideShowAnchors;
        EXPECT_EQ(AnchoredBounds(small.speedBar, from, to, A::speedBar), large.speedBar);
        EXPECT_EQ(AnchoredBounds(small.picPanel, from, to, A::picPanel), large.picPanel);
        EXPECT_EQ(AnchoredBounds(small.rotateLeftButton, from, to, A::rightButton),
                  large.rotateLeftButton);
        EXPECT_EQ(AnchoredBounds(small.bottomBevel, from, to, A::bottomBevel), large.bottomBevel);
        if (!reduced) {
            EXPECT_EQ(AnchoredBounds(small.thumbBox, from, to, A::thumbColumn), large.thumbBox);
        }
    }
}

TEST(SlideShowLayout, ResizeWidensTheColumnWhenThumbnailsOverflow) {
    SlideShowLayout l = InitialLayout({600, 400}, false, 60);
    ResizeLayout(l, {600, false, 15, false});
    EXPECT_EQ(l.thumbBevel.left, 476);
    EXPECT_EQ(l.picPanel.width, 474);
    EXPECT_EQ(l.thumbBox, (Bounds{479, 2, 118, 370}));
    EXPECT_EQ(l.moveUpButton.left, 483);
    EXPECT_EQ(l.zOrderButton.left, 539);
    EXPECT_EQ(l.rotateLeftButton.left, 392);
    EXPECT_EQ(l.fullScreenButton.left, 448);
    EXPECT_EQ(l.speedBar.Right(), 388);

    ResizeLayout(l, {600, true, 15, false});
    EXPECT_EQ(l.thumbBevel.left, 460);
    EXPECT_EQ(l.picPanel.width, 458);
    EXPECT_EQ(l.thumbBox.width, 134);

    // In full screen the panel's width is left as it was.
    const int before = l.picPanel.width;
    ResizeLayout(l, {900, true, 15, true});
    EXPECT_EQ(l.picPanel.width, before);
    EXPECT_EQ(l.thumbBevel.left, 760);
}
