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

// A mix-up here would turn "No to All" into an overwrite.
TEST(WidgetMessageServiceTest, TheClickedButtonIsTheAnswer) {
    const std::pair<MsgButton, QMessageBox::StandardButton> buttons[] = {
        {MsgButton::Yes, QMessageBox::Yes},
        {MsgButton::YesToAll, QMessageBox::YesToAll},
        {MsgButton::No, QMessageBox::No},
        {MsgButton::NoToAll, QMessageBox::NoToAll},
        {MsgButton::Cancel, QMessageBox::Cancel}};
    const std::vector<MsgButton> offered = {MsgButton::Yes, MsgButton::YesToAll, MsgButton::No,
                                            MsgButton::NoToAll, MsgButton::Cancel};
    for (const auto& [button, standard] : buttons) {
        const MessageRequest request{"Replace?", "Save file", offered, MsgIcon::Warning};
        auto click = [standard = standard](QMessageBox& box) { box.button(standard)->click(); };
        EXPECT_EQ(AskAndAct(request, click), button);
    }
}

TEST(WidgetMessageServiceTest, ShowsWhatWasAskedAndEnterTakesTheDefault) {
    const MessageRequest request{
        "Sort?", "Sort list", {MsgButton::Yes, MsgButton::No}, MsgIcon::Question, MsgButton::No};
    EXPECT_EQ(AskAndAct(request,
                        [](QMessageBox& box) {
                            EXPECT_EQ(box.windowTitle(), "Sort list");
                            EXPECT_EQ(box.text(), "Sort?");
                            EXPECT_EQ(box.icon(), QMessageBox::Question);
                            EXPECT_EQ(box.standardButtons(), QMessageBox::Yes | QMessageBox::No);
                            QTest::keyClick(&box, Qt::Key_Return);
                        }),
              MsgButton::No);
}

TEST(WidgetMessageServiceTest, EscapeOrAWorkerThreadGetsTheSafestAnswer) {
    auto escape = [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); };
    EXPECT_EQ(AskAndAct({"Remove?", "Remove picture", {MsgButton::Yes, MsgButton::No}}, escape),
              MsgButton::No);
    EXPECT_EQ(AskAndAct({"Replace?", "Save", {MsgButton::Yes, MsgButton::Cancel}}, escape),
              MsgButton::Cancel);
    // Widgets belong to the UI thread: asked from another one, the service shows nothing.
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
