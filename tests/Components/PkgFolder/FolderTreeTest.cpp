#include "tests/Components/PkgFolder/FolderTreeTestBase.h"

#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTest>

#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <ctime>
#include <filesystem>
#include <functional>
#include <mutex>

namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

class DesktopTree : public FolderTreeTestBase {
  protected:
    void SetUp() override {
        MakeTree();
        ASSERT_TRUE(WaitUntil([this] { return tree->GetCount() > 0; }));
        SettleSelection();
        changes.clear();
    }
    HTREEITEM HomeItem() const { return Child(tree->GetRootItem(), "Home"); }
    // Selects a folder by path and waits for its change event.
    void SelectAndWait(const std::string& path) {
        changes.clear();
        tree->SelectFolder(Q(path));
        ASSERT_TRUE(WaitUntil([&] { return !changes.empty() && PathOf(changes.back()) == path; }));
    }
};

TEST_F(DesktopTree, ShowsHomeAndComputerThenTheDrives) {
    const HTREEITEM root = tree->GetRootItem();
    EXPECT_EQ(tree->GetItemText(root), "Desktop");
    EXPECT_EQ(ChildTexts(root), (std::vector<QString>{"Home", "Computer"}));
    const HTREEITEM computer = Child(root, "Computer");
    tree->ExpandItemNow(computer);
    EXPECT_EQ(ChildTexts(computer), (std::vector<QString>{"File System", "orvane-test-cd", "net"}));
    // A virtual item has no path: the folder reads back as its label.
    tree->SetSelected(computer);
    ASSERT_TRUE(WaitUntil([&] { return !changes.empty(); }));
    EXPECT_EQ(tree->GetFolder(), "Computer");
    EXPECT_EQ(PathOf(computer), "");
}

TEST_F(DesktopTree, SelectFolderTwiceGivesOneSelection) {
    fx.MakeDir("home/a/b");
    int selections = 0;
    QObject::connect(tree->selectionModel(), &QItemSelectionModel::currentChanged,
                     [&] { ++selections; });
    const std::string target = fx.HomePath() + "/a/b";
    tree->SelectFolder(Q(target));
    tree->SelectFolder(Q(target));
    EXPECT_EQ(tree->GetFolder(), Q(target));  // at once, before the tree has moved
    ASSERT_TRUE(WaitUntil([&] { return !changes.empty(); }));
    SettleSelection();
    EXPECT_EQ(selections, 1);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(PathOf(tree->GetSelected()), target);
}

TEST_F(DesktopTree, LookupsExpandOnlyWhenAllowedTo) {
    fx.MakeDir("home/x/y");
    const platform::ItemIdList pidl = PidlFromPath(fx.Space(), fx.HomePath() + "/x/y");
    EXPECT_EQ(tree->SFFindItem(pidl), 0u);
    EXPECT_FALSE(tree->IsExpandedOnce(HomeItem()));
    const HTREEITEM found = tree->SFFindTreeItem(pidl);
    ASSERT_NE(found, 0u);
    EXPECT_EQ(tree->GetItemText(found), "y");
    EXPECT_TRUE(tree->IsExpandedOnce(HomeItem()));
    EXPECT_EQ(tree->SFFindItem(pidl), found);  // now expanded, the quiet lookup finds it
    EXPECT_EQ(tree->SFFindTreeItem(platform::ItemIdList::Empty()), tree->GetRootItem());
    EXPECT_EQ(tree->SFGetTreeItemPidl(found), pidl);
    EXPECT_EQ(tree->SFFindTreeItem(PidlFromPath(fx.Space(), fx.HomePath() + "/missing")), 0u);
}

TEST_F(DesktopTree, F5RebuildsAndSelectsTheCurrentFolderAgain) {
    fx.MakeDir("home/a/b");
    const std::string target = fx.HomePath() + "/a/b";
    SelectAndWait(target);
    const HTREEITEM before = tree->GetSelected();
    fx.MakeDir("home/a/new");
    changes.clear();
    QTest::keyClick(tree.get(), Qt::Key_F5);
    ASSERT_TRUE(WaitUntil([&] { return !changes.empty() && PathOf(changes.back()) == target; }));
    EXPECT_NE(tree->GetSelected(), before);  // a new item: the tree was rebuilt
    EXPECT_EQ(PathOf(tree->GetSelected()), target);
    EXPECT_NE(Child(tree->GetParentItem(tree->GetSelected()), "new"), 0u);
}

