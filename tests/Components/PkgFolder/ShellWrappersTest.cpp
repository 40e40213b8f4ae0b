#include "Components/PkgFolder/ExtFilter.h"
#include "Components/PkgFolder/FolderTree.h"
#include "Components/PkgFolder/ShellWrappers.h"
#include "tests/platform/shell/ShellFixture.h"

#include <gtest/gtest.h>

namespace {

using platform::ItemIdList;

TEST(PidlFunctions, CombineKeepsNullAndEmptyApart) {
    EXPECT_TRUE(PidlCombine(ItemIdList::Null(), ItemIdList::Null()).IsNull());
    EXPECT_EQ(PidlCombine(ItemIdList({"a"}), ItemIdList::Null()), ItemIdList({"a"}));
    const ItemIdList both = PidlCombine(ItemIdList::Empty(), ItemIdList::Empty());
    EXPECT_TRUE(both.IsEmpty());
    EXPECT_EQ(PidlGetSize(both), 0u);
    EXPECT_EQ(TFolderTree::SFGetPidlSize(both), 2u);
    EXPECT_EQ(TFolderTree::SFGetPidlSize(ItemIdList::Null()), 0u);
    EXPECT_EQ(PidlCopy(ItemIdList({"x", "y"})), ItemIdList({"x", "y"}));
    EXPECT_TRUE(PidlCopy(ItemIdList::Null()).IsNull());
}

TEST(PidlFunctions, NextLastAndParent) {
    EXPECT_TRUE(PidlNext(ItemIdList({"a"})).IsNull());
    EXPECT_TRUE(PidlNext(ItemIdList::Empty()).IsNull());
    EXPECT_EQ(PidlNext(ItemIdList({"a", "b", "c"})), ItemIdList({"b", "c"}));
    EXPECT_TRUE(PidlLast(ItemIdList::Empty()).IsEmpty());
    EXPECT_EQ(PidlLast(ItemIdList({"a", "b"})), ItemIdList({"b"}));
    EXPECT_TRUE(PidlCopyParent(ItemIdList({"a"})).IsEmpty());
    EXPECT_EQ(PidlCopyParent(ItemIdList({"a", "b"})), ItemIdList({"a"}));
    // Sizes follow the classic encoding: a 16-bit size before each name.
    EXPECT_EQ(PidlGetSize(ItemIdList({"ab", "c"})), 4u + 3u);
}

TEST(PidlFunctions, CatPutsTheSecondListInFront) {
    EXPECT_EQ(TFolderTree::SFPidlCat(ItemIdList({"b"}), ItemIdList({"a"})), ItemIdList({"a", "b"}));
    EXPECT_EQ(TFolderTree::SFPidlCat(ItemIdList({"b"}), ItemIdList::Null()), ItemIdList({"b"}));
    EXPECT_TRUE(TFolderTree::SFPidlCat(ItemIdList::Null(), ItemIdList({"a"})).IsNull());
    EXPECT_EQ(TFolderTree::SFPidlCatOnlyOne(ItemIdList({"b", "c"}), ItemIdList({"a"})),
              ItemIdList({"a", "b"}));
    EXPECT_TRUE(TFolderTree::SFPidlCpy(ItemIdList::Empty()).IsEmpty());
}

TEST(PidlFunctions, PathsOfVirtualItemsAreEmpty) {
    shelltest::ShellFixture fx;
    EXPECT_EQ(PidlToPath(fx.Space(), ItemIdList({platform::ShellNamespace::kComputerKey})), "");
    EXPECT_EQ(PidlToPath(fx.Space(), ItemIdList::Empty()), "");
    const ItemIdList home = PidlFromPath(fx.Space(), fx.HomePath());
    EXPECT_EQ(PidlToPath(fx.Space(), home), fx.HomePath());
}

TEST(CShellPidl, AttachReplacesAndDetachEmpties) {
    CShellPidl holder;
    EXPECT_FALSE(holder.IsValid());
    holder.Attach(ItemIdList::Empty());
    EXPECT_TRUE(holder.IsValid());     // the desktop is a valid identifier
    holder.Attach(ItemIdList({"z"}));  // reported, then replaced
    EXPECT_EQ(holder.Get(), ItemIdList({"z"}));
    EXPECT_EQ(holder.Detach(), ItemIdList({"z"}));
    EXPECT_FALSE(holder.IsValid());
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
