// The UI thread never waits on a folder's contents. Folders whose reads stall (a network
// share whose folders take long to list; folders of many files on a file system that keeps
// no link counts, so that each must be read to know whether it holds a subfolder) are
// shown, scrolled, opened, closed while being read and refreshed, while a 1 ms timer
// measures the longest time the UI thread goes without turning its event loop. A read on
// the UI thread would be a gap of a whole stall; the namespace also counts the reads of
// those folders made on the UI thread, which must be none. And the workers read a folder
// for its button where a link count cannot tell (links to folders), but not again while
// it is unchanged.

#include "tests/Components/PkgFolder/FolderTreeTestBase.h"
#include "tests/common/EventLoopGaps.h"

#include <QScrollBar>
#include <QTest>

#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace {

constexpr auto kStall = std::chrono::milliseconds(150);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr double kLongestGapMs = 140;  // sanitizers slow the tree's own work down
#else
constexpr double kLongestGapMs = 100;
#endif

struct ReadCounts {
    std::atomic<int> onUiThread{0};  // of the slow folders
    std::atomic<int> elsewhere{0};
    std::mutex mutex;
    std::map<std::string, int> byPath;  // of every folder
    std::vector<std::string> order;     // every folder read, in the order the reads began
};

class SlowFolders : public FolderTreeTestBase {
  protected:
    explicit SlowFolders(const std::string& base = {}) : FolderTreeTestBase(base) {}
    // Reads of folders within `slow` (the folder included; none when empty) stall.
    void MakeSlowTree(const std::string& slow, bool useLinkCounts) {
        MakeSlowTree(slow.empty() ? std::vector<std::string>{} : std::vector{slow}, useLinkCounts);
    }
    void MakeSlowTree(const std::vector<std::string>& slow, bool useLinkCounts) {
        platform::DirectoryAccess access;
        access.useLinkCounts = useLinkCounts;
        access.beforeRead = [reads = reads, slow,
                             ui = std::this_thread::get_id()](const std::string& path) {
            {
                std::lock_guard lock(reads->mutex);
                ++reads->byPath[path];
                reads->order.push_back(path);
            }
            if (std::none_of(slow.begin(), slow.end(), [&](const std::string& folder) {
                    return platform::PathIsWithin(path, folder);
                }))
                return;
            ++(std::this_thread::get_id() == ui ? reads->onUiThread : reads->elsewhere);
            std::this_thread::sleep_for(kStall);
        };
        space = fx.SpaceWith(std::move(access));
        MakeTree([](TFolderTree& t) {
            t.SetFiles(false);  // as the program's tree
            t.SetHideFolders(false);
        });
        ASSERT_TRUE(WaitUntil([this] { return tree->GetCount() > 0; }));
        tree->Watcher().StopAll();  // passes run when the test asks
    }
    // Opens an item as a click on its button does, and waits until it is read.
    void Open(HTREEITEM item) {
        ASSERT_NE(item, 0u);
        tree->expand(IndexOf(item));
        ASSERT_TRUE(WaitUntil([&] { return !tree->IsPopulating() && tree->IsExpandedOnce(item); }));
    }
    // Opens an item and closes it while it is read; the folder is left unread.
    void OpenAndCloseWhileRead(HTREEITEM item) {
        tree->expand(IndexOf(item));
        ASSERT_TRUE(tree->IsPopulating());
        tree->collapse(IndexOf(item));
        EXPECT_FALSE(tree->IsPopulating());
        EXPECT_EQ(tree->GetFirstChild(item), 0u);  // no placeholder left behind
        EXPECT_FALSE(tree->IsExpandedOnce(item));
    }
    void Scroll() {
        QScrollBar* bar = tree->verticalScrollBar();
        for (const int value : {bar->maximum(), bar->maximum() / 2, 0}) {
            bar->setValue(value);
            tree->viewport()->repaint();
            Settle(20);
        }
    }
    // Passes through the refresh thread, each shown once a folder made for it appears.
    void Passes(int count, HTREEITEM parent, const std::string& parentRelative) {
        for (int pass = 0; pass < count; ++pass) {
            const std::string fence = "fence" + std::to_string(fences_++);
            fx.MakeDir(parentRelative + "/" + fence);
            tree->OnFolderChange("/");
            tree->OnChangeFollowTimer();
            ASSERT_TRUE(WaitUntil([&] { return Child(parent, Q(fence)) != 0; })) << pass;
            tree->viewport()->repaint();
        }
    }
    bool ShowsButton(HTREEITEM item) const { return tree->model()->hasChildren(IndexOf(item)); }
    // Makes a tree over folders whose reads stall (MakeSlowTree), runs `scenario` on it and
    // gives the UI thread's longest gap meanwhile. A busy machine can hold up the whole
    // process now and then, but a UI thread that waits for a slow folder does so at every
    // run: a run over the limit is run again once on a fresh tree, and the quieter counts.
    double QuieterRunsGap(const std::string& slow, bool useLinkCounts,
                          const std::function<void()>& scenario) {
        double quieter = 0;
        for (int run = 0; run < 2; ++run) {
            MakeSlowTree(slow, useLinkCounts);
            testloop::GapMeter gaps;
            scenario();
            const double longest = gaps.Longest();
            quieter = run == 0 ? longest : std::min(quieter, longest);
            if (quieter < kLongestGapMs)
                break;
        }
        return quieter;
    }
    // Reads of each folder (below the fixture) since the last call.
    std::vector<int> TakeReads(const std::vector<std::string>& folders) {
        std::lock_guard lock(reads->mutex);
        std::vector<int> counts;
        for (const std::string& folder : folders)
            counts.push_back(reads->byPath[fx.Root() + "/" + folder]);
        reads->byPath.clear();
        return counts;
    }

