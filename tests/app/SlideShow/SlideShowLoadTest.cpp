// The slideshow control's layout and loading: sizes, orientation, refusals and progress.

#include <gtest/gtest.h>
#include <QLabel>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

#include "SlideFixtures.h"
#include "app/SlideShow/ErrorImageDlg.h"
#include "app/SlideShow/PicPanel.h"
#include "app/SlideShow/SlideShow.h"
#include "app/SlideShow/ThumbBox.h"
#include "app/SlideShow/ThumbButton.h"
#include "platform/testing/ScriptedMessageService.h"

using platform::MsgButton;
using slidetest::PictureFile;

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

class SlideShowLoad : public ::testing::Test {
  protected:
    void SetUp() override { slidetest::App(); }

    std::unique_ptr<TSlideShow> Make(bool reduced, int rotateMode, QSize size = {640, 420}) {
        auto show = std::make_unique<TSlideShow>(nullptr, reduced, rotateMode, nullptr);
        show->resize(size);
        show->show();
        show->OnProgress = [this](QObject* sender, unsigned char stage, unsigned char percent,
                                  const QString& message, bool& cancel) {
            EXPECT_NE(sender, nullptr);
            events.push_back({stage, percent, message});
            if (cancelAt >= 0 && stage == 1 && static_cast<int>(events.size()) - 1 == cancelAt) {
                cancel = true;
            }
        };
        return show;
    }

    QSize PictureSize(const TSlideShow& show, int index) const {
        return {DibWidth(show.Pictures[index].get()), DibHeight(show.Pictures[index].get())};
    }

    std::vector<Event> events;
    int cancelAt = -1;
    platform::ScriptedMessageService messages;
    platform::ScopedMessageService scoped{messages};
    slidetest::Series series;
};

}  // namespace

TEST_F(SlideShowLoad, LayoutFollowsTheWidthReducedOrNot) {
    for (int width : {400, 640, 1100}) {
        auto full = Make(false, 0, {width, 420});
        EXPECT_EQ(full->RotateLeftButton->x(), width - 203) << width;
        EXPECT_EQ(full->PicPanel->width(), width - 125) << width;
        EXPECT_EQ(full->ThumbBox->geometry(), QRect(width - 121, 2, 118, 390)) << width;
        EXPECT_EQ(full->DeleteButton->x(), width - 31) << width;
        EXPECT_EQ(full->SpeedBar->geometry().right() + 1, width - 203 - 4) << width;

        auto reduced = Make(true, 0, {width, 420});
        EXPECT_EQ(reduced->RotateLeftButton->x(), width - 85) << width;
        EXPECT_EQ(reduced->PicPanel->width(), width - 4) << width;
        EXPECT_EQ(reduced->ThumbBox, nullptr);
        EXPECT_EQ(reduced->PopupMenu, nullptr);
    }
}

TEST_F(SlideShowLoad, EmptyControlResizedKeepsTheReverseButtonByItsLeftEdge) {
    auto show = Make(false, 0, {600, 400});
    const int zOrder = show->ZOrderButton->x();
    const int moveUp = show->MoveUpButton->x();
    show->resize(700, 400);
    EXPECT_EQ(show->ZOrderButton->x(), zOrder);
    EXPECT_EQ(show->MoveUpButton->x(), moveUp + 100);
}

TEST_F(SlideShowLoad, SpeedBarStartsAtTheDefaultDelayAndMirrorsSetDelay) {
    auto show = Make(false, 0);
    EXPECT_EQ(show->SpeedBar->value(), 800);
    EXPECT_EQ(show->GetDelay(), 250);
    show->SetDelay(20);  // faster than the bar goes: shown at its end, not fed back
    EXPECT_EQ(show->GetDelay(), 20);
    EXPECT_EQ(show->SpeedBar->value(), 1000);
    show->SpeedBar->setValue(50);
    EXPECT_EQ(show->GetDelay(), 1000);
}

