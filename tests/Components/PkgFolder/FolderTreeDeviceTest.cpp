// Drives that come and go: media through the drive timer (the last event of each drive
// counting), network drives at once. The drives are folders of a temporary directory
// described by a mount table the test rewrites.

#include "Components/PkgFolder/FolderTree.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

namespace {

using Event = TFolderTree::DeviceEvent;

class DeviceTree : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(root + "/home");
        std::filesystem::create_directories(root + "/media/cd/photos");
        std::filesystem::create_directories(root + "/media/card");
        std::filesystem::create_directories(root + "/share");
        WriteMounts({});
        platform::VolumeTable::Sources sources;
        sources.mountInfo = root + "/mountinfo";
        sources.sysfsRoot = root + "/sys";
        sources.labelDir = root + "/labels";
        sources.driveFolders = {root + "/media"};
        volumes = std::make_unique<platform::VolumeTable>(sources);
        tree = std::make_unique<TFolderTree>(
            nullptr, platform::ShellNamespace::Create(*volumes, root + "/home"));
        tree->show();
        QCoreApplication::processEvents();
        computer = Child(tree->GetRootItem(), "Computer");
        tree->ExpandItemNow(computer);
    }
    void WriteMounts(const std::vector<std::string>& lines) {
        std::ofstream out(root + "/mountinfo");
        out << "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n";
        for (const std::string& line : lines)
            out << line << "\n";
    }
    platform::Volume Cd() const {
        return {root + "/media/cd", "iso9660", "/dev/sr0", platform::DriveType::CdRom, ""};
    }
    HTREEITEM Child(HTREEITEM parent, const QString& text) const {
        for (HTREEITEM c = tree->GetFirstChild(parent); c; c = tree->GetNextSibling(c)) {
            if (tree->GetItemText(c) == text)
                return c;
        }
        return 0;
    }

    QTemporaryDir dir;
    std::string root = dir.path().toStdString();
    std::unique_ptr<platform::VolumeTable> volumes;
    std::unique_ptr<TFolderTree> tree;
    HTREEITEM computer = 0;
};

TEST_F(DeviceTree, MediaChangeTheTreeWhenTheDriveTimerHasRun) {
    const std::string cdLine = "31 22 11:0 / " + root + "/media/cd ro - iso9660 /dev/sr0 ro";
    const platform::Volume card{root + "/media/card", "vfat", "/dev/sdb1",
                                platform::DriveType::Removable, ""};
    WriteMounts({"32 22 8:17 / " + root + "/media/card rw - vfat /dev/sdb1 rw"});
    tree->OnDeviceChange(Event::Arrival, card);
    tree->OnDriveRefresh();
    ASSERT_NE(Child(computer, "card"), 0u);
    // The card is pulled while a CD arrives: both drives are handled, each by its last event.
    WriteMounts({cdLine});
    tree->OnDeviceChange(Event::Arrival, card);
    ASSERT_TRUE(tree->DriveTimer().isActive());
    EXPECT_EQ(tree->DriveTimer().interval(), 7000);
    const int remaining = tree->DriveTimer().remainingTime();
    tree->OnDeviceChange(Event::Arrival, Cd());
    tree->OnDeviceChange(Event::RemoveComplete, card);         // the card's last event wins
    EXPECT_LE(tree->DriveTimer().remainingTime(), remaining);  // not restarted
    EXPECT_EQ(Child(computer, "cd"), 0u);
    tree->OnDriveRefresh();
    EXPECT_FALSE(tree->DriveTimer().isActive());
    const HTREEITEM cd = Child(computer, "cd");
    ASSERT_NE(cd, 0u);
    EXPECT_EQ(Child(computer, "card"), 0u);

    tree->ExpandItemNow(cd);
    tree->SetSelected(Child(cd, "photos"));
    WriteMounts({});
    tree->OnDeviceChange(Event::RemoveComplete, Cd());
    tree->OnDriveRefresh();
    EXPECT_EQ(Child(computer, "cd"), 0u);
    EXPECT_EQ(tree->GetSelected(), computer);
}

