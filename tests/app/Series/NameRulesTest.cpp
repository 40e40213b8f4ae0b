#include "app/Series/NameRules.h"

#include <gtest/gtest.h>

namespace {

TEST(NameRules, ForbiddenCharactersAreRefusedOthersPass) {
    for (const char* bad : {":", ";", "<", "=", ">", "?", "@", "[", "\\", "]",  "^",
                            "{", "}", "#", "&", "*", "+", "/", "|", "`",  "a:b"}) {
        EXPECT_FALSE(IsValidNameText(QString::fromLatin1(bad))) << bad;
    }
    for (const char* good : {"", "a_b-c.d", "!", "%", "~", " ", "Pic 01", "(1)", "$"}) {
        EXPECT_TRUE(IsValidNameText(QString::fromLatin1(good))) << good;
    }
}

TEST(NameRules, NumbersAndCounters) {
    EXPECT_EQ(ParseInteger(" -3 "), -3);
    EXPECT_EQ(ParseInteger("+12"), 12);
    for (const char* bad : {"abc", "", "1a", "99999999999"}) {
        EXPECT_FALSE(ParseInteger(bad)) << bad;
    }
    EXPECT_EQ(PadCounter(7, 3), "007");
    EXPECT_EQ(SampleName("img", "7", 3, "_a"), "img007_a.jpg");
    EXPECT_EQ(SampleName("", "25", 1, ""), "25.jpg");
    EXPECT_EQ(SpeedPercentText(345), "35%");  // 34.5 rounds up
}

TEST(NameRules, DefaultQualityFollowsInstalledMemory) {
    constexpr std::uint64_t MiB = 1024 * 1024;
    const struct {
        std::uint64_t bytes;
        int level;
    } cases[] = {
        {16 * MiB, 0}, {16 * MiB + 1, 1}, {32 * MiB, 1}, {32 * MiB + 1, 2}, {8192 * MiB, 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DefaultOptimization(c.bytes), c.level) << c.bytes;
    }
}

}  // namespace