TEST_F(DesktopTree, ClearingTheTreeReportsNoChange) {
    fx.MakeDir("home/a");
    const std::string target = fx.HomePath() + "/a";
    SelectAndWait(target);
    changes.clear();
    std::vector<bool> liveAtEvent;
    QObject::connect(tree.get(), &TFolderTree::OnChange, [&](TFolderTree* t, HTREEITEM item) {
        liveAtEvent.push_back(t->GetItemData(item) != nullptr);
    });
    tree->SetSysFolders(false);  // rebuilds the whole tree
    ASSERT_TRUE(WaitUntil([&] { return !changes.empty(); }));
    SettleSelection();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(liveAtEvent, std::vector<bool>{true});
    EXPECT_EQ(PathOf(changes.front()), target);
}

TEST_F(DesktopTree, RenameUpdatesLabelDescendantsAndCurrentFolder) {
    fx.MakeDir("home/old/inner/deep");
    const std::string oldPath = fx.HomePath() + "/old";
    const std::string newPath = fx.HomePath() + "/new";
    SelectAndWait(oldPath + "/inner");
    const HTREEITEM inner = tree->GetSelected();
    tree->ExpandItemNow(inner);
    const HTREEITEM deep = Child(inner, "deep");
    const HTREEITEM old = tree->GetParentItem(inner);
    ASSERT_NE(deep, 0u);
    changes.clear();
    EXPECT_TRUE(tree->model()->setData(IndexOf(old), "new", Qt::EditRole));
    EXPECT_EQ(tree->GetItemText(old), "new");
    EXPECT_TRUE(Exists(newPath + "/inner/deep"));
    EXPECT_FALSE(Exists(oldPath));
    EXPECT_EQ(PathOf(inner), newPath + "/inner");
    EXPECT_EQ(PathOf(deep), newPath + "/inner/deep");
    EXPECT_EQ(tree->GetItemData(deep)->folder->Location().path, newPath + "/inner");
    EXPECT_EQ(tree->GetFolder(), Q(newPath + "/inner"));
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes.front(), old);
    // The renamed item is found under its new path.
    EXPECT_EQ(tree->SFFindItem(PidlFromPath(fx.Space(), newPath + "/inner/deep")), deep);
}

TEST_F(DesktopTree, RenameWhileAFolderBelowIsReadRebasesWhatArrives) {
    for (int i = 0; i < 50; ++i)
        fx.MakeDir("home/top/big/f" + std::to_string(i));
    tree->ExpandItemNow(HomeItem());
    const HTREEITEM top = Child(HomeItem(), "top");
    tree->ExpandItemNow(top);
    const HTREEITEM big = Child(top, "big");
    ASSERT_NE(big, 0u);
    tree->expand(IndexOf(big));
    ASSERT_TRUE(tree->IsPopulating());
    expansions.clear();
    ASSERT_TRUE(tree->model()->setData(IndexOf(top), "moved", Qt::EditRole));
    ASSERT_TRUE(WaitUntil([&] { return !tree->IsPopulating(); }));
    const HTREEITEM first = tree->GetFirstChild(big);
    ASSERT_NE(first, 0u);
    const std::string moved = fx.HomePath() + "/moved/big";
    EXPECT_EQ(PathOf(first), moved + "/f0");
    EXPECT_EQ(tree->GetItemData(first)->folder->Location().path, moved);
}

// A name taken, a name the file system refuses, and a label committed unchanged: none
// renames anything. A name that is not valid UTF-8 (an old camera card, say) shows with a
// replacement character; committing that label unchanged must not rename the folder to it.
TEST_F(DesktopTree, EditsThatRenameNothingKeepTheFolderAndTheLabel) {
    const std::string latin1 = "caf\xe9";
    for (const std::string& name : {latin1, std::string("one"), std::string("two")})
        fx.MakeDir("home/" + name);
    SelectAndWait(fx.HomePath() + "/one");
    QAbstractItemModel* model = tree->model();
    const HTREEITEM cafe = tree->GetFirstChild(HomeItem());
    const QModelIndex one = IndexOf(Child(HomeItem(), "one"));
    changes.clear();
    EXPECT_FALSE(model->setData(one, "two", Qt::EditRole));
    EXPECT_FALSE(model->setData(one, "..", Qt::EditRole));
    EXPECT_EQ(model->data(one).toString(), "one");
    EXPECT_TRUE(changes.empty());
    model->setData(IndexOf(cafe), model->data(IndexOf(cafe)), Qt::EditRole);
    EXPECT_TRUE(Exists(fx.HomePath() + "/" + latin1));
    EXPECT_EQ(PathOf(cafe), fx.HomePath() + "/" + latin1);
}

