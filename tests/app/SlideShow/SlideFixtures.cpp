#include "SlideFixtures.h"

#include <QFile>
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <stdexcept>

namespace slidetest {

QApplication& App() {
    static int argc = 1;
    static char name[] = "slideshow_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: tearing Qt down during the process's static destruction can run
    // after the platform plugin's own globals are gone.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

namespace {

void WriteJpeg(const QString& path, const PictureFile& picture) {
    QImage image(picture.width, picture.height,
                 picture.grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    image.fill(picture.color);
    for (int y = 0; y < picture.height / 4; ++y) {
        for (int x = 0; x < picture.width / 4; ++x) {
            image.setPixelColor(x, y, QColor(10, 10, 10));
        }
    }
    if (!image.save(path, "JPG", 95)) {
        throw std::runtime_error("cannot write " + path.toStdString());
    }
}

}  // namespace

void Truncate(const QString& path, qint64 bytes) {
    QFile file(path);
    if (!file.resize(bytes)) {
        throw std::runtime_error("cannot truncate " + path.toStdString());
    }
}

Series::Series() {
    if (!dir_.isValid()) {
        throw std::runtime_error("no temporary folder");
    }
}

QString Series::Add(const QString& name, const PictureFile& picture) {
    const QString path = dir_.filePath(name);
    WriteJpeg(path, picture);
    return path;
}

QStringList Series::AddMany(int count, int width, int height) {
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        const QColor hue = QColor::fromHsv(i * 360 / count % 360, 200, 230);
        paths.append(Add(QStringLiteral("p%1.jpg").arg(i + 1), {width, height, hue}));
    }
    return paths;
}

void WhenModal(std::function<void(QWidget*)> action) {
    auto* poll = new QTimer(&App());
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible()) {
            return;
        }
        poll->stop();
        poll->deleteLater();
        action(modal);
    });
    poll->start();
}

}  // namespace slidetest
