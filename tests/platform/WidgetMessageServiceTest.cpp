#include "platform/WidgetMessageService.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <thread>

#include "WidgetTestApp.h"

namespace {

using platform::MessageRequest;
using platform::MsgButton;
using platform::MsgIcon;
using platform::WidgetMessageService;

// Runs action on the box as soon as the service's modal loop shows it.
MsgButton AskAndAct(const MessageRequest& request, std::function<void(QMessageBox&)> action) {
    platform_test::EnsureApplication();
    bool acted = false;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            action(*box);
            acted = true;
        } else if (QWidget* other = QApplication::activeModalWidget()) {
            other->close();
        }
    });
    WidgetMessageService service;
    const MsgButton answer = service.Ask(request);
    EXPECT_TRUE(acted);
    return answer;
}

const std::vector<MsgButton> kAllButtons = {MsgButton::Yes, MsgButton::YesToAll, MsgButton::No,
                                            MsgButton::NoToAll, MsgButton::Cancel};

QMessageBox::StandardButton Standard(MsgButton button) {
    switch (button) {
        case MsgButton::Ok:
            return QMessageBox::Ok;
        case MsgButton::Cancel:
            return QMessageBox::Cancel;
        case MsgButton::Yes:
            return QMessageBox::Yes;
        case MsgButton::No:
            return QMessageBox::No;
        case MsgButton::YesToAll:
            return QMessageBox::YesToAll;
        case MsgButton::NoToAll:
            return QMessageBox::NoToAll;
        case MsgButton::None:
            break;
    }
    return QMessageBox::NoButton;
}

}  // namespace

namespace platform {
void PrintTo(MsgButton button, std::ostream* os) {
    *os << "button " << static_cast<int>(button);
}
}  // namespace platform

namespace {

class WidgetAnswerTest : public ::testing::TestWithParam<MsgButton> {};

// Every button clicked comes back as its own answer (a mix-up here would turn "No to All"
// into an overwrite).
TEST_P(WidgetAnswerTest, TheClickedButtonIsTheAnswer) {
    const MsgButton clicked = GetParam();
    const MessageRequest request{"Replace?", "Save file", kAllButtons, MsgIcon::Warning};
    const MsgButton answer = AskAndAct(request, [clicked](QMessageBox& box) {
        QAbstractButton* button = box.button(Standard(clicked));
        ASSERT_NE(button, nullptr);
        button->click();
    });
    EXPECT_EQ(answer, clicked);
}

INSTANTIATE_TEST_SUITE_P(Buttons, WidgetAnswerTest,
                         ::testing::Values(MsgButton::Yes, MsgButton::YesToAll, MsgButton::No,
                                           MsgButton::NoToAll, MsgButton::Cancel));

TEST(WidgetMessageServiceTest, ShowsCaptionTextIconAndOnlyTheAskedButtons) {
    const MessageRequest request{"Do you want to sort list of images?",
                                 "Sort list",
                                 {MsgButton::Yes, MsgButton::No},
                                 MsgIcon::Question,
                                 MsgButton::No};
    AskAndAct(request, [](QMessageBox& box) {
        EXPECT_EQ(box.windowTitle(), "Sort list");
        EXPECT_EQ(box.text(), "Do you want to sort list of images?");
        EXPECT_EQ(box.icon(), QMessageBox::Question);
        EXPECT_EQ(box.standardButtons(), QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(box.defaultButton(), box.button(QMessageBox::No));
        box.defaultButton()->click();
    });
}

// Enter takes the default button, so a default of No really protects the user.
TEST(WidgetMessageServiceTest, EnterChoosesTheDefaultButton) {
    const MessageRequest request{"Remove?",
                                 "Removing confirmation",
                                 {MsgButton::Yes, MsgButton::No},
                                 MsgIcon::Question,
                                 MsgButton::No};
    const MsgButton answer =
        AskAndAct(request, [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); });
    EXPECT_EQ(answer, MsgButton::No);
}

TEST(WidgetMessageServiceTest, EscapeGivesTheSafestAnswer) {
    const MessageRequest yesNo{"Remove?", "Remove picture", {MsgButton::Yes, MsgButton::No}};
    EXPECT_EQ(AskAndAct(yesNo, [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }),
              MsgButton::No);
    const MessageRequest all{"Replace?", "Save file", kAllButtons};
    EXPECT_EQ(AskAndAct(all, [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }),
              MsgButton::Cancel);
}

TEST(WidgetMessageServiceTest, AskedFromAWorkerThreadItShowsNothing) {
    platform_test::EnsureApplication();
    WidgetMessageService service;
    MsgButton answer = MsgButton::None;
    std::thread worker([&] {
        answer = service.Ask(MessageRequest{"q", "c", {MsgButton::Yes, MsgButton::No}});
        service.Beep();
    });
    worker.join();
    EXPECT_EQ(answer, MsgButton::No);
}

}  // namespace