    std::shared_ptr<ReadCounts> reads = std::make_shared<ReadCounts>();
    int fences_ = 0;
};

// Folders on tmpfs, which keeps link counts.
class CountedFolders : public SlowFolders {
  protected:
    CountedFolders() : SlowFolders("/dev/shm") {}
};

TEST_F(SlowFolders, ANetworkShareIsReadOnlyOnTheWorker) {
    for (int i = 0; i < 40; ++i)
        fx.MakeDir("home/p" + std::to_string(i));  // rows to scroll through
    for (int i = 0; i < 4; ++i)
        fx.MakeDir("net/s" + std::to_string(i));
    fx.MakeDir("net/s1/inner");
    HTREEITEM share = 0;
    const double longestGap = QuieterRunsGap(fx.SharePath(), true, [&] {
        const HTREEITEM computer = Child(tree->GetRootItem(), "Computer");
        Open(computer);
        Open(Child(tree->GetRootItem(), "Home"));
        share = Child(computer, "net");
        EXPECT_TRUE(ShowsButton(share));
        tree->SetSelected(share);  // a selected drive is checked for a medium, not by reading
        SettleSelection();
        EXPECT_EQ(tree->GetSelected(), share);
        Open(share);
        Scroll();
        OpenAndCloseWhileRead(Child(share, "s0"));
        Open(Child(share, "s1"));
        EXPECT_EQ(ChildTexts(Child(share, "s1")), std::vector<QString>{"inner"});
        const HTREEITEM s2 = Child(share, "s2");
        tree->SetSelected(s2);
        QTest::keyClick(tree.get(), Qt::Key_Asterisk);  // opens the current item
        ASSERT_TRUE(WaitUntil([&] { return !tree->IsPopulating() && tree->IsExpandedOnce(s2); }));
        Passes(5, share, "net");
    });
    // The share's folders keep their buttons without being read, empty or not.
    for (const char* name : {"s0", "s2", "s3", "fence0"})
        EXPECT_TRUE(ShowsButton(Child(share, name))) << name;
    EXPECT_LT(longestGap, kLongestGapMs);
    EXPECT_EQ(reads->onUiThread, 0);
    EXPECT_GT(reads->elsewhere, 0);
}

