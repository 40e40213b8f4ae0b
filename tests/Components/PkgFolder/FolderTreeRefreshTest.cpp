// Following changes on disk: the comparison with the disk, a pass applied to the tree
// (deletions, sorted insertions, the only-child case, errors that keep items), batching of
// reports, the refresh thread racing a rebuild or the tree's end, and real watches.

#include "Components/PkgFolder/ChildButtons.h"
#include "Components/PkgFolder/RefreshPass.h"
#include "tests/Components/PkgFolder/FolderTreeTestBase.h"

#include <QLineEdit>
#include <QScrollBar>
#include <QTest>

#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

namespace {

namespace fs = std::filesystem;

// The inotify watches this process holds, as the kernel lists them for each descriptor.
int KernelWatchCount() {
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fdinfo")) {
        std::ifstream info(entry.path());
        for (std::string line; std::getline(info, line);)
            count += line.rfind("inotify wd:", 0) == 0;
    }
    return count;
}

TEST(ComputeRefresh, OnlyMissingItemsAreGone) {
    shelltest::ShellFixture fx;
    fx.MakeDir("home/keep");
    fx.MakeDir("home/new");
    fx.MakeFile("home/file.jpg");
    fx.MakeLink("loop", "home/loop");  // opening it fails with ELOOP, not "missing"
    const auto folder = fx.Space().BindToFolder(PidlFromPath(fx.Space(), fx.HomePath()));
    const PopulationOptions files{ItemFlag::Files, true, true, ".jpg;.jpeg"};
    RefreshBatch batch;
    batch.generation = 7;
    RefreshFolder home{11, fx.HomePath(), true, folder, {}, {"keep", "old"}, {}, {}};
    batch.folders = {home};
    for (const char* name : {"file.jpg", "missing", "loop"})
        batch.folders.push_back({12, fx.HomePath() + "/" + name, true, folder, {}, {}, {}, {}});
    batch.folders.push_back({13, fx.HomePath() + "/keep", false, nullptr, {}, {}, {}, {}});
    batch.folders.push_back(home);       // a second item of the same folder
    RefreshFolder homeWithFiles = home;  // the same folder read again, with files
    homeWithFiles.options = files;
    batch.folders.push_back(homeWithFiles);
    RefreshFolder homeWithAllFiles = home;  // and with files but no filter: only the flag differs
    homeWithAllFiles.options.itemFlags = ItemFlag::Files;
    batch.folders.push_back(homeWithAllFiles);
    const RefreshResult result = ComputeRefresh(batch);
    using State = RefreshChange::State;
    ASSERT_EQ(result.changes.size(), 8u);
    EXPECT_EQ(result.generation, 7u);
    const RefreshChange& first = result.changes[0];
    EXPECT_EQ(first.state, State::Present);
    EXPECT_EQ(first.removed, std::vector<std::string>{"old"});
    ASSERT_EQ(first.added.size(), 1u);  // folders only: no file, no hidden item
    EXPECT_EQ(first.added[0]->text, "new");
    EXPECT_EQ(result.changes[1].state, State::Gone);  // ENOTDIR
    EXPECT_EQ(result.changes[2].state, State::Gone);  // ENOENT
    EXPECT_EQ(result.changes[3].state, State::Unreadable);
    EXPECT_EQ(result.changes[4].state, State::Present);
    EXPECT_EQ(result.changes[5].removed, first.removed);
    ASSERT_EQ(result.changes[6].added.size(), 2u);
    EXPECT_EQ(result.changes[6].added[1]->text, "file.jpg");  // folders first
    EXPECT_EQ(result.changes[7].added.size(), 3u);            // the link too, without a filter
    // A pass told to stop reads no further folder (the tree drops what it has).
    const std::atomic<bool> stop{true};
    EXPECT_TRUE(ComputeRefresh(batch, &stop).changes.empty());

    // With files and a filter, a new file is added only when its extension is listed.
    fx.MakeFile("home/new/a.JPG");
    fx.MakeFile("home/new/notes.txt");
    const auto inner = fx.Space().BindToFolder(PidlFromPath(fx.Space(), fx.HomePath() + "/new"));
    const RefreshResult filtered =
        ComputeRefresh({1, {{14, fx.HomePath() + "/new", true, inner, files, {}, {}, {}}}});
    ASSERT_EQ(filtered.changes.at(0).added.size(), 1u);
    EXPECT_EQ(filtered.changes[0].added[0]->text, "a.JPG");
}

