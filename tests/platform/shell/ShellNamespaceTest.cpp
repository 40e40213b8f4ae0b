#include "platform/shell/ShellFolder.h"
#include "platform/shell/ShellNamespace.h"
#include "tests/platform/shell/ShellFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using platform::ItemIdList;
using platform::NormalizePath;
using platform::ShellEntry;
using platform::ShellNamespace;
using shelltest::ShellFixture;
namespace EnumFlag = platform::EnumFlag;

const std::string kHome = ShellNamespace::kHomeKey;
const std::string kComputer = ShellNamespace::kComputerKey;

std::vector<std::string> Names(const platform::ShellFolder& folder, unsigned flags) {
    std::vector<std::string> names;
    auto enumerator = folder.EnumObjects(flags);
    if (!enumerator)
        return {"<none>"};
    ShellEntry entry;
    while (enumerator->Next(entry))
        names.push_back(entry.name);
    return names;
}

TEST(NormalizePath, LexicalForms) {
    EXPECT_EQ(NormalizePath("/"), "/");
    EXPECT_EQ(NormalizePath("//a///b/"), "/a/b");
    EXPECT_EQ(NormalizePath("/a/./b/../c"), "/a/c");
    EXPECT_EQ(NormalizePath("/.."), "/");
    EXPECT_EQ(NormalizePath("a/b"), "");
    EXPECT_EQ(NormalizePath(""), "");
}

TEST(PathIsWithin, NeedsASeparatorAfterTheRoot) {
    EXPECT_TRUE(platform::PathIsWithin("/media/usb", "/media/usb"));
    EXPECT_TRUE(platform::PathIsWithin("/media/usb/x", "/media/usb"));
    EXPECT_FALSE(platform::PathIsWithin("/media/usb2/x", "/media/usb"));
    EXPECT_TRUE(platform::PathIsWithin("/etc", "/"));
}

class ShellNamespaceTest : public ::testing::Test {
  protected:
    ShellFixture fx;
};

TEST_F(ShellNamespaceTest, DesktopHoldsHomeThenComputer) {
    const auto desktop = fx.Space().Desktop();
    EXPECT_EQ(Names(*desktop, EnumFlag::Folders), (std::vector<std::string>{kHome, kComputer}));
    EXPECT_EQ(Names(*desktop, EnumFlag::NonFolders), std::vector<std::string>{});
    EXPECT_EQ(desktop->GetDisplayNameOf(ItemIdList({kHome}), platform::NameKind::InFolder), "Home");
    EXPECT_EQ(desktop->GetDisplayNameOf(ItemIdList({kComputer}), platform::NameKind::InFolder),
              "Computer");
}

TEST_F(ShellNamespaceTest, ComputerHoldsTheDrivesFileSystemFirst) {
    const auto computer = fx.Space().BindToFolder(ItemIdList({kComputer}));
    ASSERT_TRUE(computer);
    const auto drives = Names(*computer, EnumFlag::Folders);
    ASSERT_EQ(drives.size(), 3u);
    EXPECT_EQ(drives[0], "/");
    EXPECT_EQ(computer->GetDisplayNameOf(ItemIdList({"/"}), platform::NameKind::InFolder),
              "File System");
    EXPECT_EQ(
        computer->GetDisplayNameOf(ItemIdList({fx.SharePath()}), platform::NameKind::InFolder),
        "net");
}

