#include "Components/ImgPanel/ImageToDib.h"

#include <cstring>

UniqueDib PackedDibFromImage(const QImage& image) {
    if (image.isNull() || image.width() < 1 || image.height() < 1) {
        return nullptr;
    }
    const QImage bgr = image.convertToFormat(QImage::Format_BGR888);
    if (bgr.isNull()) {
        return nullptr;
    }
    UniqueDib dib(DibCreate(bgr.width(), bgr.height(), 24));
    if (!dib) {
        return nullptr;
    }
    const uint32_t rowBytes = DibRowBytes(dib.get());
    const int height = bgr.height();
    const size_t pixelBytes = static_cast<size_t>(bgr.width()) * 3;
    for (int y = 0; y < height; ++y) {
        // The image's top row is the picture's last stored row.
        uint8_t* target = DibBits(dib.get()) + static_cast<size_t>(height - 1 - y) * rowBytes;
        std::memcpy(target, bgr.constScanLine(y), pixelBytes);
    }
    return dib;
}
