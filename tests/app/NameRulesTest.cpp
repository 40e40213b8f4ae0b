#include "app/NameRules.h"

#include <gtest/gtest.h>

namespace {

TEST(NameRules, ForbiddenCharactersAreRefusedOthersPass) {
    for (const char* bad : {":", ";", "<", "=", ">", "?", "@", "[", "\\", "]",   "^",
                            "{", "}", "#", "&", "*", "+", "/", "|", "`",  "a:b", "x/y"}) {
        EXPECT_FALSE(IsValidNameText(QString::fromLatin1(bad))) << bad;
    }
    for (const char* good : {"", "a_b-c.d", "!", "%", "~", " ", "img", "Pic 01", "(1)", "$"}) {
        EXPECT_TRUE(IsValidNameText(QString::fromLatin1(good))) << good;
    }
}

TEST(NameRules, IntegersAreWholeTexts) {
    EXPECT_EQ(ParseInteger("7"), 7);
    EXPECT_EQ(ParseInteger(" -3 "), -3);
    EXPECT_EQ(ParseInteger("+12"), 12);
    EXPECT_EQ(ParseInteger("0"), 0);
    EXPECT_FALSE(ParseInteger("abc"));
    EXPECT_FALSE(ParseInteger(""));
    EXPECT_FALSE(ParseInteger("1a"));
    EXPECT_FALSE(ParseInteger("99999999999"));
}

TEST(NameRules, CounterIsPaddedButNeverCut) {
    EXPECT_EQ(PadCounter(7, 3), "007");
    EXPECT_EQ(PadCounter(25, 1), "25");
    EXPECT_EQ(PadCounter(999, 2), "999");
    EXPECT_EQ(PadCounter(0, 6), "000000");
}

TEST(NameRules, SampleNameJoinsTheParts) {
    EXPECT_EQ(SampleName("img", "7", 3, "_a"), "img007_a.jpg");
    EXPECT_EQ(SampleName("img", "25", 1, "_a"), "img25_a.jpg");
    EXPECT_EQ(SampleName("", "1", 2, ""), "01.jpg");
}

TEST(NameRules, QualityHintsByLevel) {
    EXPECT_EQ(QualityHint(0), "Maximum speed (less then 64M of RAM)");
    EXPECT_EQ(QualityHint(1), "Normal speed (above then 64M of RAM)");
    EXPECT_EQ(QualityHint(2), "Normal quality (96M of RAM or above)");
    EXPECT_EQ(QualityHint(3), "Maximum quality (256M of RAM or above)");
    EXPECT_TRUE(QualityHint(4).isEmpty());
    EXPECT_TRUE(QualityHint(-1).isEmpty());
}

TEST(NameRules, SpeedAsPercentage) {
    EXPECT_EQ(SpeedPercentText(250), "25%");
    EXPECT_EQ(SpeedPercentText(50), "5%");
    EXPECT_EQ(SpeedPercentText(1000), "100%");
    EXPECT_EQ(SpeedPercentText(345), "35%");  // 34.5 rounds up
}

TEST(NameRules, DefaultQualityFollowsInstalledMemory) {
    constexpr std::uint64_t MiB = 1024 * 1024;
    const struct {
        std::uint64_t bytes;
        int level;
    } cases[] = {
        {8 * MiB, 0},  {16 * MiB, 0},     {16 * MiB + 1, 1}, {24 * MiB, 1},
        {32 * MiB, 1}, {32 * MiB + 1, 2}, {8192 * MiB, 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DefaultOptimization(c.bytes), c.level) << c.bytes;
    }
}

}  // namespace