TEST_F(SlideShowLoad, LoadsAtTheLevelsScaleTurnsAndReportsEachPicture) {
    const QStringList files = series.AddMany(3, 640, 480);
    auto show = Make(false, kRotateRight);
    show->Optimization = 1;
    show->SetImages(files);
    ASSERT_EQ(show->Count(), 3);
    EXPECT_EQ(show->PicPanel->Scale, 4);
    EXPECT_EQ(PictureSize(*show, 0), QSize(120, 160));
    EXPECT_EQ(show->GetImages(), files);
    EXPECT_EQ(show->CurPic, 0);
    const QString prepare = QStringLiteral("Prepare to show...");
    EXPECT_EQ(events, (std::vector<Event>{{0, 0, prepare},
                                          {1, 33, prepare},
                                          {1, 66, prepare},
                                          {1, 100, prepare},
                                          {2, 100, prepare}}));
    EXPECT_TRUE(show->PlayButton->isEnabled());
    EXPECT_TRUE(show->ThumbBox->Button(0)->Down());
}

TEST_F(SlideShowLoad, ThumbnailsAreNumberedButtonsStackedByHeight) {
    const QStringList files = series.AddMany(5, 640, 480);
    auto show = Make(false, 0);
    show->Optimization = 1;
    show->SetImages(files);
    ASSERT_EQ(show->ThumbBox->Count(), 5);
    const TThumbButton* fourth = show->ThumbBox->Button(3);
    EXPECT_EQ(fourth->size(), QSize(116, 88));
    EXPECT_EQ(fourth->y(), 264);
    EXPECT_EQ(fourth->Tag, 4);
    EXPECT_EQ(fourth->toolTip(), "p4.jpg");
    EXPECT_EQ(fourth->Glyph().size(), QSize(4 * 112, 84));
}

TEST_F(SlideShowLoad, QualityLevelOutsideTheRangeDecodesAtHalfSize) {
    const QStringList files = series.AddMany(2, 64, 48);
    auto show = Make(true, 0);
    show->Optimization = 7;
    show->SetImages(files);
    ASSERT_EQ(show->Count(), 2);
    EXPECT_EQ(PictureSize(*show, 0), QSize(32, 24));
}

TEST_F(SlideShowLoad, NullListDoesNothingEmptyListStopsAndClears) {
    const QStringList files = series.AddMany(2, 64, 48);
    auto show = Make(false, 0);
    show->SetImages(files);
    show->Start();
    show->SetImages(nullptr);
    EXPECT_EQ(show->Count(), 2);
    EXPECT_TRUE(show->IsPlaying());
    show->SetImages(QStringList());
    EXPECT_EQ(show->Count(), 0);
    EXPECT_FALSE(show->IsPlaying());
    EXPECT_EQ(show->CurPic, -1);
    EXPECT_FALSE(show->PlayButton->isEnabled());
}

TEST_F(SlideShowLoad, OrientationIsAskedOnceWithThreePreviews) {
    const QStringList files = series.AddMany(3, 64, 48);
    auto show = Make(false, kRotateAsk);
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
        return kRotateLeft;
    };
    show->SetImages(files);
    EXPECT_EQ(asked, 1);
    ASSERT_EQ(show->Count(), 3);
    EXPECT_EQ(PictureSize(*show, 2), QSize(24, 32));
}

TEST_F(SlideShowLoad, ClosingTheOrientationQuestionLeavesTheControlEmpty) {
    const QStringList files = series.AddMany(2, 64, 48);
    auto show = Make(false, kRotateAsk);
    show->AskOrientation = [](auto&&...) { return kRotateCancelled; };
    show->SetImages(files);
    EXPECT_EQ(show->Count(), 0);
    EXPECT_TRUE(messages.Questions().empty());
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().stage, 2);
}

TEST_F(SlideShowLoad, UnreadableFirstPictureIsReportedByName) {
    auto show = Make(false, kRotateAsk);
    const QString missing = series.Path("missing.jpg");
    show->SetImages(QStringList{missing});
    EXPECT_EQ(show->Count(), 0);
    ASSERT_EQ(messages.Questions().size(), 1u);
    EXPECT_EQ(messages.Questions()[0].text, "Can't read file:" + missing);
    EXPECT_EQ(messages.Questions()[0].caption, "Error");
}

