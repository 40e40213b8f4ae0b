#include "platform/shell/ShellFolder.h"
#include "platform/shell/ShellNamespace.h"
#include "tests/platform/shell/ShellFixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using platform::ItemIdList;
using platform::ShellNamespace;
using shelltest::ShellFixture;
namespace Attr = platform::ShellAttr;
namespace EnumFlag = platform::EnumFlag;

const std::string kHome = ShellNamespace::kHomeKey;
const std::string kComputer = ShellNamespace::kComputerKey;
constexpr std::uint32_t kAll = 0xFFFFFFFF;

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

class ShellFolderTest : public ::testing::Test {
  protected:
    std::shared_ptr<const platform::ShellFolder> Home() const {
        return fx.Space().BindToFolder(ItemIdList({kHome}));
    }
    std::uint32_t HomeItem(const std::string& name, std::uint32_t requested = kAll,
                           unsigned scope = EnumFlag::IncludeHidden) const {
        return Home()->GetAttributesOf(ItemIdList({name}), requested, scope);
    }
    ShellFixture fx;
};

TEST_F(ShellFolderTest, AttributesOfFileSystemItems) {
    fx.MakeDir("home/dir");
    fx.MakeFile("home/file.jpg");
    fx.MakeDir("home/.hiddendir");
    fx.MakeLink(fx.HomePath() + "/dir", "home/dirlink");
    fx.MakeLink(fx.HomePath() + "/gone", "home/dangling");
    struct Case {
        const char* name;
        std::uint32_t present;
        std::uint32_t absent;
    };
    const std::vector<Case> cases = {
        {"dir", Attr::Folder | Attr::FileSystem | Attr::FileSysAncestor | Attr::CanRename,
         Attr::Hidden | Attr::Link | Attr::Removable},
        {"file.jpg", Attr::FileSystem | Attr::CanRename, Attr::Folder | Attr::HasSubfolder},
        {".hiddendir", Attr::Folder | Attr::Hidden, Attr::Link},
        {"dirlink", Attr::Folder | Attr::Link | Attr::FileSystem, Attr::Hidden},
        {"dangling", Attr::Link | Attr::FileSystem, Attr::Folder},
        {"missing", 0, kAll},
    };
    for (const Case& c : cases) {
        const std::uint32_t got = HomeItem(c.name);
        EXPECT_EQ(got & c.present, c.present) << c.name;
        EXPECT_EQ(got & c.absent, 0u) << c.name;
    }
    // Only what was asked for comes back.
    EXPECT_EQ(HomeItem("dir", Attr::Folder), Attr::Folder);
}

TEST_F(ShellFolderTest, HasSubfolderReadsUntilTheFirstSubfolder) {
    fx.MakeFile("home/onlyfile/a.txt");
    fx.MakeDir("home/onlyhidden/.sub");
    fx.MakeDir("home/withsub/sub");
    fx.MakeDir("home/withlink");
    fx.MakeDir("home/target");
    fx.MakeLink(fx.HomePath() + "/target", "home/withlink/to");
    fx.MakeDir("home/empty");
    const unsigned visible = EnumFlag::Folders;
    const unsigned hidden = EnumFlag::Folders | EnumFlag::IncludeHidden;
    EXPECT_FALSE(HomeItem("onlyfile", Attr::HasSubfolder, hidden));
    EXPECT_FALSE(HomeItem("empty", Attr::HasSubfolder, hidden));
    EXPECT_TRUE(HomeItem("withsub", Attr::HasSubfolder, visible));
    EXPECT_TRUE(HomeItem("withlink", Attr::HasSubfolder, visible));
    EXPECT_FALSE(HomeItem("onlyhidden", Attr::HasSubfolder, visible));
    EXPECT_TRUE(HomeItem("onlyhidden", Attr::HasSubfolder, hidden));
}

TEST_F(ShellFolderTest, AttributesOfRootsAndVirtualItems) {
    const auto desktop = fx.Space().Desktop();
    const auto computer = fx.Space().BindToFolder(ItemIdList({kComputer}));
    const std::uint32_t computerAttrs = desktop->GetAttributesOf(ItemIdList({kComputer}), kAll);
    EXPECT_TRUE(computerAttrs & Attr::Folder);
    EXPECT_TRUE(computerAttrs & Attr::FileSysAncestor);
    EXPECT_FALSE(computerAttrs & Attr::FileSystem);
    EXPECT_TRUE(computerAttrs & Attr::HasSubfolder);

    const std::uint32_t homeAttrs = desktop->GetAttributesOf(ItemIdList({kHome}), kAll);
    EXPECT_TRUE(homeAttrs & Attr::FileSystem);
    EXPECT_FALSE(homeAttrs & Attr::CanRename);

    const std::uint32_t share = computer->GetAttributesOf(ItemIdList({fx.SharePath()}), kAll);
    EXPECT_TRUE(share & Attr::FileSystem);
    EXPECT_FALSE(share & Attr::Removable);
    EXPECT_FALSE(share & Attr::CanRename);
    // The CD drive is removable; its mount point is never read for that answer.
    const std::uint32_t cd =
        computer->GetAttributesOf(ItemIdList({fx.CdPath()}), Attr::Removable | Attr::Folder);
    EXPECT_EQ(cd, Attr::Removable | Attr::Folder);
}

