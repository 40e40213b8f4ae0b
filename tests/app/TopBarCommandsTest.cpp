#include <gtest/gtest.h>
#include <QKeyEvent>
#include <QTest>

#include "TestApp.h"
#include "app/ConfigForm.h"
#include "app/TopBarCommands.h"
#include "platform/testing/ScriptedMessageService.h"

namespace {

// Answers the keys a widget really receives, as the main window previews them.
struct KeyCatcher : QWidget {
    TFormKeyState state;
    QList<TFormCommand> commands;
    QList<TSeriesKeyCommand> moves;
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() != Qt::Key_Alt && event->key() != Qt::Key_Control) {
            commands.append(FormKeyCommand(*event, state));
            moves.append(SeriesKeyCommand(*event));
        }
    }
};

TEST(FormKeys, CommandsInTheirStates) {
    EnsureApp();
    using C = TFormCommand;
    const TFormKeyState all{true, true, true, true};
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        TFormKeyState state;
        TFormCommand command;
    } cases[] = {
        {Qt::Key_Insert, Qt::NoModifier, {}, C::Add},
        {Qt::Key_Delete, Qt::NoModifier, all, C::Remove},
        {Qt::Key_Delete, Qt::NoModifier, {false, true, true, true}, C::None},
        {Qt::Key_P, Qt::AltModifier, all, C::Preview},
        {Qt::Key_P, Qt::AltModifier, {true, false, true, true}, C::None},
        {Qt::Key_P, Qt::NoModifier, all, C::None},
        {Qt::Key_S, Qt::AltModifier, all, C::Save},
        {Qt::Key_S, Qt::AltModifier, {true, true, false, true}, C::None},  // empty series
        {Qt::Key_S, Qt::ControlModifier, all, C::None},
        {Qt::Key_A, Qt::ControlModifier, all, C::SelectAll},
        {Qt::Key_A, Qt::ControlModifier, {true, true, true, false}, C::None},
        {Qt::Key_Return, Qt::NoModifier, all, C::None},
    };
    for (const auto& c : cases) {
        KeyCatcher window;
        window.state = c.state;
        QTest::keyClick(&window, c.key, c.modifiers);
        EXPECT_EQ(window.commands, QList<TFormCommand>{c.command}) << c.key << " " << c.modifiers;
    }
}

TEST(FormKeys, SeriesReorderKeys) {
    EnsureApp();
    KeyCatcher window;
    QTest::keyClick(&window, Qt::Key_Up, Qt::ControlModifier);
    QTest::keyClick(&window, Qt::Key_Down, Qt::ControlModifier);
    QTest::keyClick(&window, Qt::Key_Up);
    QTest::keyClick(&window, Qt::Key_Left, Qt::ControlModifier);
    using M = TSeriesKeyCommand;
    EXPECT_EQ(window.moves, QList<M>({M::MoveUp, M::MoveDown, M::None, M::None}));
}

TEST(TopBar, HelpIsNotAvailable) {
    EnsureApp();
    platform::ScriptedMessageService messages;
    platform::ScopedMessageService scope(messages);
    ShowHelpUnavailable();
    ASSERT_EQ(messages.Questions().size(), 1u);
    EXPECT_EQ(messages.Questions()[0].text, "Sorry, currently Help is not available");
    EXPECT_EQ(messages.Questions()[0].caption, QGuiApplication::applicationDisplayName());
    EXPECT_EQ(messages.Questions()[0].buttons, std::vector{platform::MsgButton::Ok});
}

class ConfigRunTest : public ::testing::Test {
  protected:
    QApplication& app_ = EnsureApp();  // before the dialog
    TestIni ini_;
    TConfigForm config_;
};

TEST_F(ConfigRunTest, OkReportsWhatChangedAndCancelNothing) {
    OnNextModal([this](QWidget* dialog) {
        config_.SrcDirEdit->setText("/elsewhere/");
        ClickChild(dialog, "CancelButton");
    });
    EXPECT_FALSE(RunConfiguration(config_).sourceFolder);
    int quality = -1;
    OnNextModal([&](QWidget* dialog) {
        quality = (config_.OptiTrackBar->value() + 1) % 4;
        config_.OptiTrackBar->setValue(quality);
        ClickChild(dialog, "OkButton");
    });
    TConfigChanges changes = RunConfiguration(config_);
    EXPECT_FALSE(changes.sourceFolder) << "the folder stayed";
    ASSERT_TRUE(changes.quality);
    EXPECT_EQ(*changes.quality, quality);

    OnNextModal([&](QWidget* dialog) {
        config_.SrcDirEdit->setText("/pictures/new/");
        ClickChild(dialog, "OkButton");
    });
    changes = RunConfiguration(config_);
    EXPECT_EQ(changes.sourceFolder.value_or("<none>"), "/pictures/new/");
    EXPECT_FALSE(changes.quality);
}

}  // namespace