TEST_F(DesktopTree, LabelEditingRulesAndLimit) {
    fx.MakeDir("home/editable");
    SelectAndWait(fx.HomePath() + "/editable");
    QTest::keyClick(tree.get(), Qt::Key_F2);
    auto* editor = tree->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->maxLength(), 80);
    QTest::keyClick(editor, Qt::Key_Escape);
    Settle(50);
    // Home sits directly below the root item: never renamed.
    tree->SetSelected(HomeItem());
    Settle(20);
    for (QLineEdit* open : tree->findChildren<QLineEdit*>())
        EXPECT_FALSE(open->isVisible());
    QTest::keyClick(tree.get(), Qt::Key_F2);
    for (QLineEdit* open : tree->findChildren<QLineEdit*>())
        EXPECT_FALSE(open->isVisible());
}

TEST_F(DesktopTree, ExpansionReadsOnTheWorkerThenFillsIn) {
    for (int i = 0; i < 120; ++i)
        fx.MakeDir("home/big/f" + std::to_string(i));
    tree->ExpandItemNow(HomeItem());
    const HTREEITEM big = Child(HomeItem(), "big");
    ASSERT_NE(big, 0u);
    expansions.clear();
    tree->expand(IndexOf(big));
    EXPECT_EQ(ChildTexts(big), std::vector<QString>{"Loading...."});
    EXPECT_TRUE(tree->IsPopulating());
    ASSERT_TRUE(WaitUntil([&] { return !expansions.empty(); }));
    EXPECT_EQ(expansions.back(), big);
    const auto texts = ChildTexts(big);
    ASSERT_EQ(texts.size(), 120u);
    EXPECT_EQ(texts[0], "f0");
    EXPECT_EQ(texts[1], "f1");
    EXPECT_EQ(texts[2], "f2");  // natural order: f2 before f10
    EXPECT_EQ(texts[10], "f10");
}

TEST_F(DesktopTree, CommandsWaitForAReadingFolder) {
    for (int i = 0; i < 300; ++i)
        fx.MakeDir("home/big/f" + std::to_string(i));
    fx.MakeDir("home/target");
    tree->ExpandItemNow(HomeItem());
    tree->expand(IndexOf(Child(HomeItem(), "big")));
    const std::string target = fx.HomePath() + "/target";
    tree->SelectFolder(Q(target));
    QTest::keyClick(tree.get(), Qt::Key_F5);
    ASSERT_TRUE(WaitUntil([&] { return !changes.empty() && PathOf(changes.back()) == target; }));
    EXPECT_FALSE(tree->IsPopulating());
    EXPECT_EQ(PathOf(tree->GetSelected()), target);
}

TEST_F(DesktopTree, DestroyingTheTreeWhileAFolderIsReadIsSafe) {
    for (int i = 0; i < 2000; ++i)
        fx.MakeDir("home/huge/d" + std::to_string(i));
    tree->ExpandItemNow(HomeItem());
    tree->expand(IndexOf(Child(HomeItem(), "huge")));
    ASSERT_TRUE(tree->IsPopulating()) << "the read must still be under way";
    tree.reset();  // aborts and joins the reader
    Settle(100);   // a result still queued for the tree must be dropped
}

