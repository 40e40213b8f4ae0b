#include "SlideFixtures.h"

#include <QFile>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <vector>

#include <jpeglib.h>

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

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::vector<uint8_t> Samples(const PictureFile& picture) {
    const int components = picture.grey ? 1 : 3;
    std::vector<uint8_t> samples(size_t(picture.width) * picture.height * components);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const bool mark = x < picture.width / 4 && y < picture.height / 4;
            uint8_t* px = &samples[(size_t(y) * picture.width + x) * components];
            if (picture.grey) {
                px[0] = mark ? 10 : static_cast<uint8_t>(qGray(picture.color.rgb()));
            } else {
                px[0] = mark ? 10 : static_cast<uint8_t>(picture.color.red());
                px[1] = mark ? 10 : static_cast<uint8_t>(picture.color.green());
                px[2] = mark ? 10 : static_cast<uint8_t>(picture.color.blue());
            }
        }
    }
    return samples;
}

}  // namespace

void WriteJpeg(const QString& path, const PictureFile& picture) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(QFile::encodeName(path), "wb"));
    if (!file) {
        throw std::runtime_error("cannot write " + path.toStdString());
    }
    std::vector<uint8_t> samples = Samples(picture);
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file.get());
    info.image_width = static_cast<JDIMENSION>(picture.width);
    info.image_height = static_cast<JDIMENSION>(picture.height);
    info.input_components = picture.grey ? 1 : 3;
    info.in_color_space = picture.grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    const size_t rowBytes = size_t(picture.width) * info.input_components;
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = &samples[info.next_scanline * rowBytes];
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
}

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
        PictureFile picture;
        picture.width = width;
        picture.height = height;
        picture.color = QColor::fromHsv((i * 360 / std::max(count, 1)) % 360, 200, 230);
        paths.append(Add(QStringLiteral("p%1.jpg").arg(i + 1), picture));
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
