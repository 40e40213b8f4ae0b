#include "app/Dialogs/AboutForm.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>

#include "app/ArtResources.h"

TAboutForm::TAboutForm(QWidget* owner) : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("About Pellimor Viewer..."));
    setFixedSize(520, 316);
    AboutImage = new QLabel(this);
    AboutImage->setObjectName(QStringLiteral("AboutImage"));
    AboutImage->setAlignment(Qt::AlignCenter);
    AboutImage->setPixmap(QPixmap::fromImage(ArtImage(QStringLiteral("about.png"))));
    AboutImage->setGeometry(rect());
    AboutImage->installEventFilter(this);
    // Centred on the desktop rather than over the window that opens it.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

void TAboutForm::AboutImageClick() {
    done(1);
}

bool TAboutForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == AboutImage && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        AboutImageClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

// Esc closes the box; every other key is left alone (no default button to trigger).
void TAboutForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        done(2);  // closed, as a cancelled modal box
    }
    event->accept();
}
