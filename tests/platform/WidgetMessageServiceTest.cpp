#include "platform/WidgetMessageService.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <functional>
#include <thread>

#include "WidgetTestApp.h"

namespace {

using platform::MessageRequest;
using platform::MsgButton;
using platform::MsgIcon;

// Runs action on the box as soon as the service's modal loop shows it.
MsgButton AskAndAct(const MessageRequest& request, std::function<void(QMessageBox&)> action) {
    platform_test::EnsureApplication();
    bool acted = false;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            action(*box);
            acted = true;
        } else if (modal != nullptr) {
            modal->close();
        }
    });
    const MsgButton answer = platform::WidgetMessageService().Ask(request);
    EXPECT_TRUE(acted);
    return answer;
}

// The clicked button is the answer (a mix-up would turn "No to All" into an overwrite),
// Enter takes the default and Escape the safest answer. The box shows what was asked.
TEST(WidgetMessageServiceTest, TheAnswerIsTheButtonClickedOrTheKeyPressed) {
    using enum MsgButton;
    using Box = QMessageBox;
    const std::vector<MsgButton> all = {Yes, YesToAll, No, NoToAll, Cancel};
    const struct {
        std::vector<MsgButton> offered;
        MsgButton preset;
        Box::StandardButton click;  // NoButton: the key is pressed instead
        Qt::Key key;
        MsgButton answer;
    } cases[] = {{all, None, Box::Yes, {}, Yes},
                 {all, None, Box::YesToAll, {}, YesToAll},
                 {all, None, Box::No, {}, No},
                 {all, None, Box::NoToAll, {}, NoToAll},
                 {all, None, Box::Cancel, {}, Cancel},
                 {{Yes, No}, No, Box::NoButton, Qt::Key_Return, No},
                 {{Yes, No}, None, Box::NoButton, Qt::Key_Escape, No},
                 {{Yes, Cancel}, None, Box::NoButton, Qt::Key_Escape, Cancel}};
    for (const auto& c : cases) {
        const MessageRequest request{"Sort?", "Sort list", c.offered, MsgIcon::Question, c.preset};
        const MsgButton answer = AskAndAct(request, [&c](QMessageBox& box) {
            EXPECT_EQ(box.windowTitle(), "Sort list");
            EXPECT_EQ(box.text(), "Sort?");
            EXPECT_EQ(box.icon(), QMessageBox::Question);
            EXPECT_EQ(box.buttons().size(), static_cast<qsizetype>(c.offered.size()));
            c.click != Box::NoButton ? box.button(c.click)->click() : QTest::keyClick(&box, c.key);
        });
        EXPECT_EQ(answer, c.answer) << static_cast<int>(c.answer);
    }
}

// Widgets belong to the UI thread: asked from another one, the service shows nothing and
// gives the safest answer.
TEST(WidgetMessageServiceTest, AWorkerThreadGetsTheSafestAnswer) {
    platform_test::EnsureApplication();
    MsgButton answer = MsgButton::None;
    std::thread worker([&answer] {
        platform::WidgetMessageService service;
        answer = service.Ask(MessageRequest{"q", "c", {MsgButton::Yes, MsgButton::No}});
        service.Beep();
    });
    worker.join();
    EXPECT_EQ(answer, MsgButton::No);
}

}  // namespace
