#include "app/SlideShow/SlideShowRules.h"

#include <gtest/gtest.h>

#include <vector>

using namespace slideshow;

TEST(SlideShowRules, QualityLevelsMapToJpegScale) {
    struct Case {
        int level;
        int denominator;
    };
    for (const Case c : {Case{0, 8}, {1, 4}, {2, 2}, {3, 1}, {4, 2}, {7, 2}, {-1, 2}}) {
        EXPECT_EQ(OptiToQuality(c.level), c.denominator) << "level " << c.level;
    }
}

TEST(SlideShowRules, DefaultLevelFollowsPhysicalMemoryAndNeverPicksFullSize) {
    constexpr uint64_t MiB = 1024 * 1024;
    EXPECT_EQ(DefOptimizationFor(0), 0);
    EXPECT_EQ(DefOptimizationFor(64 * MiB - 1), 0);
    EXPECT_EQ(DefOptimizationFor(64 * MiB), 1);
    EXPECT_EQ(DefOptimizationFor(96 * MiB - 1), 1);
    EXPECT_EQ(DefOptimizationFor(96 * MiB), 2);
    EXPECT_EQ(DefOptimizationFor(uint64_t{64} << 30), 2);
}

TEST(SlideShowRules, PreviewLevelOutsideRangeBecomesFullQuality) {
    EXPECT_EQ(ClampPreviewLevel(0), 0);
    EXPECT_EQ(ClampPreviewLevel(3), 3);
    EXPECT_EQ(ClampPreviewLevel(7), 3);
    EXPECT_EQ(ClampPreviewLevel(-1), 3);
}

TEST(SlideShowRules, QualityHintsPerLevelAndNoneOutside) {
    EXPECT_EQ(PreviewQualityHint(0), "Maximum speed (less then 64M of RAM)");
    EXPECT_EQ(PreviewQualityHint(1), "Normal speed (above then 64M of RAM)");
    EXPECT_EQ(PreviewQualityHint(2), "Normal quality (96M of RAM or above)");
    EXPECT_EQ(PreviewQualityHint(3), "Maximum quality (256M of RAM or above)");
    EXPECT_TRUE(PreviewQualityHint(4).isEmpty());
}

TEST(SlideShowRules, SpeedBarAndDelayMirrorEachOtherWithinTheBar) {
    EXPECT_EQ(SpeedToDelay(1000), 50);
    EXPECT_EQ(SpeedToDelay(50), 1000);
    EXPECT_EQ(DelayToSpeed(250), 800);
    EXPECT_EQ(DelayToSpeed(20), 1000);  // faster than the bar shows: the bar stops at its end
    EXPECT_EQ(DelayToSpeed(5000), 50);
    EXPECT_EQ(DelayToSpeed(-2147483647), 1000);  // no overflow into the slow end
    EXPECT_EQ(DelayToSpeed(2147483647), 50);
    EXPECT_EQ(PreviewDelay(0), 250);
    EXPECT_EQ(PreviewDelay(-5), 250);
    EXPECT_EQ(PreviewDelay(1), 1);
}

TEST(SlideShowRules, StepPercentagesOfThreeAndFive) {
    std::vector<int> three;
    for (int i = 0; i < 3; ++i) {
        three.push_back(StepPercent(i, 3));
    }
    EXPECT_EQ(three, (std::vector<int>{33, 66, 100}));
    std::vector<int> five;
    for (int i = 0; i < 5; ++i) {
        five.push_back(StepPercent(i, 5));
    }
    EXPECT_EQ(five, (std::vector<int>{20, 40, 60, 80, 100}));
    EXPECT_EQ(StepPercent(0, 0), 100);
}

TEST(SlideShowRules, CloseQueryDecisionTable) {
    struct Case {
        bool reduced, changed, empty;
        CloseQuestion question;
        CloseAnswer answer;
        bool canClose;
        int modalResult;
    };
    const Case cases[] = {
        {true, true, false, CloseQuestion::None, CloseAnswer::Yes, true, 2},
        {true, false, true, CloseQuestion::None, CloseAnswer::Yes, true, 2},
        {false, true, false, CloseQuestion::YesNoCancel, CloseAnswer::Yes, true, 1},
        {false, true, false, CloseQuestion::YesNoCancel, CloseAnswer::No, true, 2},
        {false, true, false, CloseQuestion::YesNoCancel, CloseAnswer::Cancel, false, 0},
        {false, true, true, CloseQuestion::YesNoCancel, CloseAnswer::Yes, true, 1},
        {false, false, true, CloseQuestion::YesNo, CloseAnswer::Yes, true, 1},
        {false, false, true, CloseQuestion::YesNo, CloseAnswer::No, true, 2},
        // A Yes/No box closed some other way still lets the form go, leaving the series.
        {false, false, true, CloseQuestion::YesNo, CloseAnswer::Cancel, true, 2},
        {false, false, false, CloseQuestion::None, CloseAnswer::Yes, true, 2},
    };
    for (const Case& c : cases) {
        int asked = 0;
        CloseQuestion seen = CloseQuestion::None;
        const CloseDecision decision =
            DecideClose(c.reduced, c.changed, c.empty, [&](CloseQuestion q) {
                ++asked;
                seen = q;
                return c.answer;
            });
        const std::string where = std::to_string(c.reduced) + std::to_string(c.changed) +
                                  std::to_string(c.empty) + " answer " +
                                  std::to_string(static_cast<int>(c.answer));
        EXPECT_EQ(asked, c.question == CloseQuestion::None ? 0 : 1) << where;
        EXPECT_EQ(seen, c.question) << where;
        EXPECT_EQ(decision.canClose, c.canClose) << where;
        if (decision.canClose) {
            EXPECT_EQ(decision.modalResult, c.modalResult) << where;
        }
    }
}
