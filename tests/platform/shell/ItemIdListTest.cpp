#include "platform/shell/ItemIdList.h"

#include <gtest/gtest.h>

namespace {

using platform::ItemIdList;

// A null list (no identifier) and the empty one (the desktop) stay distinct through every
// operation.
TEST(ItemIdList, NullAndEmptyStayDistinctThroughParentsAndAppends) {
    const ItemIdList null;
    const ItemIdList desktop = ItemIdList::Empty();
    EXPECT_TRUE(null.IsNull() && !null.IsEmpty());
    EXPECT_TRUE(desktop.IsEmpty() && !desktop.IsNull());
    EXPECT_NE(null, desktop);
    EXPECT_EQ(null.Count(), desktop.Count());
    EXPECT_TRUE(ItemIdList({"a"}).Parent().IsEmpty());
    EXPECT_EQ(ItemIdList({"a", "b"}).Parent(), ItemIdList({"a"}));
    EXPECT_TRUE(desktop.Parent().IsNull());
    EXPECT_TRUE(null.Parent().IsNull());
    EXPECT_TRUE(null.Appended(null).IsNull());
    EXPECT_EQ(null.Appended(ItemIdList({"x"})), ItemIdList({"x"}));
    EXPECT_EQ(ItemIdList({"x"}).Appended(null), ItemIdList({"x"}));
    EXPECT_TRUE(desktop.Appended(desktop).IsEmpty());
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
