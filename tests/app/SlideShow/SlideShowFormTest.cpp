// The preview form and ShowSlideShow: what is handed back, the close question, the
// remembered geometry and the progress relay.

#include <QtTest/qtestspontaneevent.h>
#include <gtest/gtest.h>
#include <QHideEvent>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTemporaryDir>
#include <QToolButton>
#include <set>

#include "SlideFixtures.h"
#include "app/SlideShow/SlideShow.h"
#include "app/SlideShow/SlideShowForm.h"
#include "platform/IniFile.h"
#include "platform/testing/ScriptedMessageService.h"
#include "tests/app/QtPrinters.h"

using platform::MsgButton;

namespace {

class SlideShowFormTest : public ::testing::Test {
  protected:
    SlideShowFormTest() {
        EnsureApp();
        options.rotateMode = kRotateNone;
        options.iniFile = settings.filePath("orvane-viewer.ini");
    }

    // Runs ShowSlideShow with action done on the shown form.
    int Run(QStringList& files, std::function<void(TSlideShowForm*)> action) {
        OnNextModal([action](QWidget* modal) {
            auto* form = qobject_cast<TSlideShowForm*>(modal);
            ASSERT_NE(form, nullptr);
            action(form);
        });
        return ShowSlideShow(files, options);
    }

    void WriteGeometry(std::initializer_list<std::pair<const char*, const char*>> values) {
        TIniFile ini(options.iniFile);
        for (const auto& [key, value] : values) {
            ini.WriteString("SlideShow", key, value);
        }
        ASSERT_TRUE(ini.UpdateFile());
    }

    platform::ScriptedMessageService messages;
    platform::ScopedMessageService scoped{messages};
    slidetest::Series series;
    QTemporaryDir settings;
    TSlideShowOptions options;
};

}  // namespace

TEST_F(SlideShowFormTest, NothingToShowReturnsAndLeavesTheSeries) {
    QStringList files;
    int progress = 0;
    options.onProgress = [&](auto&&...) { ++progress; };
    EXPECT_EQ(ShowSlideShow(files, options), 2);
    EXPECT_TRUE(files.isEmpty());
    EXPECT_EQ(progress, 0);

    files = series.AddMany(2, 64, 48);
    slidetest::Truncate(files[1], 100);
    const QStringList before = files;
    EXPECT_EQ(ShowSlideShow(files, options), 2);
    EXPECT_EQ(files, before);
    ASSERT_EQ(messages.Questions().size(), 1u);
    EXPECT_EQ(
        messages.Questions()[0].text,
        "Can't load image '" + files[1] + "': it is not a JPEG picture, or its header is damaged.");
}

// Progress comes from the form while it is hidden; once shown it plays at the fallback
// delay and level, and an unchanged series closes without a question.
TEST_F(SlideShowFormTest, RelaysProgressThenPlaysAtTheFallbacks) {
    QStringList files = series.AddMany(2, 64, 48);
    const QStringList before = files;
    options.delayMs = 0;
    options.optLevel = 7;
    std::vector<int> stages;
    std::set<QObject*> senders;
    options.onProgress = [&](QObject* from, unsigned char stage, unsigned char, const QString&,
                             bool&) {
        stages.push_back(stage);
        senders.insert(from);
        auto* form = qobject_cast<TSlideShowForm*>(from);
        ASSERT_NE(form, nullptr);
        EXPECT_FALSE(form->isVisible());
        EXPECT_TRUE(stage != 1 || !form->OkButton->isEnabled()) << "no closing while loading";
    };
    QObject* shownForm = nullptr;
    const int result = Run(files, [&](TSlideShowForm* form) {
        shownForm = form;
        EXPECT_EQ(form->SlideShow->GetDelay(), 250);
        EXPECT_EQ(form->SlideShow->Optimization, 3);
        EXPECT_TRUE(form->SlideShow->IsPlaying());
        EXPECT_EQ(form->windowTitle(), "Preview your picture series as a 3D image.");
        form->OkButton->click();
    });
    EXPECT_EQ(stages, (std::vector<int>{0, 1, 1, 2}));
    EXPECT_EQ(senders, std::set<QObject*>{shownForm});
    EXPECT_EQ(result, 2);
    EXPECT_EQ(files, before);
    EXPECT_TRUE(messages.Questions().empty());
}

