#include "Components/PkgFolder/ExtFilter.h"
#include "Components/PkgFolder/FolderTree.h"
#include "Components/PkgFolder/ShellWrappers.h"

#include <gtest/gtest.h>

namespace {

using platform::ItemIdList;

// Appending and parents of the lists themselves are tested with ItemIdList; these are the
// tree's own rules on top of them.
TEST(PidlFunctions, NextLastParentSizeAndCat) {
    EXPECT_TRUE(PidlNext(ItemIdList({"a"})).IsNull());
    EXPECT_TRUE(PidlNext(ItemIdList::Empty()).IsNull());
    EXPECT_EQ(PidlNext(ItemIdList({"a", "b", "c"})), ItemIdList({"b", "c"}));
    EXPECT_TRUE(PidlLast(ItemIdList::Empty()).IsEmpty());
    EXPECT_EQ(PidlLast(ItemIdList({"a", "b"})), ItemIdList({"b"}));
    EXPECT_TRUE(PidlCopyParent(ItemIdList::Null()).IsNull());
    EXPECT_TRUE(PidlCopyParent(ItemIdList({"a"})).IsEmpty());
    EXPECT_EQ(PidlCopyParent(ItemIdList({"a", "b"})), ItemIdList({"a"}));
    // Sizes follow the classic encoding: a 16-bit size before each name, and a terminator.
    EXPECT_EQ(PidlGetSize(ItemIdList({"ab", "c"})), 4u + 3u);
    EXPECT_EQ(TFolderTree::SFGetPidlSize(ItemIdList::Empty()), 2u);
    EXPECT_EQ(TFolderTree::SFGetPidlSize(ItemIdList::Null()), 0u);
    // The second list goes in front.
    EXPECT_EQ(TFolderTree::SFPidlCat(ItemIdList({"b"}), ItemIdList({"a"})), ItemIdList({"a", "b"}));
    EXPECT_EQ(TFolderTree::SFPidlCat(ItemIdList({"b"}), ItemIdList::Null()), ItemIdList({"b"}));
    EXPECT_TRUE(TFolderTree::SFPidlCat(ItemIdList::Null(), ItemIdList({"a"})).IsNull());
    EXPECT_EQ(TFolderTree::SFPidlCatOnlyOne(ItemIdList({"b", "c"}), ItemIdList({"a"})),
              ItemIdList({"a", "b"}));
}

struct FilterCase {
    const char* filter;
    const char* name;
    bool matches;
};

class ExtFilterTable : public ::testing::TestWithParam<FilterCase> {};

TEST_P(ExtFilterTable, MatchesWholeExtensions) {
    const FilterCase& c = GetParam();
    EXPECT_EQ(ExtensionMatchesFilter(c.filter, c.name), c.matches) << c.filter << " / " << c.name;
}

void PrintTo(const FilterCase& c, std::ostream* os) {
    *os << c.filter << " / " << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Filters, ExtFilterTable,
    ::testing::Values(FilterCase{".jpg;.jpeg", "a.JPG", true},
                      FilterCase{".jpg;.jpeg", "a.jpeg", true},
                      FilterCase{"*.jpg;*.jpeg", "a.jpeg", true},  // leading '*' ignored
                      FilterCase{".jpg;.jpeg", "a.jp", false},     // no substring match
                      FilterCase{".jpg;.jpeg", "a.pg", false}, FilterCase{".jpeg", "a.jpg", false},
                      FilterCase{".jpg", "a.jpgx", false},
                      FilterCase{".jpg", "jpg", false},              // no extension
                      FilterCase{".jpg", "archive.jpg.txt", false},  // the last dot counts
                      FilterCase{" .txt ; .jpg", "a.TXT", true}, FilterCase{";;", "a.txt", false},
                      FilterCase{"", "a.txt", false}));

}  // namespace
