#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMimeData>
#include <QTest>

#include "Components/PkgFolder/ShellContextMenu.h"
#include "platform/ShellLauncher.h"
#include "tests/Components/PkgFolder/FolderTreeTestBase.h"

namespace {

// Records what would be launched; opening fails on request.
class RecordingLauncher : public platform::ShellLauncher {
  public:
    bool OpenWithDefaultApplication(const QString& path) override {
        opened.push_back(path);
        return openWorks;
    }
    void CopyToClipboard(const QString& text) override { copied.push_back(text); }
    bool OpenFallback(const QString& path) override {
        fallbacks.push_back(path);
        return true;
    }
    bool openWorks = true;
    std::vector<QString> opened, copied, fallbacks;
};

// The menu as "text" entries, "-" for a separator, "*" before the default and "~" before a
// disabled entry.
QStringList Entries(const QMenu& menu) {
    QStringList entries;
    for (QAction* action : menu.actions()) {
        const QString marks =
            QString(menu.defaultAction() == action ? "*" : "") + (action->isEnabled() ? "" : "~");
        entries.append(marks + (action->isSeparator() ? QStringLiteral("-") : action->text()));
    }
    return entries;
}

unsigned IdOf(const QMenu& menu, const QString& text) {
    for (QAction* action : menu.actions()) {
        if (action->text() == text)
            return action->data().toUInt();
    }
    return 0;
}

class TreeMenu : public FolderTreeTestBase {
  protected:
    void SetUp() override {
        fx.MakeDir("home/full/inner");
        fx.MakeDir("home/empty");
        fx.MakeFile("home/full/picture.jpg");
        MakeTree([](TFolderTree& t) {
            t.SetExplorerMenu(true);
            t.SetFiles(true);
        });
        ASSERT_TRUE(WaitUntil([this] { return tree->GetCount() > 0; }));
        home = Child(tree->GetRootItem(), "Home");
        tree->ExpandItemNow(home);
        full = Child(home, "full");
        tree->ExpandItemNow(full);
        SettleSelection();
        changes.clear();
    }
    RecordingLauncher launcher;
    platform::ScopedShellLauncher scoped{launcher};
    HTREEITEM home = 0, full = 0;
};

TEST_F(TreeMenu, EntriesFollowTheItem) {
    QMenu expanded, empty, file;
    tree->BuildContextMenu(full, expanded);
    EXPECT_EQ(Entries(expanded), (QStringList{"*Collapse", "-", "Open", "Copy Location"}));
    tree->BuildContextMenu(Child(home, "empty"), empty);
    EXPECT_EQ(Entries(empty).value(0), "*~Expand");
    tree->BuildContextMenu(Child(full, "picture.jpg"), file);
    EXPECT_EQ(Entries(file), (QStringList{"*Open", "Open Containing Folder", "Copy Location"}));
    EXPECT_FALSE(file.actions()[1]->statusTip().isEmpty());
}

TEST_F(TreeMenu, ShellCommandsLaunchAndFallBackOnlyWhenNotStarted) {
    const HTREEITEM picture = Child(full, "picture.jpg");
    const QString path = Q(PathOf(picture));
    QMenu menu;
    tree->BuildContextMenu(picture, menu);
    tree->OnShellCommand(IdOf(menu, "Copy Location"));
    EXPECT_EQ(launcher.copied, std::vector<QString>{path});
    tree->OnShellCommand(IdOf(menu, "Open Containing Folder"));
    EXPECT_EQ(launcher.opened, std::vector<QString>{Q(PathOf(full))});
    EXPECT_TRUE(launcher.fallbacks.empty());

    launcher.openWorks = false;
    tree->OnShellCommand(IdOf(menu, "Open"));
    EXPECT_EQ(launcher.fallbacks, std::vector<QString>{path});

    // A double-click on a file runs its default verb, on a folder nothing of the shell's.
    launcher.opened.clear();
    launcher.openWorks = true;
    const QRect row = tree->visualRect(IndexOf(picture));
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, row.center());
    EXPECT_EQ(launcher.opened, std::vector<QString>{path});
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {},
                       tree->visualRect(IndexOf(home)).center());
    EXPECT_EQ(launcher.opened.size(), 1u);
}

