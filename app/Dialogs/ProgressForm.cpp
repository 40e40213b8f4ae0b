#include "app/Dialogs/ProgressForm.h"

#include <QFrame>
#include <QGuiApplication>
#include <QScreen>

TProgressForm::TProgressForm(QWidget* owner)
    : QDialog(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("ProgressForm"));
    setWindowTitle(QStringLiteral("ProgressForm"));
    setFixedSize(400, 50);
    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setGeometry(rect());
    ProgressLabel = new QLabel(panel);
    ProgressLabel->setObjectName(QStringLiteral("ProgressLabel"));
    ProgressLabel->setAlignment(Qt::AlignCenter);
    ProgressLabel->setGeometry(8, 5, 384, 16);
    ProgressBar = new QProgressBar(panel);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setRange(0, 100);
    ProgressBar->setTextVisible(false);
    ProgressBar->setGeometry(8, 25, 384, 16);
}

void TProgressForm::ShowCentred() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->geometry().center() - rect().center());
    }
    show();
    raise();
}
