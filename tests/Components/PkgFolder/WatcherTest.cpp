// The directory watcher: its settle window with made-up times, the inotify event table,
// and real watches on temporary folders. Waits are bounded condition waits, never sleeps;
// a negative case is fenced by a later change that must be reported alone.

#include "Components/PkgFolder/SettleWindow.h"
#include "Components/PkgFolder/Watcher.h"
#include "platform/Inotify.h"
#include "tests/platform/TempDir.h"

#include <sys/inotify.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>

namespace {

TEST(SettleWindow, ReportsOnceDelayAfterTheFirstChangeOfABurst) {
    SettleWindow window(2000);
    EXPECT_EQ(window.TimeoutMs(0), -1);
    EXPECT_FALSE(window.TakeDue(5000));
    window.Change(100);
    window.Change(1500);  // inside the window: does not move it
    EXPECT_EQ(window.TimeoutMs(1600), 500);
    EXPECT_FALSE(window.TakeDue(2099));
    EXPECT_TRUE(window.TakeDue(2100));
    EXPECT_FALSE(window.TakeDue(2200));  // once
    EXPECT_EQ(window.TimeoutMs(2200), -1);
    window.Change(9000);  // a new burst opens a new window
    EXPECT_EQ(window.TimeoutMs(12000), 0);
    EXPECT_TRUE(window.TakeDue(12000));
}

TEST(InotifyEvents, FilesCountOnlyWhenFollowed) {
    using platform::IsChangeEvent;
    EXPECT_TRUE(IsChangeEvent(IN_CREATE | IN_ISDIR, false));
    EXPECT_TRUE(IsChangeEvent(IN_MOVED_TO | IN_ISDIR, false));
    EXPECT_TRUE(IsChangeEvent(IN_ATTRIB | IN_ISDIR, false));
    EXPECT_FALSE(IsChangeEvent(IN_CREATE, false));
    EXPECT_FALSE(IsChangeEvent(IN_MOVED_FROM, false));
    EXPECT_FALSE(IsChangeEvent(IN_MODIFY, false));
    EXPECT_TRUE(IsChangeEvent(IN_CREATE, true));
    EXPECT_TRUE(IsChangeEvent(IN_MODIFY, true));
    EXPECT_FALSE(IsChangeEvent(IN_OPEN | IN_ISDIR, true));
    // The queue overflowed or the file system went away: whatever was known is stale.
    EXPECT_TRUE(IsChangeEvent(IN_Q_OVERFLOW, false));
    EXPECT_TRUE(IsChangeEvent(IN_UNMOUNT, false));
    EXPECT_TRUE(IsChangeEvent(IN_DELETE_SELF, false));
    EXPECT_EQ(platform::InotifyMaskFor(false) & IN_MODIFY, 0u);
    EXPECT_NE(platform::InotifyMaskFor(true) & IN_MODIFY, 0u);
}

class WatcherTest : public ::testing::Test {
  protected:
    WatcherTest()
        : watcher(
              [this](const std::string& path) {
                  std::lock_guard lock(mutex);
                  reports.push_back(path);
                  arrived.notify_all();
              },
              0) {
        watcher.SetDelay(kDelayMs);
    }

    // Waits (bounded) until `count` reports have arrived; returns what arrived.
    std::vector<std::string> WaitForReports(std::size_t count) {
        std::unique_lock lock(mutex);
        arrived.wait_for(lock, std::chrono::seconds(10), [&] { return reports.size() >= count; });
        return reports;
    }
    std::size_t ReportCount() {
        std::lock_guard lock(mutex);
        return reports.size();
    }
    // Directories are watched by the root's thread: wait (bounded) until it has.
    void WaitUntilWatched(const std::string& directory) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!watcher.IsWatching(directory) && std::chrono::steady_clock::now() < until)
            std::this_thread::yield();
        ASSERT_TRUE(watcher.IsWatching(directory));
    }
    std::string Dir(const std::string& relative) {
        const std::string path = dir / relative;
        ::mkdir(path.c_str(), 0755);
        return path;
    }

    static constexpr int kDelayMs = 100;
    platform_test::TempDir dir;
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::string> reports;
    TWatcher watcher;
};