TEST_F(TreeMenu, CollapseSelectsTheItemOnlyWhenItHidesTheCurrentOne) {
    tree->SetSelected(Child(full, "inner"));
    SettleSelection();
    changes.clear();
    QMenu menu;
    tree->BuildContextMenu(full, menu);
    tree->OnShellCommand(IdOf(menu, "Collapse"));
    EXPECT_FALSE(tree->IsItemExpanded(full));
    EXPECT_EQ(tree->GetSelected(), full);
    SettleSelection();
    EXPECT_EQ(changes, std::vector<HTREEITEM>{full});

    QMenu again;
    tree->BuildContextMenu(full, again);
    tree->OnShellCommand(IdOf(again, "Expand"));
    ASSERT_TRUE(WaitUntil([&] { return tree->IsItemExpanded(full) && !tree->IsPopulating(); }));
    tree->SetSelected(home);
    SettleSelection();
    changes.clear();
    QMenu third;
    tree->BuildContextMenu(full, third);
    tree->OnShellCommand(IdOf(third, "Collapse"));
    EXPECT_FALSE(tree->IsItemExpanded(full));
    EXPECT_EQ(tree->GetSelected(), home);
    SettleSelection();
    EXPECT_TRUE(changes.empty());
}

TEST_F(TreeMenu, KeyboardMenuOpensAtTheSelectedItemsText) {
    tree->SetSelected(full);
    QPoint at;
    QContextMenuEvent keyboard(QContextMenuEvent::Keyboard, QPoint(1, 1), QPoint(1, 1));
    EXPECT_EQ(tree->ContextMenuItem(keyboard, at), full);
    const QRect row = tree->visualRect(IndexOf(full));
    EXPECT_EQ(at.y(), row.bottom());
    EXPECT_GT(at.x(), row.left());
}

}  // namespace

namespace {

class TreeDrag : public TreeMenu {
  protected:
    QPoint RowCentre(HTREEITEM item) { return tree->visualRect(IndexOf(item)).center(); }
    void Send(QEvent& event) { QCoreApplication::sendEvent(tree->viewport(), &event); }
    QMimeData mime;
};

TEST_F(TreeDrag, HighlightFollowsTheMouseAndIsRememberedOutside) {
    mime.setText("x");
    const HTREEITEM computer = Child(tree->GetRootItem(), "Computer");
    int overs = 0, drops = 0;
    QObject::connect(tree.get(), &TFolderTree::OnDragOver,
                     [&](TFolderTree*, QObject*, int, int, int, bool& accept) {
                         ++overs;
                         accept = true;
                     });
    QObject::connect(tree.get(), &TFolderTree::OnDragDrop,
                     [&](TFolderTree*, QObject*, int, int) { ++drops; });

    QDragEnterEvent enter(RowCentre(full), Qt::CopyAction, &mime, Qt::LeftButton, {});
    Send(enter);
    EXPECT_EQ(tree->GetDropTarget(), full);
    EXPECT_EQ(tree->GetDropPath(), Q(PathOf(full)));
    QDragMoveEvent overComputer(RowCentre(computer), Qt::CopyAction, &mime, Qt::LeftButton, {});
    Send(overComputer);
    EXPECT_EQ(tree->GetDropTarget(), computer);
    EXPECT_EQ(tree->GetDropPath(), "");  // not a file-system item
    QDragMoveEvent overHome(RowCentre(home), Qt::CopyAction, &mime, Qt::LeftButton, {});
    Send(overHome);
    QDragLeaveEvent leave;
    Send(leave);
    EXPECT_EQ(tree->GetDropTarget(), home);  // remembered while outside

    const std::vector<QString> before = ChildTexts(full);
    QDragEnterEvent back(RowCentre(full), Qt::MoveAction, &mime, Qt::LeftButton, {});
    Send(back);
    EXPECT_EQ(tree->GetDropTarget(), full);
    QDropEvent drop(RowCentre(full), Qt::MoveAction | Qt::CopyAction, &mime, Qt::LeftButton, {});
    drop.setDropAction(Qt::MoveAction);
    Send(drop);
    EXPECT_EQ(drops, 1);
    EXPECT_GE(overs, 4);
    EXPECT_EQ(tree->GetDropTarget(), 0u);
    EXPECT_NE(drop.dropAction(), Qt::MoveAction);
    EXPECT_EQ(ChildTexts(full), before);
}

}  // namespace