// Buttons: a network folder and a removable drive have one without being read (the CD's
// folder does not even exist); other folders by what a read, or a link count, finds:
// subfolders, or with files shown an entry the filter lets through; roots always with files.
TEST(ChildButtonProbe, NetworkAndRemovableFoldersAreNotRead) {
    shelltest::ShellFixture fx;
    fx.MakeDir("home/empty");
    fx.MakeDir("home/withsub/sub");
    fx.MakeFile("home/text/notes.txt");
    fx.MakeFile("home/pictures/a.JPG");
    auto reads = std::make_shared<std::atomic<int>>(0);
    platform::DirectoryAccess access;
    access.beforeRead = [reads](const std::string&) { ++*reads; };
    const auto space = fx.SpaceWith(access);
    using Kind = platform::ShellLocation::Kind;
    using State = TreeNode::ChildState;
    const unsigned folders = ItemFlag::Hidden;
    const unsigned files = ItemFlag::Hidden | ItemFlag::Files;
    const struct {
        platform::ShellLocation location;
        unsigned flags;
        State state;
        bool read;
    } cases[] = {
        {{Kind::Drive, fx.SharePath()}, folders, State::Yes, false},
        {{Kind::FileSystem, fx.MakeDir("net/empty")}, folders, State::Yes, false},
        {{Kind::Drive, fx.CdPath()}, folders, State::Yes, false},
        {{Kind::Desktop, ""}, folders, State::Yes, false},
        {{Kind::Computer, ""}, folders, State::Yes, false},
        {{Kind::Home, fx.HomePath()}, files, State::Yes, false},
        {{Kind::FileSystem, fx.HomePath() + "/empty"}, folders, State::No, false},
        {{Kind::FileSystem, fx.HomePath() + "/text"}, folders, State::No, false},
        {{Kind::FileSystem, fx.HomePath() + "/withsub"}, folders, State::Yes, false},
        {{Kind::FileSystem, fx.HomePath() + "/text"}, files, State::No, true},
        {{Kind::FileSystem, fx.HomePath() + "/pictures"}, files, State::Yes, true},
        {{Kind::Invalid, ""}, folders, State::No, false},
    };
    for (const auto& c : cases) {
        ChildButtonProbe probe(*space, ".jpg;.jpeg", true);
        *reads = 0;
        EXPECT_EQ(probe.StateOf(c.location, c.flags), c.state) << c.location.path;
        if (!c.read)  // link counts, where kept, spare the reads of local folders too
            EXPECT_TRUE(*reads == 0 || c.location.kind == Kind::FileSystem) << c.location.path;
        else
            EXPECT_EQ(*reads, 1) << c.location.path;
    }
}

