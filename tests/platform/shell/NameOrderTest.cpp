#include "platform/shell/NameOrder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using platform::CompareNames;

int Sign(int value) {
    return (value > 0) - (value < 0);
}

TEST(CompareNames, GivesTheExpectedSignBothWays) {
    const struct {
        const char* a;
        const char* b;
        int expected;
    } cases[] = {
        {"img2", "img10", -1},    // numbers by value
        {"img10", "img9b", 1},    // value before the suffix
        {"apple", "Banana", -1},  // case ignored first
        {"A", "a", -1},           // bytes break the tie
        {"a01", "a1", -1},        // same value, bytes decide
        {"a", "a", 0},            // equal only when identical
        {"", "a", -1},            // empty first
        {"abc", "ab", 1},         // prefix first
        {"x99999999999999999999", "x100000000000000000000", -1},
        {"\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89z", -1},  // été < ÉTÉz
        {"\xC3\x89T\xC3\x89", "\xC3\xA9t\xC3\xA9", -1},   // tie on bytes
        {"a\xFF", "a\xFE", 1},                            // invalid UTF-8 stays ordered
        {"file 2", "file-1", -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Sign(CompareNames(c.a, c.b)), c.expected) << c.a << " vs " << c.b;
        EXPECT_EQ(Sign(CompareNames(c.b, c.a)), -c.expected) << c.b << " vs " << c.a;
    }
}

// Over a mixed set: sorting does not depend on the input order, the order is transitive,
// and the sort keys of plain names order them exactly as CompareNames does.
TEST(CompareNames, IsATotalOrderThatTheSortKeysFollow) {
    std::vector<std::string> names;
    std::istringstream joined(
        "|a|A|a1|a01|a001|a10|a9|A9|a09|a9b|a9-|a 1|a  1|a-1|a_1|a[1|a~|Z|Z1|_|_x|.hidden|0|00|"
        "007|01|001|1|7|9|10|img2|IMG2|img10|x99999999999999999999|x100000000000000000000|a1b2|"
        "a1b10|a.jpg|a0.jpg|b|B|B.JPG|e|z|picture12.jpg|picture3.jpg|\xC3\xA9|\xFF");
    for (std::string name; std::getline(joined, name, '|');) {
        names.push_back(name);
    }
    auto less = [](const std::string& x, const std::string& y) { return CompareNames(x, y) < 0; };
    std::vector<std::string> shuffled = names;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
    std::sort(names.begin(), names.end(), less);
    std::sort(shuffled.begin(), shuffled.end(), less);
    EXPECT_EQ(names, shuffled);
    for (const auto& x : names) {
        std::string keyX;
        const bool plainX = platform::AppendNaturalSortKey(x, keyX);
        EXPECT_EQ(plainX, std::all_of(x.begin(), x.end(), [](char c) { return c >= 0; })) << x;
        for (const auto& y : names) {
            std::string keyY;
            if (plainX && platform::AppendNaturalSortKey(y, keyY)) {
                const int byKey = Sign(keyX.compare(keyY));
                EXPECT_EQ(byKey != 0 ? byKey : Sign(x.compare(y)), Sign(CompareNames(x, y)))
                    << x << " vs " << y;
            }
            for (const auto& z : names) {
                if (CompareNames(x, y) < 0 && CompareNames(y, z) < 0) {
                    ASSERT_LT(CompareNames(x, z), 0) << x << " " << y << " " << z;
                }
            }
        }
    }
    std::string key;
    EXPECT_FALSE(platform::AppendNaturalSortKey("\xC3\xA9t\xC3\xA9", key));
    EXPECT_FALSE(platform::AppendNaturalSortKey(std::string(300, '7'), key));
}

}  // namespace
