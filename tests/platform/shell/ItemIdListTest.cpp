#include "platform/shell/ItemIdList.h"

#include <gtest/gtest.h>

namespace {

using platform::ItemIdList;

TEST(ItemIdList, NullAndEmptyStayDistinct) {
    const ItemIdList null;
    const ItemIdList desktop = ItemIdList::Empty();
    EXPECT_TRUE(null.IsNull());
    EXPECT_FALSE(null.IsEmpty());
    EXPECT_FALSE(desktop.IsNull());
    EXPECT_TRUE(desktop.IsEmpty());
    EXPECT_NE(null, desktop);
    EXPECT_EQ(null.Count(), desktop.Count());
}

TEST(ItemIdList, ParentOfOneItemIsTheDesktop) {
    EXPECT_TRUE(ItemIdList({"a"}).Parent().IsEmpty());
    EXPECT_EQ(ItemIdList({"a", "b"}).Parent(), ItemIdList({"a"}));
    EXPECT_TRUE(ItemIdList::Empty().Parent().IsNull());
    EXPECT_TRUE(ItemIdList::Null().Parent().IsNull());
}

TEST(ItemIdList, AppendingKeepsNullOnlyForTwoNulls) {
    EXPECT_TRUE(ItemIdList::Null().Appended(ItemIdList::Null()).IsNull());
    EXPECT_EQ(ItemIdList::Null().Appended(ItemIdList({"x"})), ItemIdList({"x"}));
    EXPECT_EQ(ItemIdList({"x"}).Appended(ItemIdList::Null()), ItemIdList({"x"}));
    EXPECT_TRUE(ItemIdList::Empty().Appended(ItemIdList::Empty()).IsEmpty());
    EXPECT_EQ(ItemIdList({"a"}).Appended(ItemIdList({"b", "c"})), ItemIdList({"a", "b", "c"}));
}

TEST(ItemIdList, PrefixesAndStartsWith) {
    const ItemIdList abc({"a", "b", "c"});
    EXPECT_TRUE(abc.StartsWith(ItemIdList::Empty()));
    EXPECT_TRUE(abc.StartsWith(ItemIdList({"a", "b"})));
    EXPECT_FALSE(abc.StartsWith(ItemIdList({"b"})));
    EXPECT_FALSE(ItemIdList({"a"}).StartsWith(abc));
    EXPECT_FALSE(abc.StartsWith(ItemIdList::Null()));
    EXPECT_EQ(abc.Prefix(9), abc);
    EXPECT_TRUE(abc.Prefix(0).IsEmpty());
    EXPECT_TRUE(abc.ItemAt(3).IsNull());
    EXPECT_EQ(abc.ItemAt(1), ItemIdList({"b"}));
}

}  // namespace