// The pass works out the buttons of the folders it shows and has not opened, of the new
// ones, and the item's own: from its listing where it reads the folder, else by the probe.
TEST(ComputeRefresh, WorksOutTheButtonsOfFoldersNotOpened) {
    shelltest::ShellFixture fx;
    for (const char* dir : {"home/opened/x", "home/plain", "home/deep/sub", "home/made/sub",
                            "home/bare", "home/void"})
        fx.MakeDir(dir);
    const auto bind = [&](const std::string& path) {
        return fx.Space().BindToFolder(PidlFromPath(fx.Space(), path));
    };
    const PopulationOptions options{ItemFlag::Hidden, true, false, ""};
    RefreshFolder home{1,
                       fx.HomePath(),
                       true,
                       bind(fx.HomePath()),
                       options,
                       {"opened", "plain", "deep", "gone"},
                       {{"plain", {}}, {"deep", {}}, {"gone", {}}},
                       {}};
    RefreshFolder empty{
        2, fx.HomePath() + "/void", true, bind(fx.HomePath() + "/void"), options, {}, {}, {}};
    RefreshFolder unread{
        3, fx.HomePath() + "/deep", false, bind(fx.HomePath() + "/deep"), options, {}, {}, {}};
    RefreshFolder existsOnly{4, fx.HomePath() + "/deep", false, nullptr, options, {}, {}, {}};
    const RefreshResult result = ComputeRefresh({1, {home, empty, unread, existsOnly}});
    using State = TreeNode::ChildState;
    ASSERT_EQ(result.changes.size(), 4u);
    const RefreshChange& first = result.changes[0];
    std::vector<std::pair<std::string, State>> buttons;
    for (const auto& [name, button] : first.buttons)
        buttons.emplace_back(name, button.state);
    EXPECT_EQ(buttons, (std::vector<std::pair<std::string, State>>{{"plain", State::No},
                                                                   {"deep", State::Yes}}));
    ASSERT_EQ(first.added.size(), 3u);  // bare, made, void
    EXPECT_EQ(first.added[0]->childState, State::No);
    EXPECT_EQ(first.added[1]->text, "made");
    EXPECT_EQ(first.added[1]->childState, State::Yes);
    EXPECT_EQ(first.ownButton.state, State::Yes);
    EXPECT_EQ(result.changes[1].ownButton.state, State::No);
    EXPECT_EQ(result.changes[2].ownButton.state, State::Yes);
    EXPECT_EQ(result.changes[3].ownButton.state, State::Unknown);
}

class RefreshTree : public FolderTreeTestBase {
  protected:
    void SetUp() override {
        for (const char* dir : {"home/a/only", "home/b", "home/d"})
            fx.MakeDir(dir);
        MakeTree();
        ASSERT_TRUE(WaitUntil([this] { return tree->GetCount() > 0; }));
        tree->ExpandItemNow(Home());
        tree->ExpandItemNow(Child(Home(), "a"));
        tree->Refresher().SetBatchTakenHook([this] { ++batches; });
        // Passes start only when a test asks, except where real watches are the point.
        tree->Watcher().StopAll();
    }
    HTREEITEM Home() const { return Child(tree->GetRootItem(), "Home"); }
    // One pass through the refresh thread, as the batch timer would start it.
    void PassAndWait(const std::function<bool()>& applied) {
        tree->OnFolderChange("/");
        ASSERT_TRUE(WaitUntil([&] { return tree->ChangeFollowTimer().isActive(); }));
        tree->OnChangeFollowTimer();
        ASSERT_TRUE(WaitUntil(applied));
    }
    std::atomic<int> batches{0};
};

TEST_F(RefreshTree, DeletesInsertsInOrderAndCollapsesTheParentOfAnOnlyChild) {
    const HTREEITEM a = Child(Home(), "a");
    tree->SetSelected(Child(a, "only"));
    fs::remove(fx.HomePath() + "/a/only");
    fs::remove(fx.HomePath() + "/b");
    fx.MakeDir("home/c");
    fx.MakeDir("home/a2");
    tree->DoRefreshDir(Q(fx.HomePath()));
    EXPECT_EQ(ChildTexts(Home()), (std::vector<QString>{"a", "a2", "c", "d"}));
    EXPECT_EQ(tree->GetSelected(), a);  // the selection was inside what went
    EXPECT_FALSE(tree->IsExpandedOnce(a));
    EXPECT_EQ(tree->GetFirstChild(a), 0u);
    fx.MakeDir("home/a/again");
    tree->ExpandItemNow(a);  // read anew when expanded again
    EXPECT_EQ(ChildTexts(a), std::vector<QString>{"again"});
    // A folder that can no longer be opened for another reason than being gone stays.
    fs::remove(fx.HomePath() + "/d");
    fs::create_symlink("d", fx.HomePath() + "/d");
    tree->ExpandItemNow(Child(Home(), "d"));
    tree->DoRefreshDir(Q(fx.HomePath()));
    EXPECT_NE(Child(Home(), "d"), 0u);
}

