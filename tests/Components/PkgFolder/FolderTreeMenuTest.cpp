#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMimeData>
#include <QStyle>
#include <QTest>
#include <QTimer>

#include <optional>

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

// Real key presses: the menu key and Shift+F10 open the menu at the bottom-left corner of
// the selected item's text, past its icon; F10 alone opens nothing.
TEST_F(TreeMenu, MenuKeysOpenTheMenuAtTheSelectedItemsText) {
    tree->SetSelected(full);
    const QRect row = tree->visualRect(IndexOf(full));
    const int icon = tree->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, tree.get());
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool opens;
    } presses[] = {{Qt::Key_Menu, Qt::NoModifier, true},
                   {Qt::Key_F10, Qt::ShiftModifier, true},
                   {Qt::Key_F10, Qt::NoModifier, false}};
    for (const auto& press : presses) {
        std::optional<QPoint> shownAt;
        QTimer::singleShot(0, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                shownAt = tree->viewport()->mapFromGlobal(menu->pos());
                menu->close();
            }
        });
        QTest::keyClick(tree.get(), press.key, press.modifiers);
        QCoreApplication::processEvents();
        ASSERT_EQ(shownAt.has_value(), press.opens) << press.key;
        if (press.opens) {
            EXPECT_EQ(shownAt->y(), row.bottom());
            EXPECT_GE(shownAt->x(), row.left() + icon);
            EXPECT_LT(shownAt->x(), row.left() + 3 * icon);
        }
    }
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

#include <climits>
#include <condition_variable>
#include <mutex>

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

// Counts the paints of a tree's viewport while it animates, with the count then read.
class PaintCounter : public QObject {
  public:
    explicit PaintCounter(TFolderTree* tree) : tree_(tree) {
        tree->viewport()->installEventFilter(this);
    }
    void Reset() { mostItems_ = 0; }
    int MostItemsSeen() const { return mostItems_; }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && tree_->IsPopulating())
            mostItems_ = std::max(mostItems_, tree_->GetPopulationCount());
        return false;
    }

  private:
    TFolderTree* tree_;
    int mostItems_ = 0;
};

int ColourPixels(const QImage& image, const QColor& colour) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += QColor(image.pixel(x, y)) == colour;
    return count;
}

TEST_F(AnimatedTree, FirstExpansionShowsTheBarOverAFrozenPictureAndTakesNoInput) {
    for (int i = 0; i < 300; ++i)
        fx.MakeDir("home/many/f" + std::to_string(i));
    fx.MakeDir("home/more/f");
    QPixmap red(16, 16);
    red.fill(Qt::red);
    MakeTree([&](TFolderTree& t) {
        t.SetAnimation(true);
        t.SetWaitMessage("Loading....", QIcon(red));
    });
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
    // The user's icon in the placeholder's icon place, the wait icon's dots over it.
    EXPECT_GT(ColourPixels(shown, Qt::red), 64);

    const HTREEITEM current = tree->GetSelected();
    QTest::keyClick(tree.get(), Qt::Key_Down);  // no input meanwhile
    EXPECT_EQ(tree->GetSelected(), current);
    EXPECT_TRUE(WaitUntil([&] { return !tree->IsPopulating(); }));
    EXPECT_EQ(ChildTexts(many).size(), 300u);
    const QImage after = tree->viewport()->grab().toImage();
    EXPECT_EQ(BarPixels(after, after.rect()), 0);
    EXPECT_EQ(ColourPixels(after, Qt::red), 0);

    // F5 pressed while a folder is read waits for it, then rebuilds the tree.
    const HTREEITEM more = Child(home, "more");
    ASSERT_NE(more, 0u);
    tree->expand(IndexOf(more));
    QTest::keyClick(tree.get(), Qt::Key_F5);
    const bool rebuilt =
        WaitUntil([&] { return !tree->IsPopulating() && tree->GetItemText(more).isEmpty(); });
    EXPECT_TRUE(rebuilt);
}

// Without a timer (delay 0) the bar is drawn again as the count of items read changes: the
// worker is held after its first item, then after its 200th.
TEST_F(AnimatedTree, WithoutTicksTheBarFollowsTheCount) {
    for (int i = 0; i < 300; ++i)
        fx.MakeDir("home/many/f" + std::to_string(i));
    MakeTree([](TFolderTree& t) {
        t.SetAnimation(true);
        t.SetAnimationDelay(0);
    });
    ASSERT_TRUE(WaitUntil([this] { return tree->GetCount() > 0; }));
    const HTREEITEM home = Child(tree->GetRootItem(), "Home");
    tree->ExpandItemNow(home);
    std::mutex mutex;
    std::condition_variable changed;
    int reached = 0, allowed = 1;
    const auto allow = [&](int count) {
        std::lock_guard lock(mutex);
        allowed = count;
        changed.notify_all();
    };
    const auto hasReached = [&](int count) {
        std::lock_guard lock(mutex);
        return reached == count;
    };
    tree->Populator().SetCountedHook([&](int done) {
        std::unique_lock lock(mutex);
        reached = done;
        changed.wait(lock, [&] { return done < allowed; });
    });
    const std::unique_ptr<void, std::function<void(void*)>> releaseAtEnd(
        &allowed, [&](void*) { allow(INT_MAX); });
    PaintCounter paints(tree.get());
    tree->expand(IndexOf(Child(home, "many")));
    ASSERT_TRUE(WaitUntil([&] { return hasReached(1); }));
    Settle(100);
    paints.Reset();
    allow(200);
    ASSERT_TRUE(WaitUntil([&] { return hasReached(200); }));
    Settle(100);
    EXPECT_GE(paints.MostItemsSeen(), 200);
    allow(INT_MAX);
    EXPECT_TRUE(WaitUntil([&] { return !tree->IsPopulating(); }));
    tree->Populator().SetCountedHook({});
}

}  // namespace
