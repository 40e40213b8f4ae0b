// The panel placement the main window is built on, its splitters, the picture lists and
// the close-on-signal watcher.

#include <gtest/gtest.h>
#include <QSignalSpy>
#include <csignal>

#include "TestApp.h"
#include "app/ListView.h"
#include "app/Panel.h"
#include "app/Splitter.h"
#include "app/TerminationWatcher.h"

namespace {

class PanelTest : public ::testing::Test, protected WithApp {
  protected:
    // A 300 x 200 panel: a 50-high top bar, an 80-wide left column with a splitter after
    // it and the rest for the client.
    void Build() {
        SetBounds(&panel_, 0, 0, 300, 200);
        top_ = Child(QRect(0, 0, 300, 50), TAlign::Top);
        left_ = Child(QRect(0, 50, 80, 150), TAlign::Left);
        splitter_ = new TSplitter(&panel_);
        SetBounds(splitter_, 80, 50, 4, 150);
        SetAlign(splitter_, TAlign::Left);
        client_ = Child(QRect(84, 50, 216, 150), TAlign::Client);
    }
    QWidget* Child(const QRect& r, TAlign align) {
        auto* w = new QWidget(&panel_);
        SetBounds(w, r.x(), r.y(), r.width(), r.height());
        SetAlign(w, align);
        return w;
    }

    TPanel panel_;
    QWidget* top_ = nullptr;
    QWidget* left_ = nullptr;
    TSplitter* splitter_ = nullptr;
    QWidget* client_ = nullptr;
};

TEST_F(PanelTest, AlignedChildrenShareThePanel) {
    Build();
    EXPECT_EQ(top_->geometry(), QRect(0, 0, 300, 50));
    EXPECT_EQ(left_->geometry(), QRect(0, 50, 80, 150));
    EXPECT_EQ(splitter_->geometry(), QRect(80, 50, 4, 150));
    EXPECT_EQ(client_->geometry(), QRect(84, 50, 216, 150));

    SetBounds(&panel_, 0, 0, 400, 300);
    EXPECT_EQ(top_->geometry(), QRect(0, 0, 400, 50));
    EXPECT_EQ(left_->geometry(), QRect(0, 50, 80, 250));
    EXPECT_EQ(client_->geometry(), QRect(84, 50, 316, 250));

    // A wider aligned child pushes the client.
    SetWidth(left_, 120);
    EXPECT_EQ(client_->geometry(), QRect(124, 50, 276, 250));
    // A hidden child takes no room.
    top_->hide();
    panel_.Realign();
    EXPECT_EQ(left_->geometry(), QRect(0, 0, 120, 300));
}

TEST_F(PanelTest, AnchoredChildrenKeepTheirDistances) {
    SetBounds(&panel_, 0, 0, 300, 200);
    auto* topRight = new QWidget(&panel_);
    SetBounds(topRight, 250, 10, 40, 20);
    SetAnchors(topRight, akTop | akRight);
    auto* stretched = new QWidget(&panel_);
    SetBounds(stretched, 10, 40, 280, 20);
    SetAnchors(stretched, akLeft | akTop | akRight);
    auto* bottomLeft = new QWidget(&panel_);
    SetBounds(bottomLeft, 10, 170, 50, 25);
    SetAnchors(bottomLeft, akLeft | akBottom);

    SetBounds(&panel_, 0, 0, 400, 260);
    EXPECT_EQ(topRight->geometry(), QRect(350, 10, 40, 20));
    EXPECT_EQ(stretched->geometry(), QRect(10, 40, 380, 20));
    EXPECT_EQ(bottomLeft->geometry(), QRect(10, 230, 50, 25));

    // Moved by the program, it keeps the new distance from then on.
    SetLeft(bottomLeft, 100);
    SetBounds(&panel_, 0, 0, 400, 200);
    EXPECT_EQ(bottomLeft->geometry(), QRect(100, 170, 50, 25));
}

TEST_F(PanelTest, OnResizeRunsAfterTheChildrenArePlaced) {
    Build();
    int seenClientWidth = -1;
    int calls = 0;
    panel_.OnResize = [&] {
        ++calls;
        seenClientWidth = client_->width();
    };
    SetBounds(&panel_, 0, 0, 500, 200);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seenClientWidth, 416);
    SetBounds(&panel_, 0, 0, 500, 200);  // same size: nothing to do
    EXPECT_EQ(calls, 1);
}