// Folders deleted above the rows on screen, then made again, leave those rows (the
// selected one among them) where they were, however the view scrolls.
TEST_F(RefreshTree, RowsOnScreenStayWhileFoldersAboveComeAndGo) {
    for (int i = 0; i < 100; ++i)
        fx.MakeDir("home/c" + std::to_string(i));
    tree->DoRefreshDir(Q(fx.HomePath()));
    const auto screen = [&] {
        std::vector<std::pair<HTREEITEM, int>> rows;
        for (const TFolderTree::ScreenRow& row : tree->ScreenRows())
            rows.emplace_back(row.item, row.top);
        return rows;
    };
    for (const auto mode : {QAbstractItemView::ScrollPerItem, QAbstractItemView::ScrollPerPixel}) {
        tree->setVerticalScrollMode(mode);
        const HTREEITEM top = Child(Home(), "c70");
        tree->scrollTo(IndexOf(top), QAbstractItemView::PositionAtTop);
        if (mode == QAbstractItemView::ScrollPerPixel)  // the top row partly above the view
            tree->verticalScrollBar()->setValue(tree->verticalScrollBar()->value() + 5);
        tree->SetSelected(Child(Home(), "c75"));
        const auto before = screen();
        ASSERT_EQ(before.at(1).first, Child(Home(), "c71"));
        for (const bool remove : {true, false}) {
            for (int i = 0; i < 60; ++i) {
                if (remove)
                    fs::remove(fx.HomePath() + "/c" + std::to_string(i));
                else
                    fx.MakeDir("home/c" + std::to_string(i));
            }
            tree->DoRefreshDir(Q(fx.HomePath()));
            EXPECT_EQ(screen(), before) << mode << remove;
        }
        EXPECT_EQ(PathOf(tree->GetSelected()), fx.HomePath() + "/c75");
    }
}

TEST_F(RefreshTree, ThreeReportsGiveOnePassOnTheRefreshThread) {
    fx.MakeDir("home/fresh");
    for (int i = 0; i < 3; ++i)
        tree->OnFolderChange(fx.Root());
    ASSERT_TRUE(WaitUntil([&] { return tree->ChangeFollowTimer().isActive(); }));
    EXPECT_EQ(tree->ChangeFollowTimer().interval(), 2000);
    tree->OnChangeFollowTimer();
    ASSERT_TRUE(WaitUntil([&] { return Child(Home(), "fresh") != 0; }));
    tree->OnChangeFollowTimer();  // nothing pending: no pass
    PassAndWait([&] { return batches == 2; });
    EXPECT_EQ(batches, 2);
}

TEST_F(RefreshTree, ALabelEditHoldsTheBatchUntilItEnds) {
    tree->SetSelected(Child(Home(), "b"));
    tree->OnFolderChange("/");
    ASSERT_TRUE(WaitUntil([&] { return tree->ChangeFollowTimer().isActive(); }));
    QTest::keyClick(tree.get(), Qt::Key_F2);
    auto* editor = tree->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_FALSE(tree->ChangeFollowTimer().isActive());
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_TRUE(tree->ChangeFollowTimer().isActive());
}

// The watches restarted by a rebuild follow files as ShowFiles says now.
TEST_F(RefreshTree, TheFilesFlagReachesTheWatches) {
    tree->SetFiles(false);
    tree->SetFiles(true);
    tree->ExpandItemNow(Child(tree->GetRootItem(), "Home"));
    ASSERT_TRUE(WaitUntil([&] { return tree->Watcher().IsWatching(fx.HomePath()); }));
    fx.MakeFile("home/new.jpg");
    EXPECT_TRUE(WaitUntil([&] { return tree->Watcher().ChangesSeen() > 0; }));
}

