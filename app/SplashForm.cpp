#include "app/SplashForm.h"

#include <QApplication>
#include <QEventLoop>
#include <QScreen>
#include <QTimer>
#include <memory>

#include "app/ArtResources.h"

namespace {

std::unique_ptr<TFRMSplash>& Splash() {
    static std::unique_ptr<TFRMSplash> splash;
    return splash;
}

void CentreOnDesktop(QWidget* widget) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        widget->move(area.center() - widget->rect().center());
    }
}

}  // namespace

TFRMSplash::TFRMSplash() : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setWindowTitle(QStringLiteral("FRMSplash"));
    setObjectName(QStringLiteral("FRMSplash"));
    resize(521, 317);
    Image = new QLabel(this);
    Image->setAlignment(Qt::AlignCenter);
    Image->setPixmap(QPixmap::fromImage(ArtImage(QStringLiteral("splash.png"))));
    FormCreate();
}

// The window takes its picture's size, keeping its place.
void TFRMSplash::FormCreate() {
    const QSize picture = Image->pixmap().size();
    if (!picture.isEmpty()) {
        resize(picture);
    }
    Image->setGeometry(rect());
}

void ShowSplash() {
    auto& splash = Splash();
    if (!splash) {
        splash = std::make_unique<TFRMSplash>();
    }
    CentreOnDesktop(splash.get());
    splash->show();
    splash->repaint();
    splash->MarkShown();
    // Let the window system map and paint it before start-up goes on.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void HideSplash(int minimumMs) {
    auto& splash = Splash();
    if (!splash) {
        return;
    }
    const qint64 remaining = minimumMs - splash->ShownFor();
    if (remaining > 0) {
        // Everything else that arrives meanwhile is dispatched as usual; the loop ends at
        // the timer or when the application is told to quit.
        QEventLoop wait;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, &wait, &QEventLoop::quit);
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, &wait, &QEventLoop::quit);
        timer.start(static_cast<int>(remaining));
        wait.exec();
    }
    splash.reset();
}

TFRMSplash* CurrentSplash() {
    return Splash().get();
}