#include "Components/PkgFolder/ExpansionAnimation.h"

namespace {

TEST(ExpansionAnimationTest, PlacesAndBarFollowTheRowAndTheCount) {
    const AnimationPlaces places = AnimationPlacesFor(QRect(20, 40, 60, 20), QSize(16, 16));
    EXPECT_EQ(places.frame, QRect(83, 42, 56, 16));
    EXPECT_EQ(places.bar, QRect(86, 45, 50, 10));
    EXPECT_EQ(places.icon, QRect(1, 42, 16, 16));

    EXPECT_EQ(BarFillFraction(0), 0.0);
    double last = 0;
    for (int done : {1, 2, 5, 10, 40}) {
        const double f = BarFillFraction(done);
        EXPECT_GT(f, last) << done;
        EXPECT_LT(f, 1.0) << done;
        last = f;
    }
    EXPECT_EQ(BarFillWidth(0, 0), 0);
    EXPECT_EQ(BarFillWidth(4, 2), 25);
    EXPECT_EQ(BarFillWidth(1, 1), 50);
    EXPECT_GE(BarFillWidth(0, 1000000), 49);  // no overflow: the bar stays in its frame
    EXPECT_LE(BarFillWidth(0, 1000000), 50);
}

class AnimatedTree : public FolderTreeTestBase {};

int BarPixels(const QImage& image, const QRect& area) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += QColor(image.pixel(x, y)) == BarColour();
    return count;
}

TEST_F(AnimatedTree, FirstExpansionShowsTheBarOverAFrozenPictureAndTakesNoInput) {
    for (int i = 0; i < 300; ++i)
        fx.MakeDir("home/many/f" + std::to_string(i));
    fx.MakeDir("home/more/f");
    MakeTree([](TFolderTree& t) { t.SetAnimation(true); });
    ASSERT_TRUE(WaitUntil([this] { return tree->GetCount() > 0; }));
    const HTREEITEM home = Child(tree->GetRootItem(), "Home");
    tree->ExpandItemNow(home);
    const HTREEITEM many = Child(home, "many");
    ASSERT_NE(many, 0u);
    tree->expand(IndexOf(many));
    ASSERT_TRUE(tree->IsPopulating());
    // No event is let through here, so the children cannot come in while the worker reads.
    for (int spins = 0; tree->GetPopulationCount() < 300 && spins < 100000; ++spins)
        QThread::usleep(50);
    const QImage shown = tree->viewport()->grab().toImage();
    EXPECT_GT(BarPixels(shown, shown.rect()), 300);  // nearly the whole 50 x 10 bar

    const HTREEITEM current = tree->GetSelected();
    QTest::keyClick(tree.get(), Qt::Key_Down);  // no input meanwhile
    EXPECT_EQ(tree->GetSelected(), current);
    EXPECT_TRUE(WaitUntil([&] { return !tree->IsPopulating(); }));
    EXPECT_EQ(ChildTexts(many).size(), 300u);
    const QImage after = tree->viewport()->grab().toImage();
    EXPECT_EQ(BarPixels(after, after.rect()), 0);

    // F5 pressed while a folder is read waits for it, then rebuilds the tree.
    const HTREEITEM more = Child(home, "more");
    ASSERT_NE(more, 0u);
    tree->expand(IndexOf(more));
    QTest::keyClick(tree.get(), Qt::Key_F5);
    const bool rebuilt =
        WaitUntil([&] { return !tree->IsPopulating() && tree->GetItemText(more).isEmpty(); });
    EXPECT_TRUE(rebuilt);
}

}  // namespace
