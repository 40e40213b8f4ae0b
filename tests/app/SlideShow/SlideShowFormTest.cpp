// The preview form and ShowSlideShow: what is handed back, the close question, the
// remembered geometry and the progress relay.

#include <gtest/gtest.h>
#include <QDir>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QToolButton>

#include "SlideFixtures.h"
#include "app/SlideShow/SlideShow.h"
#include "app/SlideShow/SlideShowForm.h"
#include "platform/IniFile.h"
#include "platform/testing/ScriptedMessageService.h"

using platform::MsgButton;

namespace {

class SlideShowFormTest : public ::testing::Test {
  protected:
    SlideShowFormTest() {
        slidetest::App();
        options.rotateMode = kRotateNone;
        options.iniFile = settings.filePath("orvane-viewer.ini");
    }

    static TSlideShowForm* Form(QWidget* modal) { return qobject_cast<TSlideShowForm*>(modal); }

    // Runs ShowSlideShow with action done on the shown form.
    int Run(QStringList& files, std::function<void(TSlideShowForm*)> action) {
        slidetest::WhenModal([action](QWidget* modal) {
            TSlideShowForm* form = Form(modal);
            ASSERT_NE(form, nullptr);
            action(form);
        });
        return ShowSlideShow(files, options);
    }

    platform::ScriptedMessageService messages;
    platform::ScopedMessageService scoped{messages};
    slidetest::Series series;
    QTemporaryDir settings;
    TSlideShowOptions options;
};

}  // namespace

TEST_F(SlideShowFormTest, EmptyListShowsNothing) {
    QStringList files;
    int progress = 0;
    options.onProgress = [&](auto&&...) { ++progress; };
    EXPECT_EQ(ShowSlideShow(files, options), 2);
    EXPECT_TRUE(files.isEmpty());
    EXPECT_EQ(progress, 0);
}

TEST_F(SlideShowFormTest, UnloadableSeriesReturnsWithoutShowing) {
    QStringList files = series.AddMany(2, 64, 48);
    slidetest::Truncate(files[1], 100);
    const QStringList before = files;
    EXPECT_EQ(ShowSlideShow(files, options), 2);
    EXPECT_EQ(files, before);
    ASSERT_EQ(messages.Questions().size(), 1u);
    EXPECT_EQ(messages.Questions()[0].text, "Can't load images - not enough memory");
}

TEST_F(SlideShowFormTest, FallbackDelayAndLevelAndPlaysWhenShown) {
    QStringList files = series.AddMany(3, 64, 48);
    const QStringList before = files;
    options.delayMs = 0;
    options.optLevel = 7;
    int delay = 0;
    int level = 0;
    bool playing = false;
    const int result = Run(files, [&](TSlideShowForm* form) {
        delay = form->SlideShow->GetDelay();
        level = form->SlideShow->Optimization;
        playing = form->SlideShow->IsPlaying();
        EXPECT_EQ(form->windowTitle(), "Preview your picture series as a 3D image.");
        form->OkButton->click();
    });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(files, before);
    EXPECT_EQ(delay, 250);
    EXPECT_EQ(level, 3);
    EXPECT_TRUE(playing);
    EXPECT_TRUE(messages.Questions().empty());  // unchanged: nothing to ask
}

TEST_F(SlideShowFormTest, ProgressIsRelayedFromTheFormBeforeItShows) {
    QStringList files = series.AddMany(2, 64, 48);
    std::vector<int> stages;
    QObject* sender = nullptr;
    bool closeEnabledWhileLoading = true;
    options.onProgress = [&](QObject* from, unsigned char stage, unsigned char, const QString&,
                             bool&) {
        stages.push_back(stage);
        sender = from;
        auto* form = qobject_cast<TSlideShowForm*>(from);
        ASSERT_NE(form, nullptr);
        EXPECT_FALSE(form->isVisible());
        if (stage == 1) {
            closeEnabledWhileLoading &= form->OkButton->isEnabled();
        }
    };
    QObject* shownForm = nullptr;
    Run(files, [&](TSlideShowForm* form) {
        shownForm = form;
        EXPECT_TRUE(form->OkButton->isEnabled());
        form->close();
    });
    EXPECT_EQ(stages, (std::vector<int>{0, 1, 1, 2}));
    EXPECT_EQ(sender, shownForm);
    EXPECT_FALSE(closeEnabledWhileLoading);
}

