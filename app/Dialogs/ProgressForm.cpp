#include "app/Dialogs/ProgressForm.h"

#include <QFrame>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

QString ElidedPathText(const QString& text, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(text) <= width) {
        return text;
    }
    const qsizetype slash = text.lastIndexOf(QLatin1Char('/'));
    if (slash > 0) {
        const QString name = text.mid(slash);
        const int room = width - metrics.horizontalAdvance(name);
        const QString head = metrics.elidedText(text.left(slash), Qt::ElideMiddle, room);
        if (room > 0 && !head.isEmpty()) {
            return head + name;
        }
    }
    return metrics.elidedText(text, Qt::ElideMiddle, width);
}

QString TPathLabel::ShownText() const {
    return ElidedPathText(text(), fontMetrics(), contentsRect().width());
}

void TPathLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(contentsRect(), static_cast<int>(alignment()), ShownText());
}

TProgressForm::TProgressForm(QWidget* owner)
    : QDialog(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("ProgressForm"));
    setWindowTitle(QStringLiteral("ProgressForm"));
    setFixedSize(400, 50);
    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setGeometry(rect());
    ProgressLabel = new TPathLabel(panel);
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