TEST_F(WatcherTest, ABurstIsOneReportOfTheRootAndRootsAreExactPaths) {
    watcher.SetDelay(1000);  // the whole burst surely falls into one window
    const std::string root = Dir("Root");
    Dir("root");
    watcher.AddWatch(root);
    watcher.AddWatch(root);
    watcher.AddWatch(dir / "root");  // another folder: names keep their case
    EXPECT_EQ(watcher.Roots(), (std::vector<std::string>{root, dir / "root"}));
    const std::string inner = Dir("Root/inner");
    watcher.AddDirectory(inner);
    WaitUntilWatched(inner);
    for (int i = 0; i < 10; ++i)
        Dir("Root/inner/f" + std::to_string(i));
    const int seen = 11;  // the inner folder made in the root, then ten inside it
    EXPECT_EQ(WaitForReports(1), std::vector<std::string>{root});
    // Everything was folded into that one report; a later change is a new one.
    EXPECT_EQ(watcher.ChangesSeen(), seen);
    Dir("Root/later");
    EXPECT_EQ(WaitForReports(2), (std::vector<std::string>{root, root}));
}

TEST_F(WatcherTest, WithoutFilesOnlyFolderChangesCount) {
    const std::string root = Dir("r");
    watcher.AddWatch(root);
    platform_test::WriteFile(root + "/a.jpg", "x");
    std::rename((root + "/a.jpg").c_str(), (root + "/b.jpg").c_str());
    Dir("r/sentinel");
    EXPECT_EQ(WaitForReports(1), std::vector<std::string>{root});
    EXPECT_EQ(watcher.ChangesSeen(), 1);  // the sentinel alone
}

// Folders the tree does not show report nothing; releasing a watch is no change, although
// the kernel confirms it with an event of its own; a root stays watched while the tree
// shows and hides its row.
TEST_F(WatcherTest, OnlyShownFoldersReportAndReleasingOneIsNoChange) {
    const std::string root = Dir("r");
    const std::string shown = Dir("r/shown");
    const std::string released = Dir("r/released");
    const std::vector<std::string> probes = {Dir("r/p1"), Dir("r/p2"), Dir("r/p3")};
    Dir("r/closed");
    watcher.AddWatch(root);
    for (const std::string& directory : {shown, shown, released, root})
        watcher.AddDirectory(directory);
    WaitUntilWatched(released);
    for (const std::string& directory : {shown, released, root})
        watcher.RemoveDirectory(directory);  // shown is still shown once: still watched
    watcher.AddDirectory(probes[0]);         // applied after the removals, in order
    WaitUntilWatched(probes[0]);
    Dir("r/closed/x");
    Dir("r/shown/y");
    Dir("r/z");
    EXPECT_EQ(WaitForReports(1), std::vector<std::string>{root});
    // The turn of the thread's loop that watches the last probe comes after the one that
    // watched the second, which read every event waiting then.
    for (std::size_t i = 1; i < probes.size(); ++i) {
        watcher.AddDirectory(probes[i]);
        WaitUntilWatched(probes[i]);
    }
    EXPECT_EQ(watcher.ChangesSeen(), 2);  // y and z
}

