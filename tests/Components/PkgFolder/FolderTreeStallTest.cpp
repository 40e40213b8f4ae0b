// The UI thread never waits on a folder's contents. Folders whose reads stall (a network
// share whose folders take long to list; folders of many files on a file system that keeps
// no link counts, so that each must be read to know whether it holds a subfolder) are
// shown, scrolled, opened, closed while being read and refreshed, while a 1 ms timer
// measures the longest time the UI thread goes without turning its event loop. A read on
// the UI thread would be a gap of a whole stall; the namespace also counts the reads of
// those folders made on the UI thread, which must be none.

#include "tests/Components/PkgFolder/FolderTreeTestBase.h"

#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

constexpr auto kStall = std::chrono::milliseconds(150);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr double kLongestGapMs = 140;  // sanitizers slow the tree's own work down
#else
constexpr double kLongestGapMs = 100;
#endif

struct ReadCounts {
    std::atomic<int> onUiThread{0};
    std::atomic<int> elsewhere{0};
};

// The longest time between two runs of a 1 ms timer.
class GapMeter {
  public:
    GapMeter() {
        beat_.setTimerType(Qt::PreciseTimer);
        beat_.setInterval(1);
        QObject::connect(&beat_, &QTimer::timeout, [this] { Beat(); });
        clock_.start();
        beat_.start();
    }
    double Longest() {
        Beat();
        return longest_;
    }

  private:
    void Beat() {
        longest_ = std::max(longest_, clock_.nsecsElapsed() / 1e6);
        clock_.restart();
    }
    QTimer beat_;
    QElapsedTimer clock_;
    double longest_ = 0;
};

class SlowFolders : public FolderTreeTestBase {
  protected:
    // Reads of folders within `slow` (the folder included) stall.
    void MakeSlowTree(const std::string& slow, bool useLinkCounts) {
        platform::DirectoryAccess access;
        access.useLinkCounts = useLinkCounts;
        access.beforeRead = [reads = reads, slow,
                             ui = std::this_thread::get_id()](const std::string& path) {
            if (!platform::PathIsWithin(path, slow))
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
            const std::string fence = "fence" + std::to_string(pass);
            fx.MakeDir(parentRelative + "/" + fence);
            tree->OnFolderChange("/");
            tree->OnChangeFollowTimer();
            ASSERT_TRUE(WaitUntil([&] { return Child(parent, Q(fence)) != 0; })) << pass;
            tree->viewport()->repaint();
        }
    }
    bool ShowsButton(HTREEITEM item) const { return tree->model()->hasChildren(IndexOf(item)); }

    std::shared_ptr<ReadCounts> reads = std::make_shared<ReadCounts>();
};

TEST_F(SlowFolders, ANetworkShareIsReadOnlyOnTheWorker) {
    for (int i = 0; i < 40; ++i)
        fx.MakeDir("home/p" + std::to_string(i));  // rows to scroll through
    for (int i = 0; i < 4; ++i)
        fx.MakeDir("net/s" + std::to_string(i));
    fx.MakeDir("net/s1/inner");
    MakeSlowTree(fx.SharePath(), true);
    GapMeter gaps;
    const HTREEITEM computer = Child(tree->GetRootItem(), "Computer");
    Open(computer);
    Open(Child(tree->GetRootItem(), "Home"));
    const HTREEITEM share = Child(computer, "net");
    EXPECT_TRUE(ShowsButton(share));
    tree->SetSelected(share);  // a selected drive is checked for a medium, but not by reading
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
    // The share's folders keep their buttons without being read, empty or not.
    for (const char* name : {"s0", "s2", "s3", "fence0"})
        EXPECT_TRUE(ShowsButton(Child(share, name))) << name;
    EXPECT_LT(gaps.Longest(), kLongestGapMs);
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
    MakeSlowTree(fx.HomePath() + "/many", false);
    GapMeter gaps;
    const HTREEITEM home = Child(tree->GetRootItem(), "Home");
    Open(home);
    const HTREEITEM many = Child(home, "many");
    Open(many);
    Scroll();
    OpenAndCloseWhileRead(Child(many, "f4"));
    Open(Child(many, "f4"));
    Passes(5, many, "home/many");
    // Worked out on the workers by reading: folders of files only have no button.
    for (const char* name : {"f0", "f1", "f2", "f3"})
        EXPECT_FALSE(ShowsButton(Child(many, name))) << name;
    EXPECT_LT(gaps.Longest(), kLongestGapMs);
    EXPECT_EQ(reads->onUiThread, 0);
    EXPECT_GT(reads->elsewhere, 0);
}

}  // namespace
