#include "Components/ImgPanel/ImgCtrl.h"

#include <algorithm>
#include <cstdint>

#include "Components/ImgPanel/ImgErrors.h"

std::optional<uint64_t> PictureBudget(std::optional<uint64_t> available) {
    if (!available) {
        return std::nullopt;
    }
    const uint64_t reserve = std::max(uint64_t{64} << 20, *available / 8);
    return *available > reserve ? *available - reserve : 0;
}

double CalcDisplayCoeff(unsigned maxWidth, unsigned maxHeight, unsigned width, unsigned height) {
    if (maxWidth == 0 || maxHeight == 0) {
        return 0.1;
    }
    if (width < maxWidth && height < maxHeight) {
        return 1.0;
    }
    const double heightRatio = static_cast<double>(height) / maxHeight;
    const double widthRatio = static_cast<double>(width) / maxWidth;
    if (heightRatio > widthRatio) {
        return static_cast<double>(maxHeight) / height;
    }
    return static_cast<double>(maxWidth) / width;
}

TImgCtrl::TImgCtrl() = default;

TImgCtrl::~TImgCtrl() = default;

void TImgCtrl::LoadFromFile(const std::string& /*name*/) {
    picture_.reset();
    fileName_.clear();
    errorCode_ = 0;
    reserved_ = 0;
    pictureBytes_ = 0;
}

void TImgCtrl::AbortLoading() {
    abort_.store(true, std::memory_order_release);
}

bool TImgCtrl::AbortRequested() const {
    return abort_.load(std::memory_order_acquire);
}

void TImgCtrl::SetDisplayScanlines(unsigned rows) {
    displayScanlines_ = std::max(rows, 1u);
}

void TImgCtrl::SetMaxDisplaySize(unsigned width, unsigned height) {
    maxDisplayWidth_ = width;
    maxDisplayHeight_ = height;
}

void TImgCtrl::DoProgress(int nScanLineFrom, int nScanLineTo, TImgEvent ImgEvent) {
    if (OnProgress) {
        OnProgress(this, picture_.get(), std::max(nScanLineFrom, 0), std::max(nScanLineTo, 0),
                   ImgEvent);
    }
}

void TImgCtrl::DoError(unsigned long code) {
    if (OnError) {
        OnError(this, FormatErrorMessage(code));
    }
}

void TImgCtrl::MakeRowsTopDown(const std::function<void(uint8_t* row)>& makeRow) {
    const size_t rowBytes = DibRowBytes(Picture());
    uint8_t* writePosition = DibBits(Picture()) + static_cast<size_t>(outputHeight_) * rowBytes;
    const int scanlines = static_cast<int>(DisplayScanlines());
    for (int i = 0; i < outputHeight_; ++i) {
        CheckAbort();
        writePosition -= rowBytes;
        makeRow(writePosition);
        if (i % scanlines == 0) {
            DoProgress(i - scanlines, i, TImgEvent::RowsDecoded);
        }
    }
}

uint64_t TImgCtrl::MemoryLeft() const {
    if (!memoryBudget_) {
        return UINT64_MAX;
    }
    // Each term fits a budget, so the sum cannot wrap.
    const uint64_t used = reserved_ + 2 * pictureBytes_;
    return *memoryBudget_ > used ? *memoryBudget_ - used : 0;
}

void TImgCtrl::ReserveMemory(uint64_t bytes) {
    if (bytes > MemoryLeft()) {
        throw TImgDecodeError{ImgError::NotEnoughMemory};
    }
    reserved_ += bytes;
}

void TImgCtrl::CheckPictureFits(int width, int height, int bitCount) const {
    const uint64_t bytes = DibCreateSize(width, height, bitCount);
    if (bytes == 0 || bytes > MemoryLeft() / 2) {
        throw TImgDecodeError{ImgError::NotEnoughMemory};
    }
}

void TImgCtrl::CreatePicture(int width, int height, int bitCount, DibPages pages) {
    picture_.reset();
    pictureBytes_ = 0;
    CheckPictureFits(width, height, bitCount);
    const uint64_t bytes = DibCreateSize(width, height, bitCount);
    picture_.reset(DibCreate(width, height, bitCount, pages));
    if (!picture_) {
        throw TImgDecodeError{ImgError::NotEnoughMemory};
    }
    pictureBytes_ = bytes;
}

// The filter's window and tables and the picture are both counted before either is made.
FilterGuard TImgCtrl::OpenFilteredPicture(FilterParams& filter) {
    uint64_t filterBytes = 0;
    if (const unsigned long code = filter_plan(&filter, &filterBytes); code != 0) {
        throw TImgDecodeError{code};
    }
    ReserveMemory(filterBytes);
    CheckPictureFits(filter.dstWidth, filter.dstHeight, 24);
    if (const unsigned long code = filter_open(&filter); code != 0) {
        throw TImgDecodeError{code};
    }
    outputWidth_ = filter.dstWidth;
    outputHeight_ = filter.dstHeight;
    try {
        CreatePicture(outputWidth_, outputHeight_, 24);
    } catch (...) {
        filter_destroy(&filter);
        throw;
    }
    return FilterGuard(filter);
}

void TImgCtrl::CheckAbort() const {
    if (AbortRequested()) {
        throw TImgDecodeError{ImgError::Aborted};
    }
}

void TImgCtrl::RunDecodeFrame(const std::string& name, const std::function<void()>& body) {
    try {
        body();
        const auto [from, to] = FinishedRows();
        DoProgress(from, to, TImgEvent::Finished);
        fileName_ = name;
    } catch (const TImgDecodeError& failure) {
        errorCode_ = failure.code != 0 ? failure.code : ImgError::Unknown;
    } catch (...) {
        errorCode_ = ImgError::Unknown;
    }
    if (errorCode_ != 0) {
        picture_.reset();
        fileName_.clear();
        try {
            DoError(errorCode_);
        } catch (...) {
            // A failing error handler must not turn a reported failure into a crash.
        }
    }
}