// A folder that changed while its watch was released is a change when it is watched again
// (rows come back on screen): its time is compared with the time when it went.
TEST_F(WatcherTest, AFolderChangedWhileReleasedIsReportedWhenWatchedAgain) {
    const std::string root = Dir("r");
    const std::string back = Dir("r/back");
    const std::string probe = Dir("r/probe");
    std::filesystem::last_write_time(
        back, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
    watcher.AddWatch(root);
    watcher.AddDirectory(back);
    WaitUntilWatched(back);
    watcher.RemoveDirectory(back);
    watcher.AddDirectory(probe);  // applied after the release, in order
    WaitUntilWatched(probe);
    Dir("r/back/made");  // no watch sees this
    watcher.AddDirectory(back);
    EXPECT_EQ(WaitForReports(1), std::vector<std::string>{root});
}

// A directory belongs to the innermost root that holds it, whatever the order the roots
// came in: a network drive mounted below a fixed one keeps its folders (and its polling).
TEST_F(WatcherTest, AFolderIsWatchedByTheInnermostRoot) {
    const std::string outer = Dir("r");
    const std::string middle = Dir("r/a");
    const std::string inner = Dir("r/a/b");
    const std::string shown = Dir("r/a/b/shown");
    watcher.AddWatch(outer);
    watcher.AddWatch(inner);
    watcher.AddWatch(middle);
    watcher.AddDirectory(shown);
    WaitUntilWatched(shown);
    Dir("r/a/b/shown/new");
    EXPECT_EQ(WaitForReports(1), std::vector<std::string>{inner});
}

// inotify sees only this machine's changes to a network folder: network roots compare
// modification times too. A file made in the root is no event without files, but it
// changes the folder's time.
TEST_F(WatcherTest, NetworkRootsFindChangesByModificationTime) {
    watcher.SetRemotePollMs(20);
    const std::string root = Dir("share");
    // An older time than any the change can give, however coarse the clock.
    std::filesystem::last_write_time(
        root, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
    watcher.AddWatch(root, true);
    platform_test::WriteFile(root + "/made-elsewhere.jpg", "x");
    EXPECT_EQ(WaitForReports(1), std::vector<std::string>{root});
    EXPECT_EQ(watcher.ChangesSeen(), 1);
}

TEST_F(WatcherTest, NothingIsReportedAfterRemoveWatchOrDestruction) {
    watcher.SetDelay(60000);  // the window is still open when the watch goes
    const std::string root = Dir("r");
    watcher.AddWatch(root);
    Dir("r/a");
    {
        // The change has been read once it is counted; then the watch is removed.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (watcher.ChangesSeen() == 0 && std::chrono::steady_clock::now() < until)
            std::this_thread::yield();
    }
    ASSERT_EQ(watcher.ChangesSeen(), 1);
    watcher.RemoveWatch(root);  // joins the thread: no report can follow
    EXPECT_EQ(ReportCount(), 0u);
    EXPECT_TRUE(watcher.Roots().empty());
    {
        TWatcher scoped([this](const std::string&) { reports.push_back("late"); }, 0);
        scoped.SetDelay(60000);
        scoped.AddWatch(root);
        Dir("r/b");
    }
    EXPECT_EQ(ReportCount(), 0u);
}

TEST_F(WatcherTest, ResumingRestartsWithTheFlagInForceThen) {
    const std::string root = Dir("r");
    watcher.AddWatch(root);
    watcher.SetPaused(true);
    EXPECT_FALSE(watcher.IsRunning(root));
    EXPECT_EQ(watcher.Roots(), std::vector<std::string>{root});
    watcher.SetWatchFiles(true);
    watcher.SetPaused(false);
    ASSERT_TRUE(watcher.IsRunning(root));
    platform_test::WriteFile(root + "/new.jpg", "x");
    EXPECT_EQ(WaitForReports(1), std::vector<std::string>{root});
}

// Fixed drives are roots; folders on a medium mounted below one are not watched.
TEST_F(WatcherTest, DrivesAreRootsAndMediaAreLeftAlone) {
    const std::string photos = Dir("media") + "/cd/photos";
    std::filesystem::create_directories(photos);
    const std::string other = Dir("other");
    platform_test::WriteFile(dir / "mountinfo",
                             "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n31 22 11:0 / " +
                                 dir / "media/cd ro - iso9660 /dev/sr0 ro\n");
    platform::VolumeTable::Sources sources;
    sources.mountInfo = dir / "mountinfo";
    sources.sysfsRoot = dir / "sys";
    sources.labelDir = dir / "labels";
    sources.driveFolders = {dir / "media"};
    const platform::VolumeTable volumes(sources);
    watcher.WatchDrives(volumes);
    EXPECT_EQ(watcher.Roots(), std::vector<std::string>{"/"});
    watcher.AddDirectory(photos);
    watcher.AddDirectory(other);
    WaitUntilWatched(other);
    EXPECT_FALSE(watcher.IsWatching(photos));
}

TEST_F(WatcherTest, AMissingRootStaysListedWithoutAWatch) {
    watcher.AddWatch(dir / "missing");
    EXPECT_EQ(watcher.Roots(), std::vector<std::string>{dir / "missing"});
    watcher.RemoveWatch("");
    EXPECT_TRUE(watcher.Roots().empty());
    EXPECT_TRUE(watcher.IsStopped());
    watcher.SetDelay(10);
    EXPECT_EQ(watcher.Delay(), 10);  // this watcher's floor is 0; the tree's is 1000
    EXPECT_EQ(TWatcher([](const std::string&) {}).Delay(), 1000);
}

}  // namespace