TEST_F(SlowFolders, FoldersOfManyFilesAreReadOnlyOnTheWorkers) {
    for (int i = 0; i < 40; ++i)
        fx.MakeDir("home/p" + std::to_string(i));
    for (int f = 0; f < 4; ++f) {
        for (int i = 0; i < 500; ++i)
            std::ofstream(fx.MakeDir("home/many/f" + std::to_string(f)) + "/" + std::to_string(i) +
                          ".jpg");
    }
    fx.MakeDir("home/many/f4/sub");
    HTREEITEM many = 0;
    const double longestGap = QuieterRunsGap(fx.HomePath() + "/many", false, [&] {
        const HTREEITEM home = Child(tree->GetRootItem(), "Home");
        Open(home);
        many = Child(home, "many");
        Open(many);
        Scroll();
        OpenAndCloseWhileRead(Child(many, "f4"));
        Open(Child(many, "f4"));
        Passes(5, many, "home/many");
    });
    // Worked out on the workers by reading: folders of files only have no button.
    for (const char* name : {"f0", "f1", "f2", "f3"})
        EXPECT_FALSE(ShowsButton(Child(many, name))) << name;
    EXPECT_LT(longestGap, kLongestGapMs);
    EXPECT_EQ(reads->onUiThread, 0);
    EXPECT_GT(reads->elsewhere, 0);
}

// Selecting a folder by its path opens the folders above it at once, on the UI thread;
// the buttons of the folders they hold are still worked out on the workers.
TEST_F(SlowFolders, ALookupLeavesTheButtonsToTheWorkers) {
    fx.MakeDir("home/other");
    for (int i = 0; i < 4; ++i)
        fx.MakeDir("home/pics/f" + std::to_string(i));
    const double longestGap = QuieterRunsGap(fx.HomePath() + "/pics", true, [&] {
        const int readBefore = reads->elsewhere;
        tree->SelectFolder(Q(fx.HomePath() + "/other"));
        ASSERT_TRUE(
            WaitUntil([&] { return PathOf(tree->GetSelected()) == fx.HomePath() + "/other"; }));
        const HTREEITEM pics = Child(Child(tree->GetRootItem(), "Home"), "pics");
        EXPECT_TRUE(WaitUntil([&] { return reads->elsewhere > readBefore; }));
        EXPECT_TRUE(ShowsButton(pics));
    });
    EXPECT_LT(longestGap, kLongestGapMs);
    EXPECT_EQ(reads->onUiThread, 0);
}

// The buttons of a large folder's items past the first 256 are worked out after it is shown,
// a step at a time; a folder opened meanwhile is read once the button being worked out is
// done, not after the whole step, which goes on afterwards.
TEST_F(SlowFolders, AFolderOpenedWhileButtonsAreWorkedOutIsReadNext) {
    for (int i = 0; i < 256; ++i)
        fx.MakeDir("home/wide/a" + std::to_string(i));
    std::vector<std::string> slow;
    for (int i = 0; i < 4; ++i)
        slow.push_back(fx.MakeDir("home/wide/z" + std::to_string(i)));
    fx.MakeDir("home/other/inner");
    MakeSlowTree(slow, false);  // without link counts every button is a read
    const HTREEITEM home = Child(tree->GetRootItem(), "Home");
    Open(home);
    const HTREEITEM wide = Child(home, "wide");
    Open(wide);
    ASSERT_TRUE(WaitUntil([&] { return reads->elsewhere > 0; }));  // the step is on z0
    Open(Child(home, "other"));
    EXPECT_EQ(ChildTexts(Child(home, "other")), std::vector<QString>{"inner"});
    ASSERT_TRUE(WaitUntil([&] { return reads->elsewhere == 4; }));
    EXPECT_TRUE(WaitUntil([&] { return !ShowsButton(Child(wide, "z3")); }));
    EXPECT_EQ(reads->onUiThread, 0);
    // Opened while z0 was read, "other" is read (its last read: its button was read with
    // "home") after z0, or after z1 on a busy machine, never after the whole step.
    std::lock_guard lock(reads->mutex);
    const auto lastReadAt = [&](const std::string& folder) {
        const auto last = std::find(reads->order.rbegin(), reads->order.rend(),
                                    fx.Root() + "/" + folder);
        return reads->order.rend() - last - 1;
    };
    EXPECT_LT(lastReadAt("home/other"), lastReadAt("home/wide/z3"));
}