// A medium's arrival parses its drive item's identifier afresh: the path as a folder of
// "/" (what it was before the medium was mounted there) becomes the drive's own; a path
// that cannot be parsed (the mount point is gone) leaves the identifier as it was.
TEST_F(DeviceTree, AnArrivingMediumReparsesTheDriveIdentifierOrKeepsTheOld) {
    const std::string cd = root + "/media/cd";
    const platform::ItemIdList beforeMount = PidlFromPath(tree->Namespace(), cd);
    WriteMounts({"31 22 11:0 / " + cd + " ro - iso9660 /dev/sr0 ro"});
    const auto arrive = [this] {
        tree->OnDeviceChange(Event::Arrival, Cd());
        tree->OnDriveRefresh();
    };
    arrive();
    const HTREEITEM item = Child(computer, "cd");
    ASSERT_NE(item, 0u);
    const platform::ItemIdList asDrive = tree->GetItemData(item)->absolute.Get();
    ASSERT_NE(asDrive, beforeMount);
    tree->GetItemData(item)->absolute = CShellPidl(beforeMount);
    arrive();
    EXPECT_EQ(tree->GetItemData(item)->absolute.Get(), asDrive);

    std::filesystem::remove_all(cd);
    arrive();
    ASSERT_EQ(Child(computer, "cd"), item);
    EXPECT_EQ(tree->GetItemData(item)->absolute.Get(), asDrive);
}

TEST_F(DeviceTree, NetworkDrivesComeAndGoAtOnce) {
    const std::string share = root + "/share";
    WriteMounts({"40 22 0:50 / " + share + " rw - nfs4 server:/export rw"});
    const platform::Volume drive{share, "nfs4", "server:/export", platform::DriveType::Remote, ""};
    tree->OnDeviceChange(Event::Arrival, drive);
    EXPECT_FALSE(tree->DriveTimer().isActive());
    EXPECT_NE(Child(computer, "share"), 0u);
    EXPECT_TRUE(tree->Watcher().IsRunning(share));
    WriteMounts({});
    tree->OnDeviceChange(Event::RemoveComplete, drive);
    EXPECT_EQ(Child(computer, "share"), 0u);
    EXPECT_FALSE(tree->Watcher().IsRunning(share));
}

// A network share and a card below `root`, each with a second file system mounted over
// it: the mount table's lines without and with the top ones, and the top ones' drives.
struct StackedMounts {
    explicit StackedMounts(const std::string& root)
        : share(root + "/share"),
          card(root + "/media/card"),
          beneath{"40 22 0:50 / " + share + " rw - nfs4 server:/a rw",
                  "32 22 8:17 / " + card + " rw - vfat /dev/sdb1 rw"},
          stacked(beneath),
          tops{{share, "nfs4", "server:/b", platform::DriveType::Remote, ""},
               {card, "ext4", "/dev/sdc1", platform::DriveType::Fixed, ""}} {
        stacked.push_back("41 40 0:51 / " + share + " rw - nfs4 server:/b rw");
        stacked.push_back("33 32 8:33 / " + card + " rw - ext4 /dev/sdc1 rw");
    }
    std::string share;
    std::string card;
    std::vector<std::string> beneath;
    std::vector<std::string> stacked;
    std::vector<platform::Volume> tops;
};

