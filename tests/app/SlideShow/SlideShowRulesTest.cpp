#include "app/SlideShow/SlideShowLayout.h"
#include "app/SlideShow/SlideShowRules.h"

#include <gtest/gtest.h>

using namespace slideshow;

// Each quality level's JPEG scale, its level in the preview form and its hint. A stored
// level out of range decodes at 1/2, previews at full size and has no hint; level 0 stays
// the fastest preview.
TEST(SlideShowRules, QualityLevelsMapToScaleAndClampOutsideTheRange) {
    struct Case {
        int level, denominator, previewLevel;
        const char* hint;
    };
    const Case cases[] = {{0, 8, 0, "Maximum speed (less then 64M of RAM)"},
                          {1, 4, 1, "Normal speed (above then 64M of RAM)"},
                          {2, 2, 2, "Normal quality (96M of RAM or above)"},
                          {3, 1, 3, "Maximum quality (256M of RAM or above)"},
                          {4, 2, 3, ""},
                          {-1, 2, 3, ""}};
    for (const Case& c : cases) {
        EXPECT_EQ(OptiToQuality(c.level), c.denominator) << "level " << c.level;
        EXPECT_EQ(ClampPreviewLevel(c.level), c.previewLevel) << "level " << c.level;
        EXPECT_EQ(PreviewQualityHint(c.level), c.hint) << "level " << c.level;
    }
}

TEST(SlideShowRules, DefaultLevelFollowsPhysicalMemoryAndNeverPicksFullSize) {
    constexpr uint64_t MiB = 1024 * 1024;
    const std::pair<uint64_t, int> cases[] = {{0, 0},        {64 * MiB - 1, 0},
                                              {64 * MiB, 1}, {96 * MiB - 1, 1},
                                              {96 * MiB, 2}, {65536 * MiB, 2}};
    for (const auto& [bytes, level] : cases) {
        EXPECT_EQ(DefOptimizationFor(bytes), level) << bytes;
    }
}

// The control's speed bar takes these (its own test); here the ends of the int range.
TEST(SlideShowRules, SpeedBarAndDelayMirrorEachOtherWithinTheBar) {
    EXPECT_EQ(SpeedToDelay(1000), 50);
    EXPECT_EQ(DelayToSpeed(20), 1000);  // faster than the bar shows: the bar stops at its end
    EXPECT_EQ(DelayToSpeed(5000), 50);
    EXPECT_EQ(DelayToSpeed(-2147483647), 1000);  // no overflow into the slow end
    EXPECT_EQ(DelayToSpeed(2147483647), 50);
    EXPECT_EQ(PreviewDelay(0), 250);
    EXPECT_EQ(PreviewDelay(-5), 250);
    EXPECT_EQ(PreviewDelay(1), 1);
}

// The control's progress events show the steps of a real series (its own test); here the
// ends: a step past the last, and a count of 0, which must not divide.
TEST(SlideShowRules, StepPercentagesReachAHundredAtTheLastPicture) {
    const int cases[][3] = {{0, 3, 33},  {1, 3, 66},  {2, 3, 100}, {3, 3, 100},
                            {0, 0, 100}, {5, 0, 100}, {0, -1, 100}};
    for (const auto& [index, count, percent] : cases) {
        EXPECT_EQ(StepPercent(index, count), percent) << index << " of " << count;
    }
}

TEST(SlideShowRules, CloseQueryDecisionTable) {
    using Q = CloseQuestion;
    using A = CloseAnswer;
    struct Case {
        bool reduced, changed, empty;
        Q question;
        A answer;
        bool canClose;
        int modalResult;
    };
    const Case cases[] = {
        {true, true, false, Q::None, A::Yes, true, 2},
        {true, false, true, Q::None, A::Yes, true, 2},
        {false, true, false, Q::YesNoCancel, A::Yes, true, 1},
        {false, true, false, Q::YesNoCancel, A::No, true, 2},
        {false, true, false, Q::YesNoCancel, A::Cancel, false, 0},
        {false, true, true, Q::YesNoCancel, A::Yes, true, 1},
        {false, false, true, Q::YesNo, A::Yes, true, 1},
        {false, false, true, Q::YesNo, A::No, true, 2},
        // A Yes/No box closed some other way still lets the form go, leaving the series.
        {false, false, true, Q::YesNo, A::Cancel, true, 2},
        {false, false, false, Q::None, A::Yes, true, 2},
    };
    for (const Case& c : cases) {
        int asked = 0;
        const CloseDecision decision = DecideClose(c.reduced, c.changed, c.empty, [&](Q q) {
            EXPECT_EQ(q, c.question);
            ++asked;
            return c.answer;
        });
        const int row = static_cast<int>(&c - cases);
        EXPECT_EQ(asked, c.question == Q::None ? 0 : 1) << "row " << row;
        EXPECT_EQ(decision.canClose, c.canClose) << "row " << row;
        EXPECT_TRUE(!decision.canClose || decision.modalResult == c.modalResult) << "row " << row;
    }
}

// The control takes this layout (its own test); here what only a tall series shows: the
// column widens when the thumbnails overflow, the buttons and the speed bar move with it,
// and full screen leaves the panel's width.
TEST(SlideShowLayout, ResizeWidensTheColumnWhenThumbnailsOverflow) {
    SlideShowLayout l = InitialLayout({600, 400}, false, 60);
    ResizeLayout(l, {600, false, 15, false});
    EXPECT_EQ(l.thumbBevel.left, 476);
    EXPECT_EQ(l.picPanel.width, 474);
    EXPECT_EQ(l.thumbBox, (Bounds{479, 2, 118, 370}));
    // The order buttons under the column, the turn buttons before it and the speed bar's
    // end follow the column's new edge, to the pixel.
    EXPECT_EQ(l.zOrderButton.left, 539);
    EXPECT_EQ(l.rotateLeftButton.left, 392);
    EXPECT_EQ(l.speedBar.Right(), 388);

    ResizeLayout(l, {600, true, 15, false});
    EXPECT_EQ(l.thumbBevel.left, 460);
    EXPECT_EQ(l.picPanel.width, 458);
    EXPECT_EQ(l.thumbBox.width, 134);
    EXPECT_EQ(l.zOrderButton.left, 523);
    EXPECT_EQ(l.rotateLeftButton.left, 376);
    EXPECT_EQ(l.speedBar.Right(), 372);

    // In full screen the panel's width is left as it was.
    ResizeLayout(l, {900, true, 15, true});
    EXPECT_EQ(l.picPanel.width, 458);
    EXPECT_EQ(l.thumbBevel.left, 760);
}