TEST_F(ShellFolderTest, SiblingOrderFoldersFirstThenNaturalNames) {
    for (const char* dir : {"b10", "B2", "a", "Zed"})
        fx.MakeDir(std::string("home/") + dir);
    for (const char* file : {"0.txt", "a.txt", "A.txt", "b2.txt", "b10.txt"})
        fx.MakeFile(std::string("home/") + file);
    std::vector<std::string> names = {"0.txt", "b10",    "a.txt", "B2",     "A.txt",
                                      "a",     "b2.txt", "Zed",   "b10.txt"};
    std::shuffle(names.begin(), names.end(), std::mt19937(3));
    const auto home = Home();
    std::sort(names.begin(), names.end(), [&](const std::string& x, const std::string& y) {
        return home->CompareIDs(ItemIdList({x}), ItemIdList({y})) < 0;
    });
    EXPECT_EQ(names, (std::vector<std::string>{"a", "B2", "b10", "Zed", "0.txt", "A.txt", "a.txt",
                                               "b2.txt", "b10.txt"}));
}

TEST_F(ShellFolderTest, CompareFromTheDesktop) {
    const auto& space = fx.Space();
    const ItemIdList home({kHome});
    const ItemIdList computer({kComputer});
    const ItemIdList root({kComputer, "/"});
    const ItemIdList share({kComputer, fx.SharePath()});
    EXPECT_LT(space.CompareIDs(home, computer), 0);
    EXPECT_LT(space.CompareIDs(root, share), 0);
    EXPECT_LT(space.CompareIDs(computer, root), 0);  // a parent before its children
    EXPECT_EQ(space.CompareIDs(share, ItemIdList({kComputer, fx.SharePath()})), 0);
    EXPECT_NE(space.CompareIDs(ItemIdList({kHome, "a"}), ItemIdList({kHome, "A"})), 0);
    EXPECT_EQ(space.CompareIDs(ItemIdList::Empty(), ItemIdList::Empty()), 0);
    EXPECT_LT(space.CompareIDs(ItemIdList::Null(), ItemIdList::Empty()), 0);
}

TEST_F(ShellFolderTest, AFolderNamesItselfByTheEmptyList) {
    fx.MakeDir("home/photos");
    const auto photos = fx.Space().BindToFolder(ItemIdList({kHome, "photos"}));
    ASSERT_NE(photos, nullptr);
    EXPECT_EQ(photos->GetDisplayNameOf(ItemIdList::Empty(), platform::NameKind::InFolder),
              "photos");
}

TEST_F(ShellFolderTest, RenameMovesTheItemButNeverReplacesNorTakesBadNamesOrRoots) {
    fx.MakeFile("home/old/inside.txt");
    const auto result = Home()->SetNameOf(ItemIdList({"old"}), "new name");
    ASSERT_TRUE(result.Succeeded());
    EXPECT_EQ(result.item, ItemIdList({"new name"}));
    EXPECT_FALSE(Exists(fx.HomePath() + "/old"));
    EXPECT_TRUE(Exists(fx.HomePath() + "/new name/inside.txt"));

    fx.MakeFile("home/item");
    fx.MakeFile("home/taken.txt");
    fx.MakeDir("home/emptydir");
    EXPECT_EQ(Home()->SetNameOf(ItemIdList({"item"}), "taken.txt").error, EEXIST);
    EXPECT_EQ(Home()->SetNameOf(ItemIdList({"new name"}), "emptydir").error, EEXIST);
    EXPECT_TRUE(Exists(fx.HomePath() + "/new name"));
    const std::vector<std::string> badNames = {"", "/", ".", "..", "a/b", std::string(1, '\0')};
    for (const std::string& bad : badNames) {
        const auto refused = Home()->SetNameOf(ItemIdList({"item"}), bad);
        EXPECT_FALSE(refused.Succeeded()) << "'" << bad << "'";
        EXPECT_TRUE(refused.item.IsNull());
    }
    EXPECT_EQ(Home()->SetNameOf(ItemIdList({"item"}), std::string(300, 'x')).error, ENAMETOOLONG);
    EXPECT_TRUE(Exists(fx.HomePath() + "/item"));
    EXPECT_FALSE(fx.Space().Desktop()->SetNameOf(ItemIdList({kHome}), "x").Succeeded());
    const auto computer = fx.Space().BindToFolder(ItemIdList({kComputer}));
    EXPECT_FALSE(computer->SetNameOf(ItemIdList({fx.SharePath()}), "x").Succeeded());
    EXPECT_FALSE(Home()->SetNameOf(ItemIdList({"missing"}), "x").Succeeded());
}

}  // namespace