// A folder closed while it is read is not read further: the read stops at its next item
// (the worker is held after its first), nothing of it arrives, and the folder is read anew
// when it is opened again.
TEST_F(DesktopTree, ClosingAFolderWhileItIsReadEndsTheRead) {
    for (int i = 0; i < 300; ++i)
        fx.MakeDir("home/big/f" + std::to_string(i));
    tree->ExpandItemNow(HomeItem());
    const HTREEITEM big = Child(HomeItem(), "big");
    std::mutex mutex;
    std::condition_variable changed;
    bool held = false, released = false;
    int most = 0;
    tree->Populator().SetCountedHook([&](int done) {
        std::unique_lock lock(mutex);
        most = std::max(most, done);
        held = true;
        changed.notify_all();
        changed.wait(lock, [&] { return released; });
    });
    const auto release = [&] {
        std::lock_guard lock(mutex);
        released = true;
        changed.notify_all();
    };
    const std::unique_ptr<void, std::function<void(void*)>> releaseAtEnd(&released,
                                                                         [&](void*) { release(); });
    tree->expand(IndexOf(big));
    ASSERT_TRUE(WaitUntil([&] {
        std::lock_guard lock(mutex);
        return held;
    }));
    tree->collapse(IndexOf(big));
    EXPECT_FALSE(tree->IsPopulating());
    EXPECT_EQ(tree->GetFirstChild(big), 0u);
    release();
    // The worker takes requests in order: once a later folder is in, the closed one's read
    // has ended.
    fx.MakeDir("home/later/x");
    tree->DoRefreshDir(Q(fx.HomePath()));
    const HTREEITEM later = Child(HomeItem(), "later");
    tree->expand(IndexOf(later));
    ASSERT_TRUE(WaitUntil([&] { return tree->GetFirstChild(later) && !tree->IsPopulating(); }));
    tree->Populator().SetCountedHook({});
    EXPECT_EQ(most, 1);
    EXPECT_EQ(tree->GetFirstChild(big), 0u);
    tree->expand(IndexOf(big));
    ASSERT_TRUE(WaitUntil([&] { return !tree->IsPopulating(); }));
    EXPECT_EQ(ChildTexts(big).size(), 300u);
}

// A collapse that hides the current item makes the collapsed folder current (the delayed
// change follows), however the folder is closed; one that hides nothing selected changes
// nothing.
TEST_F(DesktopTree, CollapsingAFolderThatHoldsTheSelectionSelectsIt) {
    fx.MakeDir("home/outer/inner/deep");
    fx.MakeDir("home/other");
    const std::string deep = fx.HomePath() + "/outer/inner/deep";
    const auto byClick = [&](HTREEITEM item) {
        // The branch indicator lies left of the item's text.
        const QRect row = tree->visualRect(IndexOf(item));
        const int indent = tree->indentation();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                          QPoint(row.left() - indent / 2, row.center().y()));
    };
    const auto byView = [&](HTREEITEM item) { tree->collapse(IndexOf(item)); };
    const std::function<void(HTREEITEM)> ways[] = {byClick, byView};
    for (const auto& collapse : ways) {
        SelectAndWait(deep);
        const HTREEITEM inner = tree->GetParentItem(tree->GetSelected());
        const HTREEITEM outer = tree->GetParentItem(inner);
        ASSERT_TRUE(tree->IsItemExpanded(outer));
        changes.clear();
        collapse(outer);
        EXPECT_FALSE(tree->IsItemExpanded(outer));
        EXPECT_EQ(tree->GetSelected(), outer);
        SettleSelection();
        EXPECT_EQ(changes, std::vector<HTREEITEM>{outer});
        EXPECT_EQ(tree->GetFolder(), Q(fx.HomePath() + "/outer"));

        tree->expand(IndexOf(outer));
        ASSERT_TRUE(WaitUntil([&] { return !tree->IsPopulating(); }));
        SelectAndWait(fx.HomePath() + "/other");
        changes.clear();
        collapse(outer);
        EXPECT_EQ(PathOf(tree->GetSelected()), fx.HomePath() + "/other");
        SettleSelection();
        EXPECT_TRUE(changes.empty());
        tree->expand(IndexOf(outer));
    }
}

// Linux names may hold any byte but '/' and NUL: a line break or another control character
// is drawn as its control picture, on one line; the name itself is what editing starts
// from and what an unchanged edit keeps.
TEST_F(DesktopTree, NamesWithLineBreaksAreDrawnOnOneLine) {
    const struct {
        std::string name;
        QString shown;
    } cases[] = {{"two\nlines", QString("two") + QChar(0x240A) + "lines"},
                 {"cr\rtab\t", QString("cr") + QChar(0x240D) + "tab" + QChar(0x2409)},
                 {"plain", "plain"}};
    for (const auto& c : cases)
        fx.MakeDir("home/" + c.name);
    tree->ExpandItemNow(HomeItem());
    for (const auto& c : cases) {
        const HTREEITEM item = Child(HomeItem(), Q(c.name));
        ASSERT_NE(item, 0u) << c.name;
        const QModelIndex index = IndexOf(item);
        EXPECT_EQ(index.data(Qt::DisplayRole).toString(), c.shown) << c.name;
        EXPECT_EQ(index.data(Qt::ToolTipRole).toString(), c.shown) << c.name;
        EXPECT_EQ(index.data(Qt::EditRole).toString(), Q(c.name)) << c.name;
        tree->model()->setData(index, index.data(Qt::EditRole), Qt::EditRole);
        EXPECT_TRUE(Exists(fx.HomePath() + "/" + c.name)) << c.name;
    }
}