TEST_F(PanelTest, SplitterResizesTheChildBeforeIt) {
    Build();
    int moved = 0;
    splitter_->OnMoved = [&] { ++moved; };
    EXPECT_EQ(splitter_->ResizedControl(), left_);
    splitter_->DragBy(30);
    EXPECT_EQ(left_->width(), 110);
    EXPECT_EQ(client_->geometry(), QRect(114, 50, 186, 150));
    EXPECT_EQ(moved, 1);

    // The handler may refuse; the size then stays.
    splitter_->OnCanResize = [](int& size, bool& accept) { accept = size >= 100; };
    splitter_->DragBy(-20);
    EXPECT_EQ(left_->width(), 110);
    splitter_->DragBy(-10);
    EXPECT_EQ(left_->width(), 100);

    // It never takes more than the client has, nor goes below its minimum size.
    splitter_->OnCanResize = nullptr;
    splitter_->DragBy(1000);
    EXPECT_EQ(left_->width(), 100 + 196 - 1);
    splitter_->DragBy(-1000);
    EXPECT_EQ(left_->width(), 1);
}

TEST(ListViewOrder, CaptionsSortIgnoringCaseThenByBytes) {
    EXPECT_TRUE(CaptionLess("a.jpg", "B.jpg"));
    EXPECT_TRUE(CaptionLess("B.jpg", "c.jpg"));
    EXPECT_TRUE(CaptionLess("A.JPG", "a.jpg"));  // equal but for case: byte order
    EXPECT_FALSE(CaptionLess("a.jpg", "A.JPG"));
    EXPECT_FALSE(CaptionLess("x.jpg", "x.jpg"));
}

TEST(ListView, SortedAddsAndSelectionEvents) {
    EnsureApp();
    TListView list(nullptr, "Pictures", true);
    list.SetSorted(true);
    for (const char* name : {"c.jpg", "A.JPG", "b.jpeg", "a.jpg"}) {
        list.AddItem(name);
    }
    QStringList order;
    for (int i = 0; i < list.Count(); ++i) {
        order << list.Caption(i);
    }
    EXPECT_EQ(order, (QStringList{"A.JPG", "a.jpg", "b.jpeg", "c.jpg"}));

    QSignalSpy selectItem(&list, &TListView::SelectItem);
    QSignalSpy change(&list, &TListView::Change);
    list.SelectListItem(2);
    ASSERT_EQ(selectItem.count(), 1);
    EXPECT_EQ(selectItem[0][0].toInt(), 2);
    EXPECT_TRUE(selectItem[0][1].toBool());
    EXPECT_EQ(change.count(), 1);
    list.SelectListItem(-1);  // nothing
    list.SelectListItem(99);  // nothing
    EXPECT_EQ(selectItem.count(), 1);
    // A multi-select list adds to the selection.
    list.SelectListItem(0);
    EXPECT_EQ(list.SelCount(), 2);
    EXPECT_EQ(list.FirstSelected(), 0);
}

TEST(ListView, SingleSelectionListKeepsOneSelected) {
    EnsureApp();
    TListView list(nullptr, "Selected", false);
    list.AddItem("one");
    list.AddItem("two");
    list.SelectListItem(0);
    list.SelectListItem(1);
    EXPECT_EQ(list.SelCount(), 1);
    EXPECT_TRUE(list.IsSelected(1));
    list.SelectAllItems();
    EXPECT_EQ(list.SelCount(), 1);
}

TEST(TerminationWatcher, ASignalBecomesACloseOnTheEventLoop) {
    EnsureApp();
    struct sigaction before {};
    ::sigaction(SIGTERM, nullptr, &before);
    int closes = 0;
    {
        TTerminationWatcher watcher([&] { ++closes; });
        ASSERT_TRUE(watcher.Active());
        ::raise(SIGTERM);
        EXPECT_EQ(closes, 0);  // nothing runs inside the signal handler
        for (int i = 0; i < 20 && closes == 0; ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        EXPECT_EQ(closes, 1);
    }
    struct sigaction after {};
    ::sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

}  // namespace
