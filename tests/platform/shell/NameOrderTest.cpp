#include "platform/shell/NameOrder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

using platform::CompareNames;

int Sign(int value) {
    return (value > 0) - (value < 0);
}

struct OrderCase {
    const char* a;
    const char* b;
    int expected;
};

void PrintTo(const OrderCase& c, std::ostream* os) {
    *os << '"' << c.a << "\" vs \"" << c.b << '"';
}

class CompareNamesTable : public ::testing::TestWithParam<OrderCase> {};

TEST_P(CompareNamesTable, GivesTheExpectedSignBothWays) {
    const OrderCase& c = GetParam();
    EXPECT_EQ(Sign(CompareNames(c.a, c.b)), c.expected) << c.a << " vs " << c.b;
    EXPECT_EQ(Sign(CompareNames(c.b, c.a)), -c.expected) << c.b << " vs " << c.a;
}

INSTANTIATE_TEST_SUITE_P(
    Names, CompareNamesTable,
    ::testing::Values(OrderCase{"img2", "img10", -1},    // numbers by value
                      OrderCase{"img10", "img9b", 1},    // value before the suffix
                      OrderCase{"apple", "Banana", -1},  // case ignored first
                      OrderCase{"A", "a", -1},           // bytes break the tie
                      OrderCase{"a01", "a1", -1},        // same value, bytes decide
                      OrderCase{"a", "a", 0},            // equal only when identical
                      OrderCase{"", "a", -1},            // empty first
                      OrderCase{"abc", "ab", 1},         // prefix first
                      OrderCase{"x99999999999999999999", "x100000000000000000000", -1},
                      OrderCase{"\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89z", -1},  // été < ÉTÉz
                      OrderCase{"\xC3\x89T\xC3\x89", "\xC3\xA9t\xC3\xA9", -1},   // tie on bytes
                      OrderCase{"a\xFF", "a\xFE", 1},  // invalid UTF-8 stays ordered
                      OrderCase{"file 2", "file-1", -1}));

TEST(CompareNames, IsATotalOrderOverAMixedSet) {
    std::vector<std::string> names = {"b",  "B",    "a10", "a9",   "a09", "A9", "a",
                                      "_x", "1",    "01",  "001",  "z",   "Z1", "\xC3\xA9",
                                      "e",  "\xFF", "a 1", "a  1", "10",  "9",  ".hidden"};
    std::mt19937 random(7);
    std::vector<std::string> shuffled = names;
    std::shuffle(shuffled.begin(), shuffled.end(), random);
    auto less = [](const std::string& x, const std::string& y) { return CompareNames(x, y) < 0; };
    std::sort(names.begin(), names.end(), less);
    std::sort(shuffled.begin(), shuffled.end(), less);
    EXPECT_EQ(names, shuffled);
    for (const auto& x : names) {
        for (const auto& y : names) {
            for (const auto& z : names) {
                if (CompareNames(x, y) < 0 && CompareNames(y, z) < 0) {
                    ASSERT_LT(CompareNames(x, z), 0) << x << " " << y << " " << z;
                }
            }
        }
    }
}

TEST(CompareNames, NaturalSortKeysOrderPlainNamesTheSameWay) {
    const std::vector<std::string> names = {"",
                                            "a",
                                            "A",
                                            "a1",
                                            "a01",
                                            "a001",
                                            "a10",
                                            "a9",
                                            "a9b",
                                            "a9-",
                                            "a 1",
                                            "a-1",
                                            "a_1",
                                            "a[1",
                                            "a~",
                                            "Z",
                                            "_",
                                            "0",
                                            "00",
                                            "007",
                                            "7",
                                            "img2",
                                            "IMG2",
                                            "img10",
                                            "x99999999999999999999",
                                            "x100000000000000000000",
                                            "a1b2",
                                            "a1b10",
                                            "a.jpg",
                                            "a0.jpg",
                                            "b",
                                            "B.JPG",
                                            "picture12.jpg",
                                            "picture3.jpg"};
    const auto keyOf = [](const std::string& name) {
        std::string key;
        EXPECT_TRUE(platform::AppendNaturalSortKey(name, key)) << name;
        return key;
    };
    for (const auto& x : names) {
        for (const auto& y : names) {
            int bySortKey = Sign(keyOf(x).compare(keyOf(y)));
            if (bySortKey == 0)
                bySortKey = Sign(x.compare(y));
            EXPECT_EQ(bySortKey, Sign(CompareNames(x, y))) << x << " vs " << y;
        }
    }
    std::string key;
    EXPECT_FALSE(platform::AppendNaturalSortKey("\xC3\xA9t\xC3\xA9", key));
    EXPECT_FALSE(platform::AppendNaturalSortKey(std::string(300, '7'), key));
}

}  // namespace
