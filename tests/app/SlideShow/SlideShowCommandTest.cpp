// The loaded slideshow's commands: playing, stepping, reordering, removing, the mouse
// drags and full screen.

#include <gtest/gtest.h>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>

#include "SlideFixtures.h"
#include "app/SlideShow/FullScreenForm.h"
#include "app/SlideShow/PicPanel.h"
#include "app/SlideShow/SlideShow.h"
#include "app/SlideShow/ThumbBox.h"
#include "app/SlideShow/ThumbButton.h"
#include "platform/testing/ScriptedMessageService.h"

using platform::MsgButton;

namespace {

void SendMouse(QWidget* widget, QEvent::Type type, QPoint local, Qt::MouseButton button,
               Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(local), QPointF(widget->mapToGlobal(local)), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

class SlideShowCommands : public ::testing::Test {
  protected:
    SlideShowCommands() { slidetest::App(); }

    void Load(int count, bool reduced = false, QSize pictureSize = {64, 48}) {
        show = std::make_unique<TSlideShow>(nullptr, reduced, 0, &closeButton);
        show->resize(640, 620);
        show->show();
        show->Optimization = 3;
        files = series.AddMany(count, pictureSize.width(), pictureSize.height());
        show->SetImages(files);
        ASSERT_EQ(show->Count(), count);
    }

    // The load numbers in display order, 1-based like the thumbnails print them.
    std::vector<int> Order() const {
        std::vector<int> order;
        for (int loaded : show->GetLoadOrder()) {
            order.push_back(loaded + 1);
        }
        return order;
    }

    std::vector<int> ThumbNumbers() const {
        std::vector<int> numbers;
        for (int i = 0; i < show->ThumbBox->Count(); ++i) {
            numbers.push_back(show->ThumbBox->Button(i)->Tag);
        }
        return numbers;
    }

    void Select(int index) { show->ThumbBox->Button(index)->click(); }

    platform::ScriptedMessageService messages;
    platform::ScopedMessageService scoped{messages};
    slidetest::Series series;
    QStringList files;
    QApplication& app = slidetest::App();
    QPushButton closeButton;
    std::unique_ptr<TSlideShow> show;
};

}  // namespace

TEST_F(SlideShowCommands, MoveUpAndDownWrapAtTheEnds) {
    Load(3);
    show->OnMoveUpClick();
    EXPECT_EQ(Order(), (std::vector<int>{2, 3, 1}));
    EXPECT_EQ(show->CurPic, 2);
    EXPECT_TRUE(show->Changed);
    EXPECT_EQ(ThumbNumbers(), Order());
    EXPECT_TRUE(show->ThumbBox->Button(2)->Down());

    show->Changed = false;
    show->OnMoveDownClick();  // the last one moves to the front
    EXPECT_EQ(Order(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(show->CurPic, 0);
    EXPECT_TRUE(show->Changed);
    EXPECT_EQ(show->GetImages(), files);
}

TEST_F(SlideShowCommands, MakeFirstTurnsTheSeriesAndReverseKeepsTheSelection) {
    Load(4);
    Select(2);
    show->OnMakeFirstClick();
    EXPECT_EQ(Order(), (std::vector<int>{3, 4, 1, 2}));
    EXPECT_EQ(show->CurPic, 0);
    EXPECT_EQ(ThumbNumbers(), Order());
    EXPECT_EQ(show->ThumbBox->Button(0)->toolTip(), "p3.jpg");

    show->Changed = false;
    show->OnMakeFirstClick();  // already first: nothing
    EXPECT_FALSE(show->Changed);

    Select(1);
    show->OnZOrderClick();
    EXPECT_EQ(Order(), (std::vector<int>{2, 1, 4, 3}));
    EXPECT_EQ(show->CurPic, 2);
    EXPECT_TRUE(show->ThumbBox->Button(2)->Down());
    EXPECT_TRUE(show->Changed);
}

TEST_F(SlideShowCommands, ReverseDuringPlayKeepsPlaying) {
    Load(5);
    show->Start();
    show->OnZOrderClick();
    EXPECT_TRUE(show->IsPlaying());
    EXPECT_EQ(Order(), (std::vector<int>{5, 4, 3, 2, 1}));
}

TEST_F(SlideShowCommands, PlayingShowsThePicturesInTurnAndStopShowsTheNext) {
    Load(3);
    show->Start();
    EXPECT_TRUE(show->PlayButton->isChecked());
    EXPECT_FALSE(show->MoveUpButton->isEnabled());
    EXPECT_FALSE(show->ThumbBox->Button(0)->Down());
    std::vector<int> shown;
    for (int tick = 0; tick < 4; ++tick) {
        show->OnTimer();
        shown.push_back(show->PicPanel->CurImage);
    }
    EXPECT_EQ(shown, (std::vector<int>{0, 1, 2, 0}));
    show->OnTimer();  // shows picture 2 of 3 ...
    show->Stop();     // ... and stopping shows the one after it
    EXPECT_EQ(show->PicPanel->CurImage, 2);
    EXPECT_FALSE(show->IsPlaying());
    EXPECT_TRUE(show->MoveUpButton->isEnabled());
    EXPECT_TRUE(show->ThumbBox->Button(2)->Down());
}

TEST_F(SlideShowCommands, PlayButtonTogglesAndStepsStopPlay) {
    Load(3);
    show->PlayButton->click();
    EXPECT_TRUE(show->IsPlaying());
    show->PlayButton->click();
    EXPECT_FALSE(show->IsPlaying());
    EXPECT_FALSE(show->PlayButton->isChecked());
    show->Start();
    show->Next();
    EXPECT_FALSE(show->IsPlaying());
    EXPECT_EQ(show->CurPic, 1);
    show->Prev();
    show->Prev();
    EXPECT_EQ(show->CurPic, 2);
}

TEST_F(SlideShowCommands, RemovalAsksAndFixesTheCurrentPicture) {
    Load(3);
    Select(2);
    messages.QueueAnswers({MsgButton::No, MsgButton::Yes});
    show->OnDeleteClick();
    EXPECT_EQ(show->Count(), 3);
    EXPECT_FALSE(show->Changed);
    show->OnDeleteClick();
    ASSERT_EQ(show->Count(), 2);
    EXPECT_EQ(show->CurPic, 1);
    EXPECT_TRUE(show->Changed);
    EXPECT_EQ(show->ThumbBox->Button(1)->y(), 88);
    EXPECT_EQ(show->GetImages(), (QStringList{files[0], files[1]}));
    const auto questions = messages.Questions();
    ASSERT_EQ(questions.size(), 2u);
    EXPECT_EQ(questions[0].text, "Do you want to remove the selected image from series?");
    EXPECT_EQ(questions[0].caption, "Removing confirmation");
    EXPECT_EQ(questions[0].defaultButton, MsgButton::No);
    EXPECT_EQ(questions[0].icon, platform::MsgIcon::Question);
}

TEST_F(SlideShowCommands, RemovingTheOnlyPictureEmptiesAndClicksClose) {
    Load(1);
    QSignalSpy closes(&closeButton, &QPushButton::clicked);
    show->Changed = true;
    messages.QueueAnswers({MsgButton::No});
    show->OnDeleteClick();
    EXPECT_EQ(show->Count(), 1);
    EXPECT_EQ(closes.count(), 0);
    messages.QueueAnswers({MsgButton::Yes});
    show->OnDeleteClick();
    EXPECT_EQ(show->Count(), 0);
    EXPECT_FALSE(show->Changed);
    EXPECT_EQ(closes.count(), 1);
    EXPECT_EQ(messages.Questions().back().text,
              "Do you want to remove the last image in the series?");
}

TEST_F(SlideShowCommands, DraggingAThumbnailMarksTheGapAndDropsThere) {
    Load(5);
    TThumbButton* source = show->ThumbBox->Button(0);
    SendMouse(source, QEvent::MouseButtonPress, {50, 40}, Qt::LeftButton, Qt::LeftButton);
    SendMouse(source, QEvent::MouseMove, {50, 47}, Qt::NoButton, Qt::LeftButton);
    ASSERT_TRUE(show->ThumbDragging);
    // Over gap 2: the marks frame the gap between thumbnails 2 and 3.
    SendMouse(source, QEvent::MouseMove, {50, 216}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(show->LastInsPos, 2);
    EXPECT_TRUE(show->ThumbBox->UpperMarkShown());
    EXPECT_TRUE(show->ThumbBox->LowerMarkShown());
    EXPECT_EQ(show->ThumbBox->UpperMarkPos(), QPoint(48, 3 * 88 - 19 - 11));
    EXPECT_EQ(show->ThumbBox->LowerMarkPos(), QPoint(48, 3 * 88 + 9));
    EXPECT_LT(show->ThumbBox->Button(2)->Tag, 0);
    EXPECT_LT(show->ThumbBox->Button(3)->Tag, 0);
    SendMouse(source, QEvent::MouseButtonRelease, {50, 216}, Qt::LeftButton, Qt::NoButton);

    EXPECT_FALSE(show->ThumbDragging);
    EXPECT_EQ(Order(), (std::vector<int>{2, 3, 1, 4, 5}));
    EXPECT_EQ(show->CurPic, 2);  // the drop did not also click thumbnail 0
    EXPECT_TRUE(show->Changed);
    EXPECT_EQ(ThumbNumbers(), Order());
    EXPECT_FALSE(show->ThumbBox->UpperMarkShown());
    EXPECT_TRUE(show->ThumbBox->Button(2)->Down());
}

TEST_F(SlideShowCommands, DroppingTheLastBelowTheEndMovesNothing) {
    Load(4);
    TThumbButton* last = show->ThumbBox->Button(3);
    SendMouse(last, QEvent::MouseButtonPress, {50, 40}, Qt::LeftButton, Qt::LeftButton);
    SendMouse(last, QEvent::MouseMove, {50, 80}, Qt::NoButton, Qt::LeftButton);
    SendMouse(last, QEvent::MouseMove, {50, 120}, Qt::NoButton, Qt::LeftButton);
    SendMouse(last, QEvent::MouseButtonRelease, {50, 120}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(Order(), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_FALSE(show->Changed);
    EXPECT_EQ(show->CurPic, 3);
}

TEST_F(SlideShowCommands, SmallMovementIsAPlainClickAndPlayingStartsNoDrag) {
    Load(4);
    TThumbButton* third = show->ThumbBox->Button(2);
    SendMouse(third, QEvent::MouseButtonPress, {50, 40}, Qt::LeftButton, Qt::LeftButton);
    SendMouse(third, QEvent::MouseMove, {58, 45}, Qt::NoButton, Qt::LeftButton);
    EXPECT_FALSE(show->ThumbDragging);
    SendMouse(third, QEvent::MouseButtonRelease, {58, 45}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(show->CurPic, 2);

    show->Start();
    TThumbButton* first = show->ThumbBox->Button(0);
    SendMouse(first, QEvent::MouseButtonPress, {50, 40}, Qt::LeftButton, Qt::LeftButton);
    SendMouse(first, QEvent::MouseMove, {50, 70}, Qt::NoButton, Qt::LeftButton);
    EXPECT_FALSE(show->ThumbDragging);
    SendMouse(first, QEvent::MouseButtonRelease, {50, 70}, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(show->IsPlaying());
    EXPECT_EQ(Order(), (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(SlideShowCommands, RightClickSelectsAndOpensTheMenu) {
    Load(3);
    show->Start();
    TThumbButton* second = show->ThumbBox->Button(1);
    SendMouse(second, QEvent::MouseButtonPress, {30, 30}, Qt::RightButton, Qt::RightButton);
    SendMouse(second, QEvent::MouseButtonRelease, {30, 30}, Qt::RightButton, Qt::NoButton);
    EXPECT_FALSE(show->IsPlaying());
    EXPECT_EQ(show->CurPic, 1);
    EXPECT_TRUE(show->PopupMenu->isVisible());
    EXPECT_TRUE(show->MoveUpItem->isEnabled());
    show->PopupMenu->hide();
}

TEST_F(SlideShowCommands, DraggingAcrossThePictureStepsAndWraps) {
    Load(10, false, {640, 480});
    TPicPanel* panel = show->PicPanel;
    const QRect image = panel->ImageRect;
    ASSERT_GT(image.width(), 100);
    const int full = image.width() - 1;  // right - left: one width steps 12 pictures of 10
    const QPoint start = image.center();
    show->Start();
    SendMouse(panel, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    SendMouse(panel, QEvent::MouseMove, start + QPoint(full, 0), Qt::NoButton, Qt::LeftButton);
    EXPECT_FALSE(show->IsPlaying());
    EXPECT_EQ(show->CurPic, 2);
    SendMouse(panel, QEvent::MouseMove, start + QPoint(full - 3, 0), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(show->CurPic, 2);  // too small a move to step
    SendMouse(panel, QEvent::MouseMove, start + QPoint(-3, 0), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(show->CurPic, 0);  // 2 - 12 wraps to 0
    SendMouse(panel, QEvent::MouseButtonRelease, start, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(show->PicDragging);
    EXPECT_TRUE(show->ThumbBox->Button(0)->Down());
}

TEST_F(SlideShowCommands, PressOutsideThePictureStartsNoDragAndDoubleClickPlays) {
    Load(3);
    TPicPanel* panel = show->PicPanel;
    SendMouse(panel, QEvent::MouseButtonPress, {1, 1}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_FALSE(show->PicDragging);
    SendMouse(panel, QEvent::MouseButtonRelease, {1, 1}, Qt::LeftButton, Qt::NoButton);
    SendMouse(panel, QEvent::MouseButtonDblClick, panel->ImageRect.center(), Qt::LeftButton,
              Qt::LeftButton);
    EXPECT_TRUE(show->IsPlaying());
    SendMouse(panel, QEvent::MouseButtonDblClick, panel->ImageRect.center(), Qt::LeftButton,
              Qt::LeftButton);
    EXPECT_FALSE(show->IsPlaying());
}

TEST_F(SlideShowCommands, FullScreenAndBackByKeyAndByPress) {
    Load(3);
    const QRect before = show->PicPanel->geometry();
    show->Start();
    for (bool byKey : {true, false}) {
        bool sawFullScreen = false;
        int ticks = 0;
        slidetest::WhenModal([&](QWidget* modal) {
            auto* form = qobject_cast<TFullScreenForm*>(modal);
            ASSERT_NE(form, nullptr);
            sawFullScreen = show->FullScreen && show->PicPanel->parentWidget() == form &&
                            show->PicPanel->width() == form->width() + 1;
            // Play goes on while the panel is full screen.
            show->OnTimer();
            const int shownBefore = show->PicPanel->CurImage;
            show->OnTimer();
            ticks = show->PicPanel->CurImage != shownBefore ? 1 : 0;
            if (byKey) {
                QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
                QApplication::sendEvent(form, &key);
            } else {
                SendMouse(show->PicPanel, QEvent::MouseButtonPress, {5, 5}, Qt::RightButton,
                          Qt::RightButton);
            }
        });
        show->FullScreenButton->click();
        EXPECT_TRUE(sawFullScreen) << byKey;
        EXPECT_EQ(ticks, 1);
        EXPECT_FALSE(show->FullScreen);
        EXPECT_EQ(show->FsForm, nullptr);
        EXPECT_EQ(show->PicPanel->parentWidget(), show.get());
        EXPECT_EQ(show->PicPanel->geometry(), before);
        EXPECT_TRUE(show->IsPlaying());
    }
}

TEST_F(SlideShowCommands, ReducedControlHasNoOrderCommands) {
    Load(3, true);
    show->OnMoveUpClick();
    show->OnDeleteClick();
    EXPECT_EQ(Order(), (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(messages.Questions().empty());
    show->Start();
    show->OnTimer();
    show->Stop();
    EXPECT_EQ(show->CurPic, 1);
}