// Mounts stack: when the file system on top of a drive's folder goes, the one beneath is
// still mounted there, so the drive stays, watched and read anew (its watch was on the one
// that went, as it is here on a folder replaced under it).
TEST_F(DeviceTree, ADriveStaysWhileAFileSystemIsStillMountedOnItsFolder) {
    const StackedMounts mounts(root);
    const std::string& share = mounts.share;
    const std::string& card = mounts.card;
    const std::vector<std::string>& beneath = mounts.beneath;
    const std::vector<std::string>& stacked = mounts.stacked;
    const std::vector<platform::Volume>& tops = mounts.tops;
    const auto change = [&](const std::vector<std::string>& mounts, Event event) {
        WriteMounts(mounts);
        for (const platform::Volume& drive : tops)
            tree->OnDeviceChange(event, drive);
        tree->OnDriveRefresh();
    };
    const auto eventually = [](const std::function<bool()>& done) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done() && std::chrono::steady_clock::now() < until) {
            QCoreApplication::processEvents();
            std::this_thread::yield();
        }
        return done();
    };
    const std::pair<const char*, std::string> drives[] = {{"share", share}, {"card", card}};
    for (const auto& [name, path] : drives)
        std::filesystem::create_directory(path + "/top");
    change(stacked, Event::Arrival);
    for (const auto& [name, path] : drives) {
        tree->ExpandItemNow(Child(computer, name));
        ASSERT_TRUE(tree->Watcher().IsWatching(path)) << name;
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path + "/beneath");
        // The watch thread drops the gone folder's watch by itself; the UI thread's events
        // wait meanwhile, or a refresh could watch the new folder before this sees the gap.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (tree->Watcher().IsWatching(path) && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_FALSE(tree->Watcher().IsWatching(path)) << name;
    }
    change(beneath, Event::RemoveComplete);
    tree->OnChangeFollowTimer();  // the pass the drives asked for, without the batch delay
    for (const auto& [name, path] : drives) {
        const HTREEITEM item = Child(computer, name);
        ASSERT_NE(item, 0u) << name;
        EXPECT_TRUE(tree->Watcher().IsWatching(path)) << name;
        EXPECT_TRUE(eventually([&] { return Child(item, "beneath") && !Child(item, "top"); }));
    }
    change({}, Event::RemoveComplete);
    EXPECT_EQ(Child(computer, "share"), 0u);
    EXPECT_EQ(Child(computer, "card"), 0u);
}

// A file system mounted over an open drive, then unmounted: the drive shows the top one's
// folders and then again those beneath, which can be selected. (Each change replaces every
// folder the drive shows, in one pass.)
TEST_F(DeviceTree, AnOpenDriveShowsWhatIsBeneathOnceTheFileSystemOverItGoes) {
    const StackedMounts mounts(root);
    const std::string& share = mounts.share;
    const std::string& card = mounts.card;
    const std::vector<std::string>& beneath = mounts.beneath;
    const std::vector<std::string>& stacked = mounts.stacked;
    const std::vector<platform::Volume>& tops = mounts.tops;
    const std::pair<const char*, std::string> drives[] = {{"share", share}, {"card", card}};
    // What a mount or an unmount shows in each drive's folder, then the events it brings.
    const auto change = [&](const std::vector<std::string>& mounts, Event event, const char* gone,
                            const char* shown) {
        for (const auto& [name, path] : drives) {
            std::filesystem::remove(path + "/" + gone);
            std::filesystem::create_directory(path + "/" + shown);
        }
        WriteMounts(mounts);
        for (const platform::Volume& drive : tops)
            tree->OnDeviceChange(event, drive);
        tree->OnDriveRefresh();
        tree->OnChangeFollowTimer();  // the pass the drives asked for, without the batch delay
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        const auto shows = [&] {
            for (const auto& [name, path] : drives) {
                const HTREEITEM item = Child(computer, name);
                if (!item || !Child(item, shown) || Child(item, gone))
                    return false;
            }
            return true;
        };
        while (!shows() && std::chrono::steady_clock::now() < until) {
            QCoreApplication::processEvents();
            std::this_thread::yield();
        }
        return shows();
    };
    for (const auto& [name, path] : drives)
        std::filesystem::create_directory(path + "/A_from_first");
    WriteMounts(beneath);
    for (const platform::Volume& drive : tops)
        tree->OnDeviceChange(Event::Arrival, drive);
    tree->OnDriveRefresh();
    for (const auto& [name, path] : drives)
        tree->ExpandItemNow(Child(computer, name));
    ASSERT_TRUE(change(stacked, Event::Arrival, "A_from_first", "B_from_second"));
    ASSERT_TRUE(change(beneath, Event::RemoveComplete, "B_from_second", "A_from_first"));
    for (const auto& [name, path] : drives) {
        const HTREEITEM item = Child(computer, name);
        EXPECT_TRUE(tree->IsItemExpanded(item)) << name;
        const HTREEITEM first =
            tree->SFFindTreeItem(PidlFromPath(tree->Namespace(), path + "/A_from_first"));
        EXPECT_EQ(first, Child(item, "A_from_first")) << name;
    }
}

}  // namespace
