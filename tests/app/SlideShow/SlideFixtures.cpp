#include "SlideFixtures.h"

#include <QFile>
#include <QImage>
#include <stdexcept>

namespace slidetest {

void Truncate(const QString& path, qint64 bytes) {
    if (!QFile(path).resize(bytes)) {
        throw std::runtime_error("cannot truncate " + path.toStdString());
    }
}

QString Series::Add(const QString& name, const PictureFile& picture) {
    QImage image(picture.width, picture.height,
                 picture.grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    image.fill(picture.color);
    for (int y = 0; y < picture.height / 4; ++y) {
        for (int x = 0; x < picture.width / 4; ++x) {
            image.setPixelColor(x, y, QColor(10, 10, 10));
        }
    }
    const QString path = dir_.filePath(name);
    if (!dir_.isValid() || !image.save(path, "JPG", 95)) {
        throw std::runtime_error("cannot write " + path.toStdString());
    }
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

}  // namespace slidetest
