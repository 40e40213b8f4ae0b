#include "tests/Components/PkgFolder/FolderTreeTestBase.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <filesystem>

namespace {

class RootTree : public FolderTreeTestBase {
  protected:
    // A tree whose single root is <fixture>/r.
    void MakeRootTree(const std::function<void(TFolderTree&)>& configure = {}) {
        fx.MakeDir("r");
        MakeTree([&](TFolderTree& t) {
            if (configure)
                configure(t);
            t.DoSetRoot(Q(fx.Root() + "/r"));
        });
        SettleSelection();
        changes.clear();
    }
    std::vector<QString> TopTexts() const {
        std::vector<QString> texts;
        for (HTREEITEM c = tree->GetRootItem(); c; c = tree->GetNextSibling(c))
            texts.push_back(tree->GetItemText(c));
        return texts;
    }
};

TEST_F(RootTree, TopLevelItemsAreTheRootsContentInOrder) {
    for (const char* dir : {"r/b10", "r/B2", "r/a"})
        fx.MakeDir(dir);
    for (const char* file : {"r/z.jpg", "r/A.jpg"})
        fx.MakeFile(file);
    MakeRootTree();
    EXPECT_EQ(TopTexts(), (std::vector<QString>{"a", "B2", "b10", "A.jpg", "z.jpg"}));
    EXPECT_EQ(tree->GetSelected(), tree->GetRootItem());
}

// Each selection in an event-loop turn of its own, the burst longer than the delay: only
// a delay that every selection restarts gives a single change.
TEST_F(RootTree, SelectionsSpreadOverLongerThanTheDelayGiveOneChange) {
    for (int i = 0; i < 14; ++i)
        fx.MakeDir("r/s" + std::to_string(i));
    // A long delay with short gaps, so that only a machine stalled for most of a delay
    // could make two selections lie a delay apart; such a run proves nothing and skips.
    MakeRootTree([](TFolderTree& t) { t.SetDelay(1500); });
    std::vector<HTREEITEM> items;
    for (HTREEITEM c = tree->GetRootItem(); c; c = tree->GetNextSibling(c))
        items.push_back(c);
    const int gapMs = 150;
    size_t next = 1;
    QElapsedTimer clock;
    qint64 last = 0, longestGap = 0;
    QTimer pacer;
    QObject::connect(&pacer, &QTimer::timeout, [&] {
        tree->SetSelected(items[next]);
        const qint64 now = clock.elapsed();
        if (next > 1)
            longestGap = std::max(longestGap, now - last);
        last = now;
        if (++next == items.size())
            pacer.stop();
    });
    clock.start();
    pacer.start(gapMs);  // 13 selections over 12 gaps: 1800 ms, more than the delay
    ASSERT_TRUE(WaitUntil([&] { return !pacer.isActive() && !changes.empty(); }));
    SettleSelection();
    if (longestGap >= tree->ChangeDelay())
        GTEST_SKIP() << "the event loop stalled for " << longestGap << " ms";
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes.front(), items.back());
}

TEST_F(RootTree, ArrowKeysFasterThanTheDelayGiveOneChange) {
    for (int i = 0; i < 12; ++i)
        fx.MakeDir("r/k" + std::to_string(i));
    MakeRootTree();
    tree->setFocus();
    for (int i = 0; i < 10; ++i)
        QTest::keyClick(tree.get(), Qt::Key_Down);
    ASSERT_TRUE(WaitUntil([&] { return !changes.empty(); }));
    SettleSelection();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(tree->GetItemText(changes.front()), "k10");
}

TEST_F(RootTree, AnOnChangingHandlerMayDeleteTheOldItem) {
    fx.MakeDir("r/a/x");
    fx.MakeDir("r/b");
    MakeRootTree();
    const HTREEITEM a = tree->GetRootItem();
    const HTREEITEM b = tree->GetNextSibling(a);
    tree->ExpandItemNow(a);
    tree->SetSelected(tree->GetFirstChild(a));
    QObject::connect(tree.get(), &TFolderTree::OnChanging, [&](TFolderTree* t, HTREEITEM item) {
        if (item == b)
            t->DeleteChildren(a);  // frees the item being left
    });
    tree->SetSelected(b);
    ASSERT_TRUE(WaitUntil([&] { return !changes.empty() && changes.back() == b; }));
    EXPECT_EQ(tree->GetFirstChild(a), 0u);
}

TEST_F(RootTree, PathLookupMatchesWholeComponentsOnly) {
    fx.MakeDir("r/2/inside");
    fx.MakeDir("r/20/x");
    MakeRootTree();
    const HTREEITEM two = tree->GetRootItem();
    ASSERT_EQ(tree->GetItemText(two), "2");
    const HTREEITEM found =
        tree->SFindNoRoot(CShellPidl(PidlFromPath(fx.Space(), fx.Root() + "/r/20/x")));
    ASSERT_NE(found, 0u);
    EXPECT_EQ(tree->GetItemText(found), "x");
    EXPECT_EQ(tree->GetItemText(tree->GetParentItem(found)), "20");
    EXPECT_FALSE(tree->IsExpandedOnce(two));  // "/r/2" is not a folder of "/r/20/x"
}

