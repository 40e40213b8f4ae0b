#include "app/SlideShow/FullScreenForm.h"

#include <QKeyEvent>

TFullScreenForm::TFullScreenForm(const QRect& screen)
    : QDialog(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("FsForm"));
    setGeometry(screen);
}

void TFullScreenForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (OnShow) {
        OnShow();
    }
}

void TFullScreenForm::hideEvent(QHideEvent* event) {
    if (OnHide) {
        OnHide();
    }
    QDialog::hideEvent(event);
}

void TFullScreenForm::keyPressEvent(QKeyEvent* event) {
    if (!event->text().isEmpty()) {
        reject();
        return;
    }
    QDialog::keyPressEvent(event);
}
