#include "app/SlideShow/SlideShowRules.h"

#include <gtest/gtest.h>

#include <vector>

using namespace slideshow;

TEST(SlideShowRules, QualityLevelsMapToScaleAndClampOutsideTheRange) {
    struct Case {
        int level, denominator, previewLevel;
    };
    for (const Case c : {Case{0, 8, 0}, {1, 4, 1}, {2, 2, 2}, {3, 1, 3}, {4, 2, 3}, {-1, 2, 3}}) {
        EXPECT_EQ(OptiToQuality(c.level), c.denominator) << "level " << c.level;
        EXPECT_EQ(ClampPreviewLevel(c.level), c.previewLevel) << "level " << c.level;
    }
    // The hint table is indexed by level: nothing outside it.
    EXPECT_TRUE(PreviewQualityHint(4).isEmpty());
    EXPECT_TRUE(PreviewQualityHint(-1).isEmpty());
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

TEST(SlideShowRules, StepPercentagesReachAHundredAtTheLastPicture) {
    std::vector<int> three;
    for (int i = 0; i < 3; ++i) {
        three.push_back(StepPercent(i, 3));
    }
    EXPECT_EQ(three, (std::vector<int>{33, 66, 100}));
    EXPECT_EQ(StepPercent(0, 0), 100);
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