// The worker is held after taking its snapshot while the tree is rebuilt, then while it is
// destroyed; nothing it found may reach the new tree or a tree that is gone.
TEST_F(RefreshTree, TheRefreshThreadRacesARebuildAndTheTreesEnd) {
    std::mutex mutex;
    std::condition_variable gate;
    bool held = false, open = false;
    tree->Refresher().SetBatchTakenHook([&] {
        std::unique_lock lock(mutex);
        held = true;
        gate.notify_all();
        gate.wait(lock, [&] { return open; });
    });
    const auto hold = [&] {
        std::lock_guard lock(mutex);
        held = open = false;
    };
    const auto isHeld = [&] {
        std::lock_guard lock(mutex);
        return held;
    };
    const auto release = [&] {
        std::lock_guard lock(mutex);
        open = true;
        gate.notify_all();
    };
    fs::remove(fx.HomePath() + "/b");
    tree->OnFolderChange("/");
    tree->OnChangeFollowTimer();
    ASSERT_TRUE(WaitUntil(isHeld));
    fx.MakeDir("home/b");
    QTest::keyClick(tree.get(), Qt::Key_F5);  // a new tree, that shows b again
    release();
    tree->ExpandItemNow(Child(tree->GetRootItem(), "Home"));
    // Results arrive in order: once a later pass is in, the held one has been dropped.
    fx.MakeDir("home/fence");
    PassAndWait([&] { return Child(Home(), "fence") != 0; });
    EXPECT_NE(Child(Home(), "b"), 0u);

    hold();
    tree->OnFolderChange("/");
    tree->OnChangeFollowTimer();
    ASSERT_TRUE(WaitUntil(isHeld));
    std::thread releaser(release);
    tree.reset();
    releaser.join();
}

// A folder row on screen is watched too, so a first subfolder made inside it gives it a
// button.
TEST_F(RefreshTree, FolderRowsOnScreenAreWatched) {
    tree->Watcher().SetPaused(false);
    tree->Watcher().WatchDrives(fx.Space().Volumes());
    tree->viewport()->update();
    ASSERT_TRUE(WaitUntil([&] { return tree->Watcher().IsWatching(fx.HomePath() + "/b"); }));
    fx.MakeDir("home/b/sub");
    ASSERT_TRUE(WaitUntil([&] { return tree->Watcher().ChangesSeen() > 0; }));
    EXPECT_EQ(tree->Watcher().ChangesSeen(), 1);
}

