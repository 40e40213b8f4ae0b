// The slideshow control: layout, loading (sizes, orientation, refusals, progress) and the
// loaded series' commands (playing, reordering, removing, the mouse drags, full screen).

#include <gtest/gtest.h>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>

#include "SlideFixtures.h"
#include "app/SlideShow/FullScreenForm.h"
#include "app/SlideShow/PicPanel.h"
#include "app/SlideShow/SlideShow.h"
#include "app/SlideShow/ThumbBox.h"
#include "app/SlideShow/ThumbButton.h"
#include "imaging/DibDraw.h"
#include "platform/testing/ScriptedMessageService.h"
#include "tests/app/QtPrinters.h"

using platform::MsgButton;

namespace {

struct Event {
    int stage;
    int percent;
    QString message;
    bool operator==(const Event&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Event& e) {
    return out << "(" << e.stage << ", " << e.percent << ", " << e.message.toStdString() << ")";
}

// Start, one step per picture at the given percentages, end.
std::vector<Event> Steps(const QString& message, std::initializer_list<int> percents) {
    std::vector<Event> events{{0, 0, message}};
    for (int percent : percents) {
        events.push_back({1, percent, message});
    }
    events.push_back({2, 100, message});
    return events;
}

const QString kPrepare = QStringLiteral("Prepare to show...");

void SendMouse(QWidget* widget, QEvent::Type type, QPoint local,
               Qt::MouseButton button = Qt::LeftButton) {
    const bool held = type != QEvent::MouseButtonRelease;
    QMouseEvent event(type, QPointF(local), QPointF(widget->mapToGlobal(local)),
                      type == QEvent::MouseMove ? Qt::NoButton : button,
                      held ? Qt::MouseButtons(button) : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

class SlideShowFixture : public ::testing::Test {
  protected:
    // A new shown control in show that records its progress events.
    void Make(bool reduced = false, int rotateMode = 0, QSize size = {640, 420}) {
        show = std::make_unique<TSlideShow>(nullptr, reduced, rotateMode, &closeButton);
        show->resize(size);
        show->show();
        show->OnProgress = [this](QObject* sender, unsigned char stage, unsigned char percent,
                                  const QString& message, bool& cancel) {
            EXPECT_NE(sender, nullptr);
            events.push_back({stage, percent, message});
            cancel = stage == 1 && static_cast<int>(events.size()) - 1 == cancelAt;
        };
    }

    // A control tall enough for the thumbnails, showing list at full size.
    void Load(const QStringList& list, bool reduced = false) {
        Make(reduced, 0, {640, 620});
        show->Optimization = 3;
        files = list;
        show->SetImages(files);
        ASSERT_EQ(show->Count(), files.size());
    }
    void Load(int count, bool reduced = false) { Load(series.AddMany(count, 64, 48), reduced); }

    QSize PictureSize(int index) const {
        return {DibWidth(show->Pictures[index].get()), DibHeight(show->Pictures[index].get())};
    }

    // The load numbers in display order, 1-based like the thumbnails print them; the
    // thumbnails must agree with the series.
    std::vector<int> Order() const {
        std::vector<int> order;
        for (int loaded : show->GetLoadOrder()) {
            order.push_back(loaded + 1);
        }
        for (int i = 0; show->ThumbBox != nullptr && i < show->ThumbBox->Count(); ++i) {
            EXPECT_EQ(show->ThumbBox->Button(i)->Tag, order[i]) << "thumbnail " << i;
        }
        return order;
    }

    void Select(int index) { show->ThumbBox->Button(index)->click(); }

    std::vector<Event> events;
    int cancelAt = -1;
    platform::ScriptedMessageService messages;
    platform::ScopedMessageService scoped{messages};
    slidetest::Series series;
    QStringList files;
    QApplication& app = EnsureApp();  // before the first widget
    QPushButton closeButton;
    std::unique_ptr<TSlideShow> show;
};

class SlideShowLoad : public SlideShowFixture {};
class SlideShowCommands : public SlideShowFixture {};
using Seq = std::vector<int>;

}  // namespace

TEST_F(SlideShowLoad, AFreshControlLaysOutByItsWidthAndStartsAtTheDefaultSpeed) {
    for (int width : {400, 640, 1100}) {
        Make(false, 0, {width, 420});
        EXPECT_EQ(show->RotateLeftButton->x(), width - 203) << width;
        EXPECT_EQ(show->PicPanel->width(), width - 125) << width;
        EXPECT_EQ(show->ThumbBox->geometry(), QRect(width - 121, 2, 118, 390)) << width;
        EXPECT_EQ(show->DeleteButton->x(), width - 31) << width;
        EXPECT_EQ(show->SpeedBar->geometry().right() + 1, width - 203 - 4) << width;
        EXPECT_EQ(show->PlayButton->geometry(), QRect(33, 420 - 23, 44, 20));
        EXPECT_EQ(show->BottomBevel->geometry(), QRect(1, 420 - 26, width - 3, 2));

        Make(true, 0, {width, 420});
        EXPECT_EQ(show->RotateLeftButton->x(), width - 85) << width;
        EXPECT_EQ(show->PicPanel->width(), width - 4) << width;
        EXPECT_EQ(show->ThumbBox, nullptr);
    }
    // Thumbnails that fit keep the column narrow, also when loaded before the control shows.
    show = std::make_unique<TSlideShow>(nullptr, false, 0, &closeButton);
    show->resize(640, 620);
    show->Optimization = 3;
    show->SetImages(series.AddMany(2, 64, 48));
    show->show();
    EXPECT_EQ(show->ThumbBox->geometry(), QRect(640 - 121, 2, 118, 590));

    EXPECT_EQ(show->SpeedBar->value(), 800);
    EXPECT_EQ(show->GetDelay(), 250);
    show->SetDelay(20);  // faster than the bar goes: shown at its end, not fed back
    EXPECT_EQ(show->GetDelay(), 20);
    EXPECT_EQ(show->SpeedBar->value(), 1000);
    show->SpeedBar->setValue(50);
    EXPECT_EQ(show->GetDelay(), 1000);
}

TEST_F(SlideShowLoad, LoadsAtTheLevelsScaleWithNumberedThumbnailsAndReportsEachPicture) {
    const QStringList files = series.AddMany(4, 640, 480);
    Make();
    show->Optimization = 1;
    show->SetImages(files);
    ASSERT_EQ(show->Count(), 4);
    EXPECT_EQ(show->PicPanel->Scale, 4);
    EXPECT_EQ(PictureSize(0), QSize(160, 120));
    EXPECT_EQ(show->GetImages(), files);
    EXPECT_EQ(show->CurPic, 0);
    EXPECT_EQ(events, Steps(kPrepare, {25, 50, 75, 100}));
    EXPECT_TRUE(show->PlayButton->isEnabled());
    EXPECT_TRUE(show->ThumbBox->Button(0)->Down());
    // Thumbnails are stacked by height, numbered from 1 and named by their file.
    const TThumbButton* fourth = show->ThumbBox->Button(3);
    EXPECT_EQ(fourth->size(), QSize(116, 88));
    EXPECT_EQ(fourth->y(), 264);
    EXPECT_EQ(fourth->Tag, 4);
    EXPECT_EQ(fourth->toolTip(), "p4.jpg");
    EXPECT_EQ(fourth->Glyph().size(), QSize(4 * 112, 84));
    // The up cell shows the picture upright: its dark corner top left, its colour elsewhere.
    const QImage cell = fourth->FirstCell().toImage();
    const QImage picture = DibToImage(show->Pictures[3].get());
    EXPECT_LT(qGray(cell.pixel(22, 12)), 60);
    const QRgb shown = cell.pixel(100, 75), own = picture.pixel(150, 110);
    EXPECT_LE(std::abs(qRed(shown) - qRed(own)) + std::abs(qGreen(shown) - qGreen(own)) +
                  std::abs(qBlue(shown) - qBlue(own)),
              12);
}

TEST_F(SlideShowLoad, OrientationIsAskedOnceWithThreePreviewsAndCancelLoadsNothing) {
    const QStringList files = series.AddMany(3, 64, 48);
    for (int answer : {kRotateLeft, kRotateCancelled}) {
        Make(false, kRotateAsk);
        int asked = 0;
        show->AskOrientation = [&](const QString& text, const QString& caption, const QImage& left,
                                   const QImage& normal, const QImage& right) {
            ++asked;
            EXPECT_EQ(text, "Choose desire orientation of the selected images:");
            EXPECT_EQ(caption, "Select orientation");
            EXPECT_EQ(normal.size(), QSize(153, 153));
            // The dark corner of the picture lies top left as it is, bottom left turned left
            // and top right turned right.
            EXPECT_LT(qGray(normal.pixel(10, 30)), 60);
            EXPECT_LT(qGray(left.pixel(30, 142)), 60);
            EXPECT_LT(qGray(right.pixel(122, 10)), 60);
            return answer;
        };
        show->SetImages(files);
        EXPECT_EQ(asked, 1);
        if (answer == kRotateLeft) {
            ASSERT_EQ(show->Count(), 3);
            EXPECT_EQ(PictureSize(2), QSize(24, 32));
        } else {
            EXPECT_EQ(show->Count(), 0);
            EXPECT_EQ(events.back().stage, 2);
        }
    }
    EXPECT_TRUE(messages.Questions().empty());
}

// A missing first picture is named; a picture that cannot be decoded fails the whole
// load with its name and cause; the progress has ended when the box shows.
TEST_F(SlideShowLoad, UnreadablePictureFailsWithOneMessageNamingFileAndCause) {
    const QStringList files = series.AddMany(3, 64, 48);
    slidetest::Truncate(files[1], QFileInfo(files[1]).size() - 100);
    const QString empty = series.Add("empty.jpg", {});
    slidetest::Truncate(empty, 0);
    const QString header = series.Add("header.jpg", {});
    slidetest::Truncate(header, 200);
    const QString missing = series.Path("missing.jpg");
    const std::pair<QStringList, QString> cases[] = {
        {{missing}, "Can't read file:" + missing},
        {files, "Can't load image '" + files[1] + "': its picture data is damaged or cut short."},
        {{files[0], empty}, "Can't load image '" + empty + "': the file is empty."},
        {{files[0], header},
         "Can't load image '" + header + "': it is not a JPEG picture, or its header is damaged."}};
    int stageAtBox = -1;
    messages.SetResponder([&](const platform::MessageRequest&) {
        stageAtBox = events.back().stage;
        return platform::MsgButton::Ok;
    });
    for (const auto& [list, message] : cases) {
        Make(false, kRotateAsk);
        show->SetImages(list);
        EXPECT_EQ(show->Count(), 0);
        EXPECT_EQ(show->ThumbBox->Count(), 0);
        EXPECT_EQ(messages.Questions().back().text, message);
        EXPECT_EQ(messages.Questions().back().caption, "Error");
        EXPECT_EQ(stageAtBox, 2) << "the progress box is away before the message";
    }
    EXPECT_EQ(messages.Questions().size(), 4u);
}

TEST_F(SlideShowLoad, PictureOfAnotherSizeIsRefusedWithTheDialog) {
    QStringList files = series.AddMany(2, 64, 48);
    // Same pixel count, other orientation: still refused.
    files.append(series.Add("portrait.jpg", {48, 64, Qt::blue}));
    Make();
    QString shownName;
    QString shownTitle;
    int stageAtDialog = -1;
    OnNextModal([&](QWidget* modal) {
        stageAtDialog = events.back().stage;
        shownTitle = modal->windowTitle();
        if (auto* name = modal->findChild<QLabel*>("ErrorFileName")) {
            shownName = name->text();
        }
        static_cast<QDialog*>(modal)->accept();
    });
    show->SetImages(files);
    EXPECT_EQ(shownTitle, "Incorrect set of images");
    EXPECT_EQ(shownName, " " + files[2]);
    EXPECT_EQ(show->Count(), 0);
    EXPECT_EQ(messages.Beeps(), 1);
    EXPECT_EQ(stageAtDialog, 2);
}

TEST_F(SlideShowLoad, CancelStopsAfterTheCurrentPicture) {
    const QStringList files = series.AddMany(4, 64, 48);
    Make();
    cancelAt = 2;  // the second step event
    show->SetImages(files);
    EXPECT_EQ(show->Count(), 0);
    EXPECT_TRUE(messages.Questions().empty());
    EXPECT_EQ(events,
              (std::vector<Event>{
                  {0, 0, kPrepare}, {1, 25, kPrepare}, {1, 50, kPrepare}, {2, 100, kPrepare}}));
}

TEST_F(SlideShowLoad, RotateTurnsEveryPictureAndReportsEachOne) {
    Load(5);
    events.clear();
    show->Rotate(kRotateRight);
    EXPECT_EQ(events, Steps("Rotating images...", {20, 40, 60, 80, 100}));
    EXPECT_FALSE(show->Changed);
    EXPECT_EQ(show->GetImages(), files);
    EXPECT_EQ(PictureSize(4), QSize(48, 64));
    EXPECT_EQ(show->ThumbBox->Button(0)->height(), 149 + 4);
    EXPECT_TRUE(show->PlayButton->isEnabled());

    // A grey series loads as palette pictures, turned as the rotate mode says.
    Make(false, kRotateRight);
    show->Optimization = 3;
    QStringList grey;
    for (int i = 0; i < 3; ++i) {
        grey.append(series.Add(QStringLiteral("g%1.jpg").arg(i), {40, 30, Qt::gray, true}));
    }
    show->SetImages(grey);
    ASSERT_EQ(show->Count(), 3);
    EXPECT_EQ(show->Pictures[0]->biBitCount, 8);
    EXPECT_EQ(PictureSize(0), QSize(30, 40));
    show->Rotate(kRotateLeft);
    EXPECT_EQ(PictureSize(0), QSize(40, 30));

    // One pixel wide and very wide pictures load, show, turn and paint.
    for (QSize size : {QSize(1, 300), QSize(2000, 1)}) {
        Load({series.Add("a.jpg", {size.width(), size.height(), Qt::green}),
              series.Add("b.jpg", {size.width(), size.height(), Qt::blue})});
        EXPECT_GE(show->ThumbBox->Button(1)->height(), 5);
        EXPECT_FALSE(show->PicPanel->ImageRect.isEmpty());
        show->Next();
        show->Rotate(kRotateRight);
        EXPECT_EQ(PictureSize(1), QSize(size.height(), size.width()));
        show->PicPanel->grab();  // paints without dividing by zero
    }
}

TEST_F(SlideShowLoad, EmptyListStopsAndClearsAndCommandsThenDoNothing) {
    Make();
    show->SetImages(series.AddMany(2, 64, 48));
    show->Start();
    show->SetImages(nullptr);  // no list: nothing changes
    EXPECT_EQ(show->Count(), 2);
    EXPECT_TRUE(show->IsPlaying());
    show->SetImages(QStringList());
    EXPECT_EQ(show->Count(), 0);
    EXPECT_FALSE(show->IsPlaying());
    EXPECT_EQ(show->CurPic, -1);
    EXPECT_FALSE(show->PlayButton->isEnabled());

    show->Rotate(kRotateRight);
    for (auto command :
         {&TSlideShow::Start, &TSlideShow::Next, &TSlideShow::Prev, &TSlideShow::OnMoveUpClick,
          &TSlideShow::OnMakeFirstClick, &TSlideShow::OnZOrderClick, &TSlideShow::OnDeleteClick,
          &TSlideShow::OnTimer}) {
        (show.get()->*command)();
    }
    EXPECT_EQ(show->Count(), 0);
    EXPECT_FALSE(show->IsPlaying());
    EXPECT_FALSE(show->Changed);
    EXPECT_TRUE(messages.Questions().empty());
}

// Names, pictures and thumbnails move together, and the moved picture stays selected.
TEST_F(SlideShowCommands, ReorderCommandsMoveTheCurrentPictureEverywhere) {
    Load(4);
    show->OnMoveUpClick();  // the first goes to the end
    EXPECT_EQ(Order(), (Seq{2, 3, 4, 1}));
    EXPECT_EQ(show->CurPic, 3);
    EXPECT_TRUE(show->Changed);
    EXPECT_TRUE(show->ThumbBox->Button(3)->Down());
    show->OnMoveDownClick();  // and the last back to the front
    EXPECT_EQ(Order(), (Seq{1, 2, 3, 4}));
    EXPECT_EQ(show->GetImages(), files);

    Select(2);
    show->OnMakeFirstClick();
    EXPECT_EQ(Order(), (Seq{3, 4, 1, 2}));
    EXPECT_EQ(show->CurPic, 0);
    EXPECT_EQ(show->ThumbBox->Button(0)->toolTip(), "p3.jpg");
    EXPECT_EQ(show->GetImages(), (QStringList{files[2], files[3], files[0], files[1]}));

    Select(1);
    show->OnZOrderClick();
    EXPECT_EQ(Order(), (Seq{2, 1, 4, 3}));
    EXPECT_EQ(show->CurPic, 2);
    EXPECT_TRUE(show->ThumbBox->Button(2)->Down());
    show->Start();
    show->OnZOrderClick();  // the one command that leaves play running
    EXPECT_TRUE(show->IsPlaying());
    EXPECT_EQ(Order(), (Seq{3, 4, 1, 2}));

    // A reduced control has no order commands.
    Load(3, true);
    show->OnMoveUpClick();
    show->OnDeleteClick();
    EXPECT_EQ(Order(), (Seq{1, 2, 3}));
    EXPECT_TRUE(messages.Questions().empty());
}

TEST_F(SlideShowCommands, PlayingShowsThePicturesInTurnAndStepsStopIt) {
    Load(3);
    show->PlayButton->click();
    EXPECT_FALSE(show->MoveUpButton->isEnabled());
    std::vector<int> shown;
    for (int tick = 0; tick < 5; ++tick) {
        show->OnTimer();
        shown.push_back(show->PicPanel->CurImage);
    }
    EXPECT_EQ(shown, (std::vector<int>{0, 1, 2, 0, 1}));
    show->PlayButton->click();  // stopping shows the one after the last shown
    EXPECT_FALSE(show->IsPlaying());
    EXPECT_EQ(show->PicPanel->CurImage, 2);
    EXPECT_TRUE(show->MoveUpButton->isEnabled());
    EXPECT_TRUE(show->ThumbBox->Button(2)->Down());

    show->Start();
    show->Next();
    EXPECT_FALSE(show->IsPlaying());
    EXPECT_EQ(show->CurPic, 0);
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
    const platform::MessageRequest question = messages.Questions().at(0);
    EXPECT_EQ(question.text, "Do you want to remove the selected image from series?");
    EXPECT_EQ(question.caption, "Removing confirmation");
    EXPECT_EQ(question.defaultButton, MsgButton::No);
}

// A small move is a click, and while playing no drag starts; a drag marks the gap it is over
// and drops there; a drag whose release went elsewhere ends at the next press, moving
// nothing.
TEST_F(SlideShowCommands, DraggingAThumbnailMarksTheGapAndDropsThere) {
    Load(5);
    for (bool playing : {false, true}) {
        if (playing) {
            show->Start();
        }
        TThumbButton* third = show->ThumbBox->Button(2);
        SendMouse(third, QEvent::MouseButtonPress, {50, 40});
        SendMouse(third, QEvent::MouseMove, {50, playing ? 70 : 45});
        EXPECT_FALSE(show->ThumbDragging) << playing;
        SendMouse(third, QEvent::MouseButtonRelease, {50, playing ? 70 : 45});
        EXPECT_EQ(show->CurPic, 2) << playing;
        EXPECT_FALSE(show->IsPlaying());
    }
    EXPECT_FALSE(show->Changed);

    TThumbButton* source = show->ThumbBox->Button(0);
    SendMouse(source, QEvent::MouseButtonPress, {50, 40});
    SendMouse(source, QEvent::MouseMove, {50, 47});
    ASSERT_TRUE(show->ThumbDragging);
    // Over gap 2: the marks frame the gap between thumbnails 2 and 3.
    SendMouse(source, QEvent::MouseMove, {50, 216});
    EXPECT_EQ(show->LastInsPos, 2);
    EXPECT_TRUE(show->ThumbBox->UpperMarkShown());
    EXPECT_TRUE(show->ThumbBox->LowerMarkShown());
    EXPECT_EQ(show->ThumbBox->UpperMarkPos(), QPoint(48, 3 * 88 - 19 - 11));
    EXPECT_EQ(show->ThumbBox->LowerMarkPos(), QPoint(48, 3 * 88 + 9));
    SendMouse(source, QEvent::MouseButtonRelease, {50, 216});
    EXPECT_FALSE(show->ThumbDragging);
    EXPECT_EQ(Order(), (Seq{2, 3, 1, 4, 5}));
    EXPECT_EQ(show->CurPic, 2);  // the drop did not also click thumbnail 0
    EXPECT_TRUE(show->Changed);
    EXPECT_FALSE(show->ThumbBox->UpperMarkShown());
    EXPECT_TRUE(show->ThumbBox->Button(2)->Down());

    source = show->ThumbBox->Button(0);
    SendMouse(source, QEvent::MouseButtonPress, {50, 40});
    SendMouse(source, QEvent::MouseMove, {50, 47});
    SendMouse(source, QEvent::MouseMove, {50, 130});
    ASSERT_TRUE(show->ThumbDragging);
    SendMouse(show->ThumbBox->Button(1), QEvent::MouseButtonPress, {50, 40});
    EXPECT_FALSE(show->ThumbDragging);
    EXPECT_FALSE(show->ThumbBox->UpperMarkShown());
    SendMouse(show->ThumbBox->Button(1), QEvent::MouseButtonRelease, {50, 40});
    EXPECT_EQ(Order(), (Seq{2, 3, 1, 4, 5}));
}

TEST_F(SlideShowCommands, DraggingAcrossThePictureStepsAndWraps) {
    Load(series.AddMany(10, 640, 480));
    TPicPanel* panel = show->PicPanel;
    const QRect image = panel->ImageRect;
    ASSERT_GT(image.width(), 100);
    const int full = image.width() - 1;  // right - left: one width steps 12 pictures of 10
    const QPoint start = image.center();
    show->Start();
    SendMouse(panel, QEvent::MouseButtonPress, start);
    SendMouse(panel, QEvent::MouseMove, start + QPoint(full, 0));
    EXPECT_FALSE(show->IsPlaying());
    EXPECT_EQ(show->CurPic, 2);
    SendMouse(panel, QEvent::MouseMove, start + QPoint(full - 3, 0));
    EXPECT_EQ(show->CurPic, 2);  // too small a move to step
    SendMouse(panel, QEvent::MouseMove, start + QPoint(-3, 0));
    EXPECT_EQ(show->CurPic, 0);  // 2 - 12 wraps to 0
    SendMouse(panel, QEvent::MouseButtonRelease, start);
    EXPECT_FALSE(show->PicDragging);
    EXPECT_TRUE(show->ThumbBox->Button(0)->Down());
}

TEST_F(SlideShowCommands, FullScreenAndBackByKeyAndByPress) {
    Load(3);
    const QRect before = show->PicPanel->geometry();
    show->Start();
    for (bool byKey : {true, false}) {
        bool sawFullScreen = false;
        int ticks = 0;
        OnNextModal([&](QWidget* modal) {
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
                SendMouse(show->PicPanel, QEvent::MouseButtonPress, {5, 5}, Qt::RightButton);
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