TEST_F(SlideShowLoad, PictureOfAnotherSizeIsRefusedWithTheDialog) {
    QStringList files = series.AddMany(2, 64, 48);
    // Same pixel count, other orientation: still refused.
    files.append(series.Add("portrait.jpg", {48, 64, Qt::blue}));
    auto show = Make(false, 0);
    QString shownName;
    QString shownTitle;
    slidetest::WhenModal([&](QWidget* modal) {
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
    EXPECT_EQ(events.back().stage, 2);
}

TEST_F(SlideShowLoad, TruncatedPictureFailsTheWholeLoad) {
    QStringList files = series.AddMany(3, 64, 48);
    slidetest::Truncate(files[1], 200);
    auto show = Make(false, 0);
    show->SetImages(files);
    EXPECT_EQ(show->Count(), 0);
    EXPECT_EQ(show->ThumbBox->Count(), 0);
    ASSERT_EQ(messages.Questions().size(), 1u);
    EXPECT_EQ(messages.Questions()[0].text, "Can't load images - not enough memory");
    EXPECT_EQ(events.back(), (Event{2, 100, "Prepare to show..."}));
}

TEST_F(SlideShowLoad, CancelStopsAfterTheCurrentPicture) {
    const QStringList files = series.AddMany(4, 64, 48);
    auto show = Make(false, 0);
    cancelAt = 2;  // the second step event
    show->SetImages(files);
    EXPECT_EQ(show->Count(), 0);
    EXPECT_TRUE(messages.Questions().empty());
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events.back(), (Event{2, 100, "Prepare to show..."}));
}

TEST_F(SlideShowLoad, GreySeriesLoadsAsPalettePicturesAndTurns) {
    auto show = Make(false, kRotateRight);
    show->Optimization = 3;
    QStringList files;
    for (int i = 0; i < 3; ++i) {
        files.append(series.Add(QStringLiteral("g%1.jpg").arg(i), {40, 30, Qt::gray, true}));
    }
    show->SetImages(files);
    ASSERT_EQ(show->Count(), 3);
    EXPECT_EQ(show->Pictures[0]->biBitCount, 8);
    EXPECT_EQ(PictureSize(*show, 0), QSize(30, 40));
    show->Rotate(kRotateLeft);
    EXPECT_EQ(PictureSize(*show, 0), QSize(40, 30));
}

TEST_F(SlideShowLoad, OnePixelWideAndVeryWidePicturesLoadAndShow) {
    for (QSize size : {QSize(1, 300), QSize(2000, 1)}) {
        auto show = Make(false, 0);
        show->Optimization = 3;
        const QString a = series.Add("a.jpg", {size.width(), size.height(), Qt::green});
        const QString b = series.Add("b.jpg", {size.width(), size.height(), Qt::blue});
        show->SetImages(QStringList{a, b});
        ASSERT_EQ(show->Count(), 2);
        EXPECT_GE(show->ThumbBox->Button(1)->height(), 5);
        EXPECT_FALSE(show->PicPanel->ImageRect.isEmpty());
        show->Next();
        show->Rotate(kRotateRight);
        EXPECT_EQ(PictureSize(*show, 1), QSize(size.height(), size.width()));
        show->PicPanel->grab();  // paints without dividing by zero
    }
}

TEST_F(SlideShowLoad, RotateReportsEveryPictureAndKeepsTheChangedFlag) {
    const QStringList files = series.AddMany(5, 64, 48);
    auto show = Make(false, 0);
    show->Optimization = 3;
    show->SetImages(files);
    events.clear();
    show->Rotate(kRotateRight);
    const QString rotating = QStringLiteral("Rotating images...");
    EXPECT_EQ(events, (std::vector<Event>{{0, 0, rotating},
                                          {1, 20, rotating},
                                          {1, 40, rotating},
                                          {1, 60, rotating},
                                          {1, 80, rotating},
                                          {1, 100, rotating},
                                          {2, 100, rotating}}));
    EXPECT_FALSE(show->Changed);
    EXPECT_EQ(show->GetImages(), files);
    EXPECT_EQ(PictureSize(*show, 4), QSize(48, 64));
    EXPECT_EQ(show->ThumbBox->Button(0)->height(), 149 + 4);
    EXPECT_TRUE(show->isEnabled());
    EXPECT_TRUE(show->PlayButton->isEnabled());
}

TEST_F(SlideShowLoad, CommandsOnAnEmptyControlDoNothing) {
    auto show = Make(false, 0);
    show->Start();
    show->Next();
    show->Prev();
    show->Rotate(1);
    show->OnMoveUpClick();
    show->OnMoveDownClick();
    show->OnMakeFirstClick();
    show->OnZOrderClick();
    show->OnDeleteClick();
    show->OnTimer();
    show->Stop();
    EXPECT_EQ(show->Count(), 0);
    EXPECT_FALSE(show->IsPlaying());
    EXPECT_FALSE(show->Changed);
    EXPECT_TRUE(messages.Questions().empty());
}
