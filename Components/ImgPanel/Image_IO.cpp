#include "Components/ImgPanel/Image_IO.h"

#include <algorithm>

#include "imaging/EAbort.h"

namespace {

constexpr QImage::Format kBitmapFormat = QImage::Format_RGB888;
constexpr long double kFullQualityFrom = 88.0L;  // quality from which the budget passes 1

}  // namespace

TImage_IO::TImage_IO(QObject* Owner) : QObject(Owner), bitmap_(0, 0, kBitmapFormat) {
    SetQuality(kDefaultQuality);
}

TImage_IO::~TImage_IO() = default;

int TImage_IO::LoadFromFile(const std::string& name) {
    cancel_.store(false);
    return LoadImageData(bitmap_, name);
}

int TImage_IO::SaveToFile(const std::string& name) {
    cancel_.store(false);
    return SaveImageData(bitmap_, name);
}

void TImage_IO::CancelOperation() {
    cancel_.store(true);
}

void TImage_IO::SetAttachedBitmap(const QImage& bitmap) {
    if (!bitmap.isNull()) {
        bitmap_ = bitmap.convertToFormat(kBitmapFormat);
    }
}

// Up to quality 88 the budget grows slowly (0.00625 bits per pixel a step) to 0.55; from
// 88 it climbs from 1 to 24 bits at quality 100.
void TImage_IO::SetQuality(double quality) {
    const long double q = std::clamp(quality, 0.0, 100.0);
    quality_ = static_cast<double>(q);
    maxBitPerPixel_ = static_cast<double>(
        q < kFullQualityFrom ? q * 0.00625L : (q - kFullQualityFrom) * 23.0L * (1.0L / 12.0L) + 1);
}

void TImage_IO::SetMBPP(double bitsPerPixel) {
    const long double m = std::clamp(bitsPerPixel, 0.0, 24.0);
    maxBitPerPixel_ = static_cast<double>(m);
    quality_ = static_cast<double>(m <= 1 ? kFullQualityFrom * m : 76 + m);
}

void TImage_IO::DoOnProgress(int percent) {
    DoProgressNoCancel(percent);
    if (cancel_.load()) {
        throw EAbort("Operation Terminated Outside Decoder");
    }
}

void TImage_IO::DoProgressNoCancel(int percent) {
    if (OnProgress) {
        OnProgress(this, percent);
    }
}
