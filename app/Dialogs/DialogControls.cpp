#include "app/Dialogs/DialogControls.h"

#include <QApplication>
#include <QDialog>
#include <QFrame>
#include <QStyle>

namespace {

constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;

QPushButton* AddIconButton(QDialog* dialog, QStyle::StandardPixmap icon, const QString& name,
                           const QString& caption, int left, int top) {
    auto* button = new QPushButton(QApplication::style()->standardIcon(icon), caption, dialog);
    button->setObjectName(name);
    button->setGeometry(left, top, kButtonWidth, kButtonHeight);
    return button;
}

}  // namespace

QLabel* AddLabel(QWidget* parent, const QString& text, int left, int top) {
    auto* label = new QLabel(text, parent);
    label->move(left, top);
    label->adjustSize();
    return label;
}

QLineEdit* AddEdit(QWidget* parent, const QString& name, const QRect& rect, int maxLength) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setGeometry(rect);
    if (maxLength > 0) {
        edit->setMaxLength(maxLength);
    }
    return edit;
}

QLineEdit* AddShownEdit(QWidget* parent, const QString& name, const QRect& rect) {
    auto* holder = new QFrame(parent);
    holder->setGeometry(rect);
    holder->setEnabled(false);
    QLineEdit* edit = AddEdit(holder, name, QRect(0, 0, rect.width(), rect.height()));
    edit->setReadOnly(true);
    return edit;
}

QSlider* AddTrackBar(QWidget* parent, const QString& name, const QRect& rect, int min, int max) {
    auto* bar = new QSlider(Qt::Horizontal, parent);
    bar->setObjectName(name);
    bar->setGeometry(rect);
    bar->setRange(min, max);
    bar->setPageStep(1);
    bar->setTickPosition(QSlider::TicksBelow);
    bar->setTickInterval(1);
    return bar;
}

QPushButton* AddPushButton(QWidget* parent, const QString& name, const QString& caption,
                           const QRect& rect) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(rect);
    return button;
}

TDialogButtons AddOkCancelButtons(QDialog* dialog, const QString& okName, const QString& cancelName,
                                  int okLeft, int cancelLeft, int top) {
    TDialogButtons buttons;
    buttons.ok =
        AddIconButton(dialog, QStyle::SP_DialogOkButton, okName, QStringLiteral("OK"), okLeft, top);
    buttons.ok->setDefault(true);
    buttons.cancel = AddIconButton(dialog, QStyle::SP_DialogCancelButton, cancelName,
                                   QStringLiteral("Cancel"), cancelLeft, top);
    return buttons;
}