// The series lists pictures on a card, read through copies elsewhere: what comes back are
// the series' own paths, in the new order only on Yes; Cancel keeps the preview open.
TEST_F(SlideShowFormTest, CloseAppliesTheNewOrderOnYesOnly) {
    const QStringList copies = series.AddMany(3, 64, 48);
    const QStringList original{"/media/card/a.jpg", "/media/card/b.jpg", "/media/card/c.jpg"};
    options.readablePath = [&](const QString& path) { return copies[original.indexOf(path)]; };
    for (MsgButton answer : {MsgButton::Yes, MsgButton::No}) {
        QStringList files = original;
        messages.QueueAnswers({MsgButton::Cancel, answer});
        bool stayedOpen = false;
        const int result = Run(files, [&](TSlideShowForm* form) {
            form->SlideShow->OnPicClick();  // no sender: ignored
            form->SlideShow->Stop();
            form->SlideShow->OnMoveUpClick();  // the first goes to the end
            form->close();
            stayedOpen = form->isVisible();
            form->close();
        });
        const bool yes = answer == MsgButton::Yes;
        EXPECT_TRUE(stayedOpen);
        EXPECT_EQ(result, yes ? 1 : 2);
        EXPECT_EQ(files, (yes ? QStringList{original[1], original[2], original[0]} : original));
    }
    const platform::MessageRequest question = messages.Questions().at(0);
    EXPECT_EQ(question.text, "Do you want to apply changes and close preview?");
    EXPECT_EQ(question.caption, "Apply changes");
    EXPECT_EQ(question.buttons,
              (std::vector<MsgButton>{MsgButton::Yes, MsgButton::No, MsgButton::Cancel}));
}

// Minimising and restoring the window come as spontaneous hide and show events: the
// preview must go on with its whole series, and applying must hand all of it back.
TEST_F(SlideShowFormTest, MinimisingAndRestoringKeepsTheSeries) {
    const QStringList original = series.AddMany(3, 64, 48);
    QStringList files = original;
    messages.QueueAnswers({MsgButton::Yes});
    const int result = Run(files, [](TSlideShowForm* form) {
        QHideEvent minimised;
        QShowEvent restored;
        for (QEvent* event : {static_cast<QEvent*>(&minimised), static_cast<QEvent*>(&restored)}) {
            QSpontaneKeyEvent::setSpontaneous(event);
            QCoreApplication::instance()->notify(form, event);  // keeps the flag
            EXPECT_EQ(form->SlideShow->Count(), 3);
            EXPECT_TRUE(form->SlideShow->IsPlaying());
        }
        form->SlideShow->Stop();
        form->SlideShow->CurPic = 0;
        form->SlideShow->OnMoveDownClick();
        form->close();
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(files, (QStringList{original[1], original[0], original[2]}));
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
    EXPECT_EQ(messages.Questions()[0].text, "Do you want to remove the last image in the series?");
    EXPECT_EQ(messages.Questions()[1].buttons,
              (std::vector<MsgButton>{MsgButton::Yes, MsgButton::No}));
}

// The rules have their own table; this is the preview taking them: a stored size too small
// is grown and centred, one too large is kept on screen, and a maximised close writes only
// the state and reopens maximised.
TEST_F(SlideShowFormTest, RememberedGeometryIsFittedToTheScreenAndMaximisedKeepsTheFrame) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QStringList files = series.AddMany(2, 64, 48);
    QRect geometry;
    const auto run = [&](bool maximise) {
        Run(files, [&](TSlideShowForm* form) {
            geometry = QRect(form->pos(), form->size());
            EXPECT_EQ(form->isMaximized(),
                      TIniFile(options.iniFile).ReadString("SlideShow", "State", "") == "MAX");
            if (maximise) {
                form->showMaximized();
            }
            form->close();
        });
    };
    WriteGeometry({{"State", "NRM"}, {"Width", "300"}, {"Height", "200"}});
    run(false);
    EXPECT_EQ(geometry, QRect((area.width() - 540) / 2, (area.height() - 406) / 2, 540, 406));
    EXPECT_EQ(TIniFile(options.iniFile).ReadInteger("SlideShow", "Width", 0), 540);

    WriteGeometry({{"Width", "2147483647"}, {"Height", "500"}, {"Left", "100000"}, {"Top", "10"}});
    run(false);
    EXPECT_TRUE(area.contains(geometry)) << geometry.x() << "," << geometry.y();
    EXPECT_EQ(geometry.width(), area.width());

    WriteGeometry({{"Width", "700"}, {"Height", "500"}, {"Left", "10"}});
    for (bool reopened : {false, true}) {
        run(true);
        EXPECT_TRUE(reopened || geometry.size() == QSize(700, 500));
        const TIniFile ini(options.iniFile);
        EXPECT_EQ(ini.ReadString("SlideShow", "State", ""), "MAX");
        EXPECT_EQ(ini.ReadInteger("SlideShow", "Width", 0), 700);
        EXPECT_EQ(ini.ReadInteger("SlideShow", "Left", 0), 10);
    }
}

TEST_F(SlideShowFormTest, CloseRequestedWhileTurningWaitsForTheTurn) {
    QStringList files = series.AddMany(4, 64, 48);
    TSlideShowForm* shown = nullptr;
    bool closedDuringTurn = false;
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
        EXPECT_EQ(form->SlideShow->Count(), 4);
        EXPECT_EQ(DibWidth(form->SlideShow->Pictures[0].get()), 48 / 4);  // turned, at 1/4
    });
    EXPECT_FALSE(closedDuringTurn);
    EXPECT_EQ(result, 2);
}
