// The panel placement the main window is built on, its splitters, the picture lists and
// the close-on-signal watcher.

#include <gtest/gtest.h>
#include <QSignalSpy>
#include <csignal>

#include "app/MainWindow/ListView.h"
#include "app/MainWindow/Panel.h"
#include "app/MainWindow/Splitter.h"
#include "app/TerminationWatcher.h"
#include "tests/app/TestApp.h"

namespace {

class PanelTest : public ::testing::Test {
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

    QApplication& app_ = EnsureApp();  // before the widgets
    TPanel panel_;
    QWidget* top_ = nullptr;
    QWidget* left_ = nullptr;
    TSplitter* splitter_ = nullptr;
    QWidget* client_ = nullptr;
};

TEST_F(PanelTest, AlignedChildrenShareThePanel) {
    Build();
    EXPECT_EQ(splitter_->geometry(), QRect(80, 50, 4, 150));
    EXPECT_EQ(client_->geometry(), QRect(84, 50, 216, 150));

    // OnResize runs once the children are placed, and only for a new size.
    int calls = 0;
    int seenClientWidth = -1;
    panel_.OnResize = [&] {
        ++calls;
        seenClientWidth = client_->width();
    };
    SetBounds(&panel_, 0, 0, 400, 300);
    SetBounds(&panel_, 0, 0, 400, 300);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seenClientWidth, 316);
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
    auto* bottomLeft = new QWidget(&panel_);
    SetBounds(bottomLeft, 10, 170, 50, 25);
    SetAnchors(bottomLeft, akLeft | akBottom);

    SetBounds(&panel_, 0, 0, 400, 260);
    EXPECT_EQ(topRight->geometry(), QRect(350, 10, 40, 20));
    EXPECT_EQ(bottomLeft->geometry(), QRect(10, 230, 50, 25));

    // Moved by the program, it keeps the new distance from then on.
    SetLeft(bottomLeft, 100);
    SetBounds(&panel_, 0, 0, 400, 200);
    EXPECT_EQ(bottomLeft->geometry(), QRect(100, 170, 50, 25));
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

    // It never takes more than the client has, nor goes below its minimum size.
    splitter_->DragBy(1000);
    EXPECT_EQ(left_->width(), 110 + 186 - 1);
    splitter_->DragBy(-1000);
    EXPECT_EQ(left_->width(), 1);
}

TEST(ListView, SortedAddsAndSelections) {
    EnsureApp();
    TListView list(nullptr, "Pictures", true);
    list.SetSorted(true);
    // Case is ignored, then names equal but for case go in byte order.
    for (const char* name : {"c.jpg", "a.jpg", "b.jpeg", "A.JPG"}) {
        list.AddItem(name);
    }
    EXPECT_EQ(list.Caption(0), "A.JPG");
    EXPECT_EQ(list.Caption(1), "a.jpg");
    EXPECT_EQ(list.Caption(3), "c.jpg");

    QSignalSpy selectItem(&list, &TListView::SelectItem);
    list.SelectListItem(2);
    list.SelectListItem(-1);  // nothing
    list.SelectListItem(99);  // nothing
    EXPECT_EQ(selectItem.count(), 1);
    list.SelectListItem(0);  // a multi-select list adds to the selection
    EXPECT_EQ(list.SelCount(), 2);
    EXPECT_EQ(list.FirstSelected(), 0);
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