TEST_F(RootTree, SelectFolderFindsByPathAndF5SelectsItAgainInTheRebuiltTree) {
    fx.MakeDir("r/a");
    fx.MakeDir("r/b/c");
    MakeRootTree();
    const std::string target = fx.Root() + "/r/b/c";
    tree->SelectFolder(Q(target));
    ASSERT_TRUE(WaitUntil([&] { return !changes.empty() && PathOf(changes.back()) == target; }));
    EXPECT_EQ(tree->GetFolder(), Q(target));
    changes.clear();
    QTest::keyClick(tree.get(), Qt::Key_F5);
    ASSERT_TRUE(WaitUntil([&] { return !changes.empty(); }));
    SettleSelection();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(PathOf(changes.front()), target);
    EXPECT_EQ(TopTexts(), (std::vector<QString>{"a", "b"}));
}

// The root's own items are the top level, refreshed as a folder of their own.
TEST_F(RootTree, RefreshFindsNewAndGoneTopLevelItems) {
    fx.MakeDir("r/b");
    fx.MakeDir("r/d");
    MakeRootTree();
    fx.MakeDir("r/c");
    std::filesystem::remove(fx.Root() + "/r/d");
    tree->DoRefreshDir(Q(fx.Root() + "/r/b"));  // any folder: the whole top level is read
    EXPECT_EQ(TopTexts(), (std::vector<QString>{"b", "c"}));
}

TEST_F(RootTree, MissingRootFallsBackToTheDesktop) {
    fx.MakeDir("home/a");
    MakeTree([&](TFolderTree& t) { t.DoSetRoot(Q(fx.Root() + "/missing")); });
    ASSERT_TRUE(WaitUntil([&] { return tree->GetCount() > 0; }));
    EXPECT_EQ(tree->GetItemText(tree->GetRootItem()), "Desktop");
    EXPECT_EQ(tree->RootDir(), Q(fx.Root() + "/missing"));
    // Navigation works as in any desktop tree.
    const std::string target = fx.HomePath() + "/a";
    tree->SelectFolder(Q(target));
    ASSERT_TRUE(WaitUntil([&] { return !changes.empty() && PathOf(changes.back()) == target; }));
    changes.clear();
    QTest::keyClick(tree.get(), Qt::Key_F5);
    ASSERT_TRUE(WaitUntil([&] { return !changes.empty() && PathOf(changes.back()) == target; }));
    EXPECT_EQ(tree->GetItemText(tree->GetRootItem()), "Desktop");
}

TEST_F(RootTree, RightPressDoesNotSelect) {
    fx.MakeDir("r/first");
    fx.MakeDir("r/second");
    MakeRootTree();
    const HTREEITEM first = tree->GetRootItem();
    const HTREEITEM second = tree->GetNextSibling(first);
    const QPoint point = tree->visualRect(IndexOf(second)).center();
    QTest::mousePress(tree->viewport(), Qt::RightButton, {}, point);
    QTest::mouseRelease(tree->viewport(), Qt::RightButton, {}, point);
    EXPECT_EQ(tree->GetSelected(), first);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, point);
    EXPECT_EQ(tree->GetSelected(), second);
}

TEST_F(RootTree, AsteriskOpensOnlyTheCurrentItem) {
    fx.MakeDir("r/a/b/c");
    MakeRootTree();
    const HTREEITEM a = tree->GetRootItem();
    QTest::keyClick(tree.get(), Qt::Key_Asterisk);
    ASSERT_TRUE(WaitUntil([&] { return !tree->IsPopulating(); }));
    EXPECT_TRUE(tree->IsItemExpanded(a));
    const HTREEITEM b = tree->GetFirstChild(a);
    ASSERT_NE(b, 0u);
    EXPECT_FALSE(tree->IsItemExpanded(b));
    EXPECT_FALSE(tree->IsExpandedOnce(b));
}

TEST_F(RootTree, FilesFollowTheFilter) {
    fx.MakeFile("r/pics/a.JPG");
    fx.MakeFile("r/notes/notes.txt");
    MakeRootTree([](TFolderTree& t) { t.SetFilterExt(".jpg"); });
    const HTREEITEM notes = tree->GetRootItem();
    const HTREEITEM pics = tree->GetNextSibling(notes);
    ASSERT_EQ(tree->GetItemText(pics), "pics");
    EXPECT_TRUE(tree->HasChildButton(pics));
    EXPECT_FALSE(tree->HasChildButton(notes));
    tree->ExpandItemNow(pics);
    EXPECT_EQ(ChildTexts(pics), std::vector<QString>{"a.JPG"});
    tree->ExpandItemNow(notes);
    EXPECT_TRUE(ChildTexts(notes).empty());
}

TEST_F(RootTree, HiddenItemsFollowTheProperty) {
    fx.MakeDir("r/.secret");
    fx.MakeDir("r/plain");
    MakeRootTree();
    EXPECT_EQ(TopTexts(), (std::vector<QString>{".secret", "plain"}));
    EXPECT_TRUE(tree->GetItemData(tree->GetRootItem())->isHidden);
    tree->SetHideFolders(false);
    ASSERT_TRUE(WaitUntil([&] { return TopTexts() == std::vector<QString>{"plain"}; }));
}

TEST_F(RootTree, AnEmptiedFolderLosesItsButtonOnAFixedDisk) {
    fx.MakeDir("r/gone/sub");
    MakeRootTree([](TFolderTree& t) { t.SetFiles(false); });
    const HTREEITEM gone = tree->GetRootItem();
    ASSERT_TRUE(tree->HasChildButton(gone));
    std::filesystem::remove(fx.Root() + "/r/gone/sub");
    expansions.clear();
    tree->expand(IndexOf(gone));
    ASSERT_TRUE(WaitUntil([&] { return !expansions.empty(); }));
    EXPECT_FALSE(tree->HasChildButton(gone));
    EXPECT_FALSE(tree->IsItemExpanded(gone));
}

}  // namespace
