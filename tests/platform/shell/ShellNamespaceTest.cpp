#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/shell/ShellFolder.h"
#include "platform/shell/ShellNamespace.h"
#include "tests/platform/shell/ShellFixture.h"

namespace {

using platform::ItemIdList;
using platform::NameKind;
using platform::ShellNamespace;
using Names = std::vector<std::string>;
namespace EnumFlag = platform::EnumFlag;

const std::string kHome = ShellNamespace::kHomeKey;
const std::string kComputer = ShellNamespace::kComputerKey;

// The folder's items in enumeration order; "<none>" when it cannot be enumerated.
Names Listed(const platform::ShellFolder& folder, unsigned flags) {
    auto enumerator = folder.EnumObjects(flags);
    if (!enumerator)
        return {"<none>"};
    Names names;
    platform::ShellEntry entry;
    while (enumerator->Next(entry))
        names.push_back(entry.name);
    return names;
}

Names Sorted(Names names) {
    std::sort(names.begin(), names.end());
    return names;
}

TEST(PathRules, NormalFormsAndContainment) {
    const std::pair<const char*, const char*> normal[] = {
        {"/", "/"},   {"//a///b/", "/a/b"}, {"/a/./b/../c", "/a/c"},
        {"/..", "/"}, {"a/b", ""},          {"", ""}};
    for (const auto& [path, expected] : normal) {
        EXPECT_EQ(platform::NormalizePath(path), expected) << path;
    }
    EXPECT_TRUE(platform::PathIsWithin("/media/usb", "/media/usb"));
    EXPECT_TRUE(platform::PathIsWithin("/media/usb/x", "/media/usb"));
    EXPECT_FALSE(platform::PathIsWithin("/media/usb2/x", "/media/usb"));
    EXPECT_TRUE(platform::PathIsWithin("/etc", "/"));
}

class ShellNamespaceTest : public ::testing::Test {
  protected:
    shelltest::ShellFixture fx;
};

TEST_F(ShellNamespaceTest, DesktopHoldsHomeThenComputerWhichHoldsTheDrivesRootFirst) {
    const auto desktop = fx.Space().Desktop();
    EXPECT_EQ(Listed(*desktop, EnumFlag::Folders), (Names{kHome, kComputer}));
    EXPECT_EQ(Listed(*desktop, EnumFlag::NonFolders), Names{});
    EXPECT_EQ(desktop->GetDisplayNameOf(ItemIdList({kHome}), NameKind::InFolder), "Home");
    EXPECT_EQ(desktop->GetDisplayNameOf(ItemIdList({kComputer}), NameKind::InFolder), "Computer");
    const auto computer = fx.Space().BindToFolder(ItemIdList({kComputer}));
    ASSERT_TRUE(computer);
    const Names drives = Listed(*computer, EnumFlag::Folders);
    ASSERT_EQ(drives.size(), 3u);
    EXPECT_EQ(drives[0], "/");
    EXPECT_EQ(computer->GetDisplayNameOf(ItemIdList({"/"}), NameKind::InFolder), "File System");
    EXPECT_EQ(computer->GetDisplayNameOf(ItemIdList({fx.SharePath()}), NameKind::InFolder), "net");
}

// Paths resolve through the longest root, and back; what is missing, relative or virtual
// resolves to nothing.
TEST_F(ShellNamespaceTest, PathsAndIdentifiersRoundTrip) {
    fx.MakeDir("home/Pictures/2002");
    fx.MakeDir("net/photos");
    const std::string home = fx.HomePath();
    const struct {
        std::string path;
        ItemIdList id;
        std::string backPath;
    } cases[] = {
        {home, ItemIdList({kHome}), home},
        {home + "/Pictures/2002/", ItemIdList({kHome, "Pictures", "2002"}),
         home + "/Pictures/2002"},
        {home + "//Pictures/./x/../2002", ItemIdList({kHome, "Pictures", "2002"}),
         home + "/Pictures/2002"},
        {fx.SharePath() + "/photos", ItemIdList({kComputer, fx.SharePath(), "photos"}),
         fx.SharePath() + "/photos"},
        {"/", ItemIdList({kComputer, "/"}), "/"},
        {home + "/missing", ItemIdList::Null(), ""},
        {"home", ItemIdList::Null(), ""},
        {"", ItemIdList::Null(), ""},
    };
    for (const auto& c : cases) {
        const ItemIdList id = fx.Space().ParseDisplayName(c.path);
        EXPECT_EQ(id, c.id) << c.path;
        EXPECT_EQ(fx.Space().PathOf(id), c.backPath) << c.path;
    }
    // A folder outside home and the share resolves through "/".
    const ItemIdList other = fx.Space().ParseDisplayName(fx.MakeDir("elsewhere"));
    ASSERT_GE(other.Count(), 3u);
    EXPECT_EQ(other.Item(1), "/");
    EXPECT_EQ(fx.Space().PathOf(other), fx.Root() + "/elsewhere");
    // Virtual items, and identifiers that no item can have, have no path.
    for (const ItemIdList& id :
         {ItemIdList::Empty(), ItemIdList({kComputer}), ItemIdList({kHome, ".."}),
          ItemIdList({kComputer, "relative"}), ItemIdList({"stranger"})}) {
        EXPECT_EQ(fx.Space().PathOf(id), "") << id.Count();
    }
}

TEST_F(ShellNamespaceTest, EnumerationFlagsChooseTheItemsAndAFolderThatCannotBeOpenedGivesNone) {
    fx.MakeDir("home/d");
    fx.MakeDir("home/.hidden");
    fx.MakeFile("home/f.txt");
    fx.MakeFile("home/.dotfile");
    fx.MakeLink(fx.HomePath() + "/d", "home/linkdir");
    const auto home = fx.Space().BindToFolder(ItemIdList({kHome}));
    EXPECT_EQ(Sorted(Listed(*home, EnumFlag::Folders)), (Names{"d", "linkdir"}));
    EXPECT_EQ(Sorted(Listed(*home, EnumFlag::NonFolders)), Names{"f.txt"});
    EXPECT_EQ(
        Sorted(Listed(*home, EnumFlag::Folders | EnumFlag::NonFolders | EnumFlag::IncludeHidden)),
        (Names{".dotfile", ".hidden", "d", "f.txt", "linkdir"}));
    for (const char* name : {"missing", "f.txt"}) {
        const auto folder = fx.Space().BindToFolder(ItemIdList({kHome, name}));
        EXPECT_EQ(Listed(*folder, EnumFlag::Folders), Names{"<none>"}) << name;
    }
    EXPECT_FALSE(fx.Space().BindToFolder(ItemIdList::Null()));
}

}  // namespace