// Watches go to what the user can see change: paging through a large folder keeps them to
// the rows on screen, the folders shown open and the roots; collapsing releases the rows;
// a budget below that keeps the folders the screen lies in first.
TEST_F(RefreshTree, WatchesFollowTheScreenWithinTheBudget) {
    const int others = KernelWatchCount();
    for (int i = 0; i < 2000; ++i)
        fx.MakeDir("home/big/" + std::to_string(i));
    tree->DoRefreshDir(Q(fx.HomePath()));
    const HTREEITEM big = Child(Home(), "big");
    tree->ExpandItemNow(big);
    tree->Watcher().SetPaused(false);
    tree->Watcher().WatchDrives(fx.Space().Volumes());  // "/" and the share
    const auto watches = [&] { return KernelWatchCount() - others; };
    QScrollBar* bar = tree->verticalScrollBar();
    ASSERT_TRUE(WaitUntil([&] { return bar->maximum() > 1900; }));  // laid out
    for (int value = 0; value < bar->maximum(); value += bar->pageStep()) {
        bar->setValue(value);
        QCoreApplication::processEvents();
    }
    bar->setValue(bar->maximum());
    const std::string last = fx.HomePath() + "/big/1999";
    ASSERT_TRUE(WaitUntil([&] { return tree->Watcher().IsWatching(last); }));
    const int rows = tree->viewport()->height() / tree->sizeHintForRow(0) + 2;
    EXPECT_TRUE(WaitUntil([&] { return watches() <= 2 + 3 + rows; })) << watches();
    EXPECT_FALSE(tree->Watcher().IsWatching(fx.HomePath() + "/big/0"));

    tree->collapse(IndexOf(Home()));  // a and big stay expanded below it, unseen
    EXPECT_TRUE(WaitUntil([&] { return watches() == 2 + 1; })) << watches();
    EXPECT_TRUE(tree->Watcher().IsWatching(fx.HomePath()));
    for (const std::string path : {"/a", "/big", "/big/1999"})
        EXPECT_FALSE(tree->Watcher().IsWatching(fx.HomePath() + path)) << path;

    tree->SetWatchBudget(5);  // the roots and three folders
    tree->expand(IndexOf(Home()));
    ASSERT_TRUE(WaitUntil([&] { return bar->maximum() > 1900; }));
    bar->setValue(bar->maximum());
    EXPECT_TRUE(WaitUntil([&] { return watches() == 5; })) << watches();
    for (const std::string path : {"", "/big"})
        EXPECT_TRUE(tree->Watcher().IsWatching(fx.HomePath() + path)) << path;
    for (const std::string path : {"/a", "/big/1999"})
        EXPECT_FALSE(tree->Watcher().IsWatching(fx.HomePath() + path)) << path;
}

// Folders never opened have their buttons worked out by the pass: an item whose folder the
// pass does not read (a fixed drive below the computer) and a child of a folder it reads;
// each gets a button when a folder is made in it. (A network drive has one all along.)
TEST_F(RefreshTree, AnItemNeverOpenedGetsItsButtonWhenAFolderIsMadeInIt) {
    const std::string disk = fx.AddFixedDrive("disk", "8:2");
    tree->SetFiles(false);  // with files, drives always have a button
    tree->Watcher().StopAll();
    const HTREEITEM computer = Child(tree->GetRootItem(), "Computer");
    tree->ExpandItemNow(computer);
    tree->ExpandItemNow(Child(tree->GetRootItem(), "Home"));
    const struct {
        HTREEITEM item;
        std::string made, refreshed;
    } cases[] = {{Child(computer, "disk"), "drives/disk/photos", disk},
                 {Child(Home(), "b"), "home/b/sub", fx.HomePath()}};
    for (const auto& c : cases) {
        ASSERT_NE(c.item, 0u) << c.made;
        ASSERT_FALSE(tree->HasChildButton(c.item)) << c.made;
        fx.MakeDir(c.made);
        tree->DoRefreshDir(Q(c.refreshed));
        EXPECT_TRUE(tree->HasChildButton(c.item)) << c.made;
    }
}

// Real watches: a folder made, renamed and deleted in a shell shows in the running tree
// within the watcher's and the batch's delays.
TEST_F(RefreshTree, FollowsAShell) {
    tree->Watcher().SetPaused(false);
    tree->Watcher().WatchDrives(fx.Space().Volumes());
    ASSERT_TRUE(WaitUntil([&] { return tree->Watcher().IsWatching(fx.HomePath() + "/a"); }));
    ASSERT_TRUE(WaitUntil([&] { return tree->Watcher().IsWatching(fx.HomePath()); }));
    ASSERT_EQ(std::system(("mkdir '" + fx.HomePath() + "/made' && mv '" + fx.HomePath() + "/d' '" +
                           fx.HomePath() + "/e'")
                              .c_str()),
              0);
    ASSERT_TRUE(WaitUntil([&] { return Child(Home(), "made") && Child(Home(), "e"); }));
    EXPECT_EQ(Child(Home(), "d"), 0u);
    ASSERT_EQ(std::system(("rmdir '" + fx.HomePath() + "/a/only'").c_str()), 0);
    ASSERT_TRUE(WaitUntil([&] { return Child(Child(Home(), "a"), "only") == 0; }));
}

}  // namespace
