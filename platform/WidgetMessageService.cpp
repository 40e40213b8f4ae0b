#include "platform/WidgetMessageService.h"

#include <QApplication>
#include <QDebug>
#include <QMessageBox>
#include <QThread>
#include <array>
#include <utility>

namespace platform {

namespace {

constexpr std::array<std::pair<MsgButton, QMessageBox::StandardButton>, 6> kButtons{{
    {MsgButton::Ok, QMessageBox::Ok},
    {MsgButton::Cancel, QMessageBox::Cancel},
    {MsgButton::Yes, QMessageBox::Yes},
    {MsgButton::No, QMessageBox::No},
    {MsgButton::YesToAll, QMessageBox::YesToAll},
    {MsgButton::NoToAll, QMessageBox::NoToAll},
}};

QMessageBox::StandardButton ToStandard(MsgButton button) {
    for (const auto& [ours, standard] : kButtons) {
        if (ours == button) {
            return standard;
        }
    }
    return QMessageBox::NoButton;
}

MsgButton FromStandard(QMessageBox::StandardButton button) {
    for (const auto& [ours, standard] : kButtons) {
        if (standard == button) {
            return ours;
        }
    }
    return MsgButton::None;
}

QMessageBox::Icon ToQtIcon(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Information:
            return QMessageBox::Information;
        case MsgIcon::Question:
            return QMessageBox::Question;
        case MsgIcon::Warning:
            return QMessageBox::Warning;
        case MsgIcon::Error:
            return QMessageBox::Critical;
        case MsgIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

bool OnUiThread() {
    return qApp != nullptr && QThread::currentThread() == qApp->thread();
}

}  // namespace

MsgButton WidgetMessageService::Ask(const MessageRequest& request) {
    if (!OnUiThread()) {
        qWarning().noquote() << "message box asked outside the UI thread:" << request.text;
        return SafestAnswer(request.buttons);
    }
    QMessageBox box(ToQtIcon(request.icon), request.caption, request.text, QMessageBox::NoButton,
                    QApplication::activeWindow());
    for (MsgButton button : request.buttons) {
        if (const auto standard = ToStandard(button); standard != QMessageBox::NoButton) {
            box.addButton(standard);
        }
    }
    if (request.defaultButton != MsgButton::None) {
        box.setDefaultButton(ToStandard(request.defaultButton));
    }
    box.exec();
    const MsgButton answer = FromStandard(box.standardButton(box.clickedButton()));
    return answer != MsgButton::None ? answer : SafestAnswer(request.buttons);
}

void WidgetMessageService::Beep() {
    if (OnUiThread()) {
        QApplication::beep();
    }
}

}  // namespace platform