TEST_F(SlideShowFormTest, AppliedOrderHandsBackTheSeriesPathsNotTheCopies) {
    // The series lists pictures on a card; they are read through copies elsewhere.
    const QStringList copies = series.AddMany(3, 64, 48);
    QStringList files{"/media/card/a.jpg", "/media/card/b.jpg", "/media/card/c.jpg"};
    options.readablePath = [&](const QString& path) { return copies[files.indexOf(path)]; };
    const QStringList original = files;
    messages.QueueAnswers({MsgButton::Yes});
    const int result = Run(files, [](TSlideShowForm* form) {
        form->SlideShow->OnPicClick();  // no sender: ignored
        form->SlideShow->Stop();
        form->SlideShow->OnMoveUpClick();  // the first goes to the end
        form->close();
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(files, (QStringList{original[1], original[2], original[0]}));
    ASSERT_EQ(messages.Questions().size(), 1u);
    const platform::MessageRequest question = messages.Questions()[0];
    EXPECT_EQ(question.text, "Do you want to apply changes and close preview?");
    EXPECT_EQ(question.caption, "Apply changes");
    EXPECT_EQ(question.buttons,
              (std::vector<MsgButton>{MsgButton::Yes, MsgButton::No, MsgButton::Cancel}));
}

TEST_F(SlideShowFormTest, NoKeepsTheSeriesAndCancelKeepsThePreviewOpen) {
    QStringList files = series.AddMany(3, 64, 48);
    const QStringList before = files;
    messages.QueueAnswers({MsgButton::Cancel, MsgButton::No});
    bool stayedOpen = false;
    const int result = Run(files, [&](TSlideShowForm* form) {
        form->SlideShow->Stop();
        form->SlideShow->OnZOrderClick();
        form->close();
        stayedOpen = form->isVisible();
        form->close();
    });
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(result, 2);
    EXPECT_EQ(files, before);
}

TEST_F(SlideShowFormTest, RemovingTheLastPictureAndApplyingEmptiesTheSeries) {
    QStringList files = series.AddMany(1, 64, 48);
    messages.QueueAnswers({MsgButton::Yes, MsgButton::Yes});
    const int result = Run(files, [](TSlideShowForm* form) {
        form->SlideShow->Stop();
        form->SlideShow->DeleteButton->click();
    });
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(files.isEmpty());
    ASSERT_EQ(messages.Questions().size(), 2u);
    EXPECT_EQ(messages.Questions()[1].buttons,
              (std::vector<MsgButton>{MsgButton::Yes, MsgButton::No}));
}

TEST_F(SlideShowFormTest, SmallRememberedSizeGrowsAndIsCentred) {
    {
        TIniFile ini(options.iniFile);
        ini.WriteString("SlideShow", "State", "NRM");
        ini.WriteInteger("SlideShow", "Width", 300);
        ini.WriteInteger("SlideShow", "Height", 200);
        ASSERT_TRUE(ini.UpdateFile());
    }
    QStringList files = series.AddMany(2, 64, 48);
    QSize size;
    QPoint pos;
    bool maximized = true;
    Run(files, [&](TSlideShowForm* form) {
        size = form->size();
        pos = form->pos();
        maximized = form->isMaximized();
        form->close();
    });
    const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
    EXPECT_FALSE(maximized);
    EXPECT_EQ(size, QSize(540, 406));
    EXPECT_EQ(pos, QPoint((screen.width() - 540) / 2, (screen.height() - 406) / 2));
    const TIniFile ini(options.iniFile);
    EXPECT_EQ(ini.ReadString("SlideShow", "State", ""), "NRM");
    EXPECT_EQ(ini.ReadInteger("SlideShow", "Width", 0), 540);
}

TEST_F(SlideShowFormTest, MaximisedCloseWritesOnlyTheState) {
    {
        TIniFile ini(options.iniFile);
        ini.WriteString("SlideShow", "State", "NRM");
        ini.WriteInteger("SlideShow", "Width", 700);
        ini.WriteInteger("SlideShow", "Height", 500);
        ini.WriteInteger("SlideShow", "Left", 10);
        ini.WriteInteger("SlideShow", "Top", 20);
        ASSERT_TRUE(ini.UpdateFile());
    }
    QStringList files = series.AddMany(2, 64, 48);
    Run(files, [](TSlideShowForm* form) {
        EXPECT_EQ(form->size(), QSize(700, 500));
        form->showMaximized();
        form->close();
    });
    const TIniFile ini(options.iniFile);
    EXPECT_EQ(ini.ReadString("SlideShow", "State", ""), "MAX");
    EXPECT_EQ(ini.ReadInteger("SlideShow", "Width", 0), 700);
    EXPECT_EQ(ini.ReadInteger("SlideShow", "Left", 0), 10);

    bool reopenedMaximized = false;
    Run(files, [&](TSlideShowForm* form) {
        reopenedMaximized = form->isMaximized();
        form->close();
    });
    EXPECT_TRUE(reopenedMaximized);
}

TEST_F(SlideShowFormTest, CloseRequestedWhileTurningWaitsForTheTurn) {
    QStringList files = series.AddMany(4, 64, 48);
    TSlideShowForm* shown = nullptr;
    bool closedDuringTurn = false;
    int picturesAfterTurn = 0;
    options.onProgress = [&](QObject*, unsigned char stage, unsigned char, const QString& message,
                             bool&) {
        if (shown != nullptr && stage == 1 && message == "Rotating images...") {
            shown->close();
            closedDuringTurn |= !shown->isVisible();
        }
    };
    const int result = Run(files, [&](TSlideShowForm* form) {
        shown = form;
        form->SlideShow->Stop();
        form->SlideShow->RotateRightButton->click();
        picturesAfterTurn = form->SlideShow->Count();
        EXPECT_EQ(DibWidth(form->SlideShow->Pictures[0].get()), 48 / 4);  // turned, at 1/4
    });
    EXPECT_FALSE(closedDuringTurn);
    EXPECT_EQ(picturesAfterTurn, 4);
    EXPECT_EQ(result, 2);
}