// A folder of thousands of folders is handed over before every button is known; the
// buttons past the first screens follow in steps, each as its folder holds subfolders or
// not.
TEST_F(DesktopTree, ButtonsOfALargeFolderFollowInSteps) {
    constexpr int kFolders = 3000;
    tree->Watcher().StopAll();  // a refresh pass would work the buttons out as well
    for (int i = 0; i < kFolders; ++i)
        fx.MakeDir("home/wide/d" + std::to_string(i) + (i % 7 == 0 ? "/sub" : ""));
    tree->ExpandItemNow(HomeItem());
    const HTREEITEM wide = Child(HomeItem(), "wide");
    tree->expand(IndexOf(wide));
    ASSERT_TRUE(WaitUntil([&] { return !tree->IsPopulating() && tree->GetFirstChild(wide); }));
    const QModelIndex parent = IndexOf(wide);
    const auto allRight = [&] {
        const QAbstractItemModel* model = tree->model();
        for (int row = 0; row < model->rowCount(parent); ++row) {
            const QModelIndex child = model->index(row, 0, parent);
            const bool wanted = child.data().toString().mid(1).toInt() % 7 == 0;
            if (model->hasChildren(child) != wanted)
                return false;
        }
        return model->rowCount(parent) == kFolders;
    };
    EXPECT_TRUE(WaitUntil(allRight));
}

double ThreadCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

// Every item's row is its place among its siblings after any change of them; and finding
// rows needs no search: walking 100,000 siblings, each asked for its row, takes seconds
// when each row is searched for, a few milliseconds when rows are kept (the CPU bound is
// generous, for sanitizer builds).
TEST(FolderTreeModelRows, RowsFollowEveryChangeWithoutSearching) {
    FolderTreeModel model;
    TreeNode* parent = model.InsertOne(model.Root(), std::make_unique<TreeNode>(), 0);
    const auto add = [&](int position, int count) {
        std::vector<std::unique_ptr<TreeNode>> nodes;
        for (int i = 0; i < count; ++i) {
            nodes.push_back(std::make_unique<TreeNode>());
            nodes.back()->text = QString::number(model.Count() + i);
        }
        model.Insert(parent, std::move(nodes), position);
    };
    const auto remove = [&](int row) { model.Remove(parent->children[row].get()); };
    const std::vector<std::function<void()>> changes = {
        [&] { add(0, 100000); },
        [&] { remove(0); },
        [&] { add(0, 3); },
        [&] { remove(50000); },
        [&] { add(70000, 2); },
        [&] { add(static_cast<int>(parent->children.size()), 5); },
        [&] {
            model.SortChildren(parent, [](const TreeNode& a, const TreeNode& b) {
                return a.text.toInt() > b.text.toInt();
            });
        },
        [&] { remove(static_cast<int>(parent->children.size()) - 1); },
    };
    const double start = ThreadCpuSeconds();
    for (std::size_t step = 0; step < changes.size(); ++step) {
        changes[step]();
        // From the last row up, as a lookup from the end would ask.
        for (std::size_t i = parent->children.size(); i-- > 0;) {
            const TreeNode* child = parent->children[i].get();
            ASSERT_EQ(model.IndexOf(child).row(), static_cast<int>(i)) << "change " << step;
            ASSERT_EQ(model.NodeOf(model.IndexOf(child)), child);
        }
    }
    EXPECT_LT(ThreadCpuSeconds() - start, 5.0);
}

TEST(FolderTreeProperties, SettersKeepTheirRules) {
    shelltest::ShellFixture fx;
    TFolderTree tree(nullptr, fx.SharedSpace());
    tree.SetDelay(100);
    EXPECT_EQ(tree.ChangeDelay(), 400);
    tree.SetDelay(1000);
    EXPECT_EQ(tree.ChangeDelay(), 1000);
    tree.SetFilterExt(".JPG;.JpEg");
    EXPECT_EQ(tree.FilterExt(), ".jpg;.jpeg");
    // Before the first show a selection is only remembered.
    tree.SelectFolder(QString::fromStdString(fx.HomePath()));
    EXPECT_EQ(tree.GetFolder(), QString::fromStdString(fx.HomePath()));
    EXPECT_EQ(tree.GetCount(), 0);
}

}  // namespace