TEST_F(ShellNamespaceTest, ParseAndPathRoundTrip) {
    fx.MakeDir("home/Pictures/2002");
    fx.MakeDir("net/photos");
    fx.MakeDir("elsewhere");
    struct Case {
        std::string path;
        std::vector<std::string> items;
        std::string backPath;
    };
    const std::vector<Case> cases = {
        {fx.HomePath(), {kHome}, fx.HomePath()},
        {fx.HomePath() + "/Pictures/2002/",
         {kHome, "Pictures", "2002"},
         fx.HomePath() + "/Pictures/2002"},
        {fx.HomePath() + "//Pictures/./x/../2002",
         {kHome, "Pictures", "2002"},
         fx.HomePath() + "/Pictures/2002"},
        {fx.SharePath() + "/photos",
         {kComputer, fx.SharePath(), "photos"},
         fx.SharePath() + "/photos"},
        {"/", {kComputer, "/"}, "/"},
    };
    for (const Case& c : cases) {
        const ItemIdList id = fx.Space().ParseDisplayName(c.path);
        EXPECT_EQ(id, ItemIdList(c.items)) << c.path;
        EXPECT_EQ(fx.Space().PathOf(id), c.backPath) << c.path;
    }
    // A folder outside home and the share resolves through "/".
    const ItemIdList other = fx.Space().ParseDisplayName(fx.Root() + "/elsewhere");
    ASSERT_GE(other.Count(), 3u);
    EXPECT_EQ(other.Item(1), "/");
    EXPECT_EQ(fx.Space().PathOf(other), fx.Root() + "/elsewhere");
}

TEST_F(ShellNamespaceTest, ParseRefusesMissingAndRelativePaths) {
    EXPECT_TRUE(fx.Space().ParseDisplayName(fx.HomePath() + "/missing").IsNull());
    EXPECT_TRUE(fx.Space().ParseDisplayName("home").IsNull());
    EXPECT_TRUE(fx.Space().ParseDisplayName("").IsNull());
}

TEST_F(ShellNamespaceTest, VirtualItemsHaveNoPath) {
    EXPECT_EQ(fx.Space().PathOf(ItemIdList::Empty()), "");
    EXPECT_EQ(fx.Space().PathOf(ItemIdList({kComputer})), "");
    EXPECT_EQ(fx.Space().PathOf(ItemIdList::Null()), "");
    // Identifiers that no item can have lead nowhere.
    EXPECT_EQ(fx.Space().PathOf(ItemIdList({kHome, ".."})), "");
    EXPECT_EQ(fx.Space().PathOf(ItemIdList({kComputer, "relative"})), "");
    EXPECT_EQ(fx.Space().PathOf(ItemIdList({"stranger"})), "");
}

TEST_F(ShellNamespaceTest, EnumerationFlags) {
    fx.MakeDir("home/d");
    fx.MakeDir("home/.hidden");
    fx.MakeFile("home/f.txt");
    fx.MakeFile("home/.dotfile");
    fx.MakeLink(fx.HomePath() + "/d", "home/linkdir");
    const auto home = fx.Space().BindToFolder(ItemIdList({kHome}));
    auto sorted = [](std::vector<std::string> v) {
        std::sort(v.begin(), v.end());
        return v;
    };
    EXPECT_EQ(sorted(Names(*home, EnumFlag::Folders)), (std::vector<std::string>{"d", "linkdir"}));
    EXPECT_EQ(sorted(Names(*home, EnumFlag::NonFolders)), (std::vector<std::string>{"f.txt"}));
    EXPECT_EQ(
        sorted(Names(*home, EnumFlag::Folders | EnumFlag::NonFolders | EnumFlag::IncludeHidden)),
        (std::vector<std::string>{".dotfile", ".hidden", "d", "f.txt", "linkdir"}));
}

TEST_F(ShellNamespaceTest, AFolderThatCannotBeOpenedGivesNoEnumerator) {
    fx.MakeFile("home/plain");
    EXPECT_FALSE(
        fx.Space().BindToFolder(ItemIdList({kHome, "missing"}))->EnumObjects(EnumFlag::Folders));
    EXPECT_FALSE(
        fx.Space().BindToFolder(ItemIdList({kHome, "plain"}))->EnumObjects(EnumFlag::Folders));
    EXPECT_FALSE(fx.Space().BindToFolder(ItemIdList::Null()));
}

}  // namespace