// A folder holding only links to folders (pictures kept on another disk) is a folder of
// folders to the tree, though its link count of 2 says it holds no directories of its own:
// it gets its button from the population worker, and from a pass once a link is made in a
// folder that had no button.
TEST_F(CountedFolders, FoldersOfLinksToFoldersGetTheirButtons) {
    fx.MakeLink(fx.MakeDir("disk/trip"), "home/photos/trip");
    fx.MakeLink(fx.Root() + "/nowhere", "home/dangling/trip");
    fx.MakeDir("home/plain");
    struct statfs fs {};
    struct stat st {};
    ASSERT_EQ(::statfs(fx.Root().c_str(), &fs), 0);
    ASSERT_EQ(fs.f_type, TMPFS_MAGIC) << "/dev/shm is no tmpfs: the counts are not tested";
    ASSERT_EQ(::stat((fx.HomePath() + "/photos").c_str(), &st), 0);
    ASSERT_EQ(st.st_nlink, 2u);
    MakeSlowTree("", true);
    const HTREEITEM home = Child(tree->GetRootItem(), "Home");
    Open(home);
    EXPECT_TRUE(ShowsButton(Child(home, "photos")));
    EXPECT_FALSE(ShowsButton(Child(home, "dangling")));
    EXPECT_FALSE(ShowsButton(Child(home, "plain")));
    fx.MakeLink(fx.Root() + "/disk", "home/plain/disk");
    Passes(1, home, "home");
    EXPECT_TRUE(ShowsButton(Child(home, "plain")));
}

// A pass does not read again a folder whose button is known and that has not changed since
// (without link counts, as on btrfs, a folder of many files would be read to its end at
// every pass); it reads one that changed. Buttons worked out by the population worker's
// read, by its later steps (past the first 256 items) and by a pass are kept alike (for
// children of a folder the pass reads, and for a drive whose own button it works out); one
// worked out just after its folder changed is not.
TEST_F(CountedFolders, PassesReadOnlyTheFoldersThatChanged) {
    fx.AddFixedDrive("disk", "8:2");
    const std::vector<std::string> many = {"home/early/many", "home/late/a-many",
                                           "home/late/z-many", "drives/disk"};
    for (const std::string& folder : many) {
        for (int i = 0; i < 500; ++i)
            fx.MakeFile(folder + "/" + std::to_string(i) + ".jpg");
    }
    for (int i = 0; i < 300; ++i)
        fx.MakeDir("home/late/b" + std::to_string(i));
    MakeSlowTree("", false);
    const HTREEITEM home = Child(tree->GetRootItem(), "Home");
    Open(home);
    // Their folders are fresh: the buttons of early/many and of the drive are not kept.
    Open(Child(home, "early"));
    Open(Child(tree->GetRootItem(), "Computer"));
    using Clock = std::chrono::system_clock;
    const auto changed = [&](const std::string& folder) {
        struct stat st {};
        ::stat((fx.Root() + "/" + folder).c_str(), &st);
        return Clock::time_point(std::chrono::seconds(st.st_ctim.tv_sec) +
                                 std::chrono::nanoseconds(st.st_ctim.tv_nsec));
    };
    for (const std::string& folder : many) {
        ASSERT_TRUE(WaitUntil(
            [&] { return Clock::now() - changed(folder) > std::chrono::milliseconds(2100); }));
    }
    const HTREEITEM late = Child(home, "late");
    Open(late);
    ASSERT_TRUE(WaitUntil([&] { return !ShowsButton(Child(late, "z-many")); }));  // the steps
    TakeReads(many);
    Passes(1, home, "home");
    EXPECT_EQ(TakeReads(many), (std::vector<int>{1, 0, 0, 1}));
    Passes(1, home, "home");
    EXPECT_EQ(TakeReads(many), (std::vector<int>{0, 0, 0, 0}));
    fx.MakeFile("home/late/a-many/new.jpg");
    fx.MakeFile("drives/disk/new.jpg");
    Passes(1, home, "home");
    EXPECT_EQ(TakeReads(many), (std::vector<int>{0, 1, 0, 1}));
}

}  // namespace
