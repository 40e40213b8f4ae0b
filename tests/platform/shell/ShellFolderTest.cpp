#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <string>
#include <vector>

#include "platform/shell/ShellFolder.h"
#include "platform/shell/ShellNamespace.h"
#include "tests/platform/shell/ShellFixture.h"

namespace {

using platform::ItemIdList;
using platform::ShellNamespace;
using platform_test::PathExists;
namespace Attr = platform::ShellAttr;
namespace EnumFlag = platform::EnumFlag;

const std::string kHome = ShellNamespace::kHomeKey;
const std::string kComputer = ShellNamespace::kComputerKey;
constexpr std::uint32_t kAll = 0xFFFFFFFF;

class ShellFolderTest : public ::testing::Test {
  protected:
    std::shared_ptr<const platform::ShellFolder> Home() const {
        return fx.Space().BindToFolder(ItemIdList({kHome}));
    }
    std::shared_ptr<const platform::ShellFolder> Computer() const {
        return fx.Space().BindToFolder(ItemIdList({kComputer}));
    }
    std::uint32_t HomeItem(const std::string& name, std::uint32_t requested = kAll,
                           unsigned scope = EnumFlag::IncludeHidden) const {
        return Home()->GetAttributesOf(ItemIdList({name}), requested, scope);
    }
    shelltest::ShellFixture fx;
};

TEST_F(ShellFolderTest, AttributesOfFileSystemItems) {
    fx.MakeDir("home/dir");
    fx.MakeFile("home/file.jpg");
    fx.MakeDir("home/.hiddendir");
    fx.MakeLink(fx.HomePath() + "/dir", "home/dirlink");
    fx.MakeLink(fx.HomePath() + "/gone", "home/dangling");
    const struct {
        const char* name;
        std::uint32_t present;
        std::uint32_t absent;
    } cases[] = {
        {"dir", Attr::Folder | Attr::FileSystem | Attr::FileSysAncestor | Attr::CanRename,
         Attr::Hidden | Attr::Link | Attr::Removable},
        {"file.jpg", Attr::FileSystem | Attr::CanRename, Attr::Folder | Attr::HasSubfolder},
        {".hiddendir", Attr::Folder | Attr::Hidden, Attr::Link},
        {"dirlink", Attr::Folder | Attr::Link | Attr::FileSystem, Attr::Hidden},
        {"dangling", Attr::Link | Attr::FileSystem, Attr::Folder},
        {"missing", 0, kAll},
    };
    for (const auto& c : cases) {
        const std::uint32_t got = HomeItem(c.name);
        EXPECT_EQ(got & c.present, c.present) << c.name;
        EXPECT_EQ(got & c.absent, 0u) << c.name;
    }
    // Only what was asked for comes back.
    EXPECT_EQ(HomeItem("dir", Attr::Folder), Attr::Folder);
}

// A subfolder is one the scope lists: hidden ones count only when hidden items do.
TEST_F(ShellFolderTest, HasSubfolderReadsUntilTheFirstSubfolderInScope) {
    fx.MakeFile("home/onlyfile/a.txt");
    fx.MakeDir("home/onlyhidden/.sub");
    fx.MakeDir("home/withsub/sub");
    fx.MakeLink(fx.MakeDir("home/target"), "home/withlink/to");
    fx.MakeDir("home/empty");
    const unsigned visible = EnumFlag::Folders;
    const unsigned hidden = EnumFlag::Folders | EnumFlag::IncludeHidden;
    const std::tuple<const char*, unsigned, bool> cases[] = {
        {"onlyfile", hidden, false}, {"empty", hidden, false},       {"withsub", visible, true},
        {"withlink", visible, true}, {"onlyhidden", visible, false}, {"onlyhidden", hidden, true}};
    for (const auto& [name, scope, expected] : cases) {
        EXPECT_EQ(HomeItem(name, Attr::HasSubfolder, scope) != 0, expected) << name;
    }
}

TEST_F(ShellFolderTest, AttributesAndNamesOfRootsAndVirtualItems) {
    const auto desktop = fx.Space().Desktop();
    const std::uint32_t computer = desktop->GetAttributesOf(ItemIdList({kComputer}), kAll);
    const std::uint32_t asFolder = Attr::Folder | Attr::FileSysAncestor | Attr::HasSubfolder;
    EXPECT_EQ(computer & asFolder, asFolder);
    EXPECT_FALSE(computer & Attr::FileSystem);
    const std::uint32_t home = desktop->GetAttributesOf(ItemIdList({kHome}), kAll);
    EXPECT_TRUE(home & Attr::FileSystem);
    EXPECT_FALSE(home & Attr::CanRename);
    const std::uint32_t share = Computer()->GetAttributesOf(ItemIdList({fx.SharePath()}), kAll);
    EXPECT_TRUE(share & Attr::FileSystem);
    EXPECT_FALSE(share & (Attr::Removable | Attr::CanRename));
    // The CD drive is removable; its mount point is never read for that answer.
    EXPECT_EQ(
        Computer()->GetAttributesOf(ItemIdList({fx.CdPath()}), Attr::Removable | Attr::Folder),
        Attr::Removable | Attr::Folder);
    // A folder names itself by the empty list.
    fx.MakeDir("home/photos");
    const auto photos = fx.Space().BindToFolder(ItemIdList({kHome, "photos"}));
    ASSERT_NE(photos, nullptr);
    EXPECT_EQ(photos->GetDisplayNameOf(ItemIdList::Empty(), platform::NameKind::InFolder),
              "photos");
}

TEST_F(ShellFolderTest, SiblingsGoFoldersFirstThenNaturalNamesAndParentsBeforeChildren) {
    for (const char* dir : {"b10", "B2", "a", "Zed"})
        fx.MakeDir(std::string("home/") + dir);
    for (const char* file : {"0.txt", "a.txt", "A.txt", "b2.txt", "b10.txt"})
        fx.MakeFile(std::string("home/") + file);
    const std::vector<std::string> ordered = {"a",     "B2",    "b10",    "Zed",    "0.txt",
                                              "A.txt", "a.txt", "b2.txt", "b10.txt"};
    std::vector<std::string> names = ordered;
    std::shuffle(names.begin(), names.end(), std::mt19937(3));
    const auto home = Home();
    std::sort(names.begin(), names.end(), [&](const std::string& x, const std::string& y) {
        return home->CompareIDs(ItemIdList({x}), ItemIdList({y})) < 0;
    });
    EXPECT_EQ(names, ordered);

    const auto& space = fx.Space();
    const ItemIdList share({kComputer, fx.SharePath()});
    EXPECT_LT(space.CompareIDs(ItemIdList({kHome}), ItemIdList({kComputer})), 0);
    EXPECT_LT(space.CompareIDs(ItemIdList({kComputer, "/"}), share), 0);
    EXPECT_LT(space.CompareIDs(ItemIdList({kComputer}), ItemIdList({kComputer, "/"})), 0);
    EXPECT_EQ(space.CompareIDs(share, ItemIdList({kComputer, fx.SharePath()})), 0);
    EXPECT_NE(space.CompareIDs(ItemIdList({kHome, "a"}), ItemIdList({kHome, "A"})), 0);
    EXPECT_EQ(space.CompareIDs(ItemIdList::Empty(), ItemIdList::Empty()), 0);
    EXPECT_LT(space.CompareIDs(ItemIdList::Null(), ItemIdList::Empty()), 0);
}

TEST_F(ShellFolderTest, RenameMovesTheItemButNeverReplacesNorTakesBadNamesOrRoots) {
    fx.MakeFile("home/old/inside.txt");
    const auto result = Home()->SetNameOf(ItemIdList({"old"}), "new name");
    ASSERT_TRUE(result.Succeeded());
    EXPECT_EQ(result.item, ItemIdList({"new name"}));
    EXPECT_FALSE(PathExists(fx.HomePath() + "/old"));
    EXPECT_TRUE(PathExists(fx.HomePath() + "/new name/inside.txt"));

    fx.MakeFile("home/item");
    fx.MakeFile("home/taken.txt");
    fx.MakeDir("home/emptydir");
    EXPECT_EQ(Home()->SetNameOf(ItemIdList({"item"}), "taken.txt").error, EEXIST);
    EXPECT_EQ(Home()->SetNameOf(ItemIdList({"new name"}), "emptydir").error, EEXIST);
    EXPECT_EQ(Home()->SetNameOf(ItemIdList({"item"}), std::string(300, 'x')).error, ENAMETOOLONG);
    for (const std::string& bad : std::vector<std::string>{"", "/", ".", "..", "a/b", {"\0", 1}}) {
        const auto refused = Home()->SetNameOf(ItemIdList({"item"}), bad);
        EXPECT_FALSE(refused.Succeeded()) << "'" << bad << "'";
        EXPECT_TRUE(refused.item.IsNull());
    }
    EXPECT_TRUE(PathExists(fx.HomePath() + "/new name"));
    EXPECT_TRUE(PathExists(fx.HomePath() + "/item"));
    EXPECT_FALSE(fx.Space().Desktop()->SetNameOf(ItemIdList({kHome}), "x").Succeeded());
    EXPECT_FALSE(Computer()->SetNameOf(ItemIdList({fx.SharePath()}), "x").Succeeded());
    EXPECT_FALSE(Home()->SetNameOf(ItemIdList({"missing"}), "x").Succeeded());
}

}  // namespace
