#include "Components/ImgPanel/WicImg.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>
#include <optional>
#include <vector>

#include "Components/ImgPanel/ImgErrors.h"
#include "Components/ImgPanel/QmDecoder.h"
#include "Components/ImgPanel/WicTransform.h"
#include "imaging/Resample.h"
#include "platform/LargeBlock.h"
#include "platform/PosixFile.h"

namespace {

// The stream has no length of its own; a file past this size is not a picture we show.
constexpr size_t kMaxFileBytes = size_t{1} << 30;

// The colour difference weights of the YCbCr colour space, without offsets.
constexpr float kBlueFromCb = 1.772f;
constexpr float kGreenFromCb = 0.34414f;
constexpr float kGreenFromCr = 0.71414f;
constexpr float kRedFromCr = 1.402f;

uint16_t ReadU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool MultipleOf(int side, int levels) {
    return side > 0 && side % (1 << levels) == 0;
}

// A sample matrix, taken from the system as fresh pages (see platform/LargeBlock.h).
platform::ZeroedArray<float> AllocateSamples(size_t count) {
    try {
        return platform::ZeroedArray<float>(count);
    } catch (const std::bad_alloc&) {
        throw TImgDecodeError{ImgError::NotEnoughMemory};
    }
}

// Written so that the loops over a row vectorise: the clamps are selects that also turn
// not-a-number into 0, and the conversion is to a full int.
inline int32_t ToLevel(float sample) {
    float v = sample + 0.5f;
    v = v > 0.0f ? v : 0.0f;
    v = v < 255.0f ? v : 255.0f;
    return static_cast<int32_t>(v);
}

// Rows are computed as pixel words (blue, green, red in the low three bytes) into scratch
// (width words), a loop that vectorises, then written out a word per pixel: each word's
// fourth byte lands on the next pixel's first and is overwritten by it; the last pixel
// goes out byte by byte so that nothing is written past the row.
void StorePixels(const uint32_t* pixels, int width, uint8_t* out) {
    int x = 0;
    for (; x + 4 < width; x += 4, out += 12) {
        std::memcpy(out, &pixels[x], sizeof(uint32_t));
        std::memcpy(out + 3, &pixels[x + 1], sizeof(uint32_t));
        std::memcpy(out + 6, &pixels[x + 2], sizeof(uint32_t));
        std::memcpy(out + 9, &pixels[x + 3], sizeof(uint32_t));
    }
    for (; x + 1 < width; ++x, out += 3) {
        std::memcpy(out, &pixels[x], sizeof(uint32_t));
    }
    const uint32_t last = pixels[width - 1];
    out[0] = static_cast<uint8_t>(last);
    out[1] = static_cast<uint8_t>(last >> 8);
    out[2] = static_cast<uint8_t>(last >> 16);
}

void GreyRow(const float* __restrict luma, int width, uint32_t* __restrict scratch, uint8_t* out) {
    for (int x = 0; x < width; ++x) {
        scratch[x] = static_cast<uint32_t>(ToLevel(luma[x])) * 0x010101u;
    }
    StorePixels(scratch, width, out);
}

void ColourRow(const float* __restrict luma, const float* __restrict cr, const float* __restrict cb,
               int width, uint32_t* __restrict scratch, uint8_t* out) {
    for (int x = 0; x < width; ++x) {
        const auto blue = static_cast<uint32_t>(ToLevel(luma[x] + kBlueFromCb * cb[x]));
        const auto green =
            static_cast<uint32_t>(ToLevel(luma[x] - kGreenFromCb * cb[x] - kGreenFromCr * cr[x]));
        const auto red = static_cast<uint32_t>(ToLevel(luma[x] + kRedFromCr * cr[x]));
        scratch[x] = blue | (green << 8) | (red << 16);
    }
    StorePixels(scratch, width, out);
}

float StepOf(const WicHeader& header) {
    return static_cast<float>(header.step / 65536.0);
}

// Decodes colour plane `plane` (0 luminance, 1 and 2 colour differences) into out and
// transforms it back into samples. scratch null: the transform works in the store's
// memory, which is given up for it. finestLevel false: the finest level is left to
// wic::FinestRows.
void DecodePlane(const WicHeader& header, int plane, QmDecoder& qm, wic::ZerotreeStore& store,
                 wic::WaveletScratch* scratch, float* out, const std::function<void()>& checkAbort,
                 bool finestLevel = true) {
    const auto failIfDamaged = [&qm] {
        if (qm.Damaged()) {
            throw TImgDecodeError{ImgError::Unknown};
        }
    };
    wic::ZerotreeDecode(header.bitPlanes[plane], qm, store, [&] {
        checkAbort();
        failIfDamaged();
    });
    failIfDamaged();
    store.MoveToMatrix(out, scratch != nullptr);
    platform::LargeBlock storeMemory;
    std::optional<wic::WaveletScratch> ownScratch;
    if (scratch == nullptr) {
        storeMemory = store.TakeNodeMemory();
        try {
            scratch = &ownScratch.emplace(header.matrix.width, header.matrix.height,
                                          static_cast<float*>(storeMemory.Data()),
                                          storeMemory.Bytes() / sizeof(float));
        } catch (const std::bad_alloc&) {
            throw TImgDecodeError{ImgError::NotEnoughMemory};
        }
    }
    const float step = StepOf(header);
    wic::InverseWavelet(out, header.matrix.width, header.matrix.height, header.matrix.levels, step,
                        checkAbort, scratch, finestLevel);
}

}  // namespace

bool ParseWicHeader(const uint8_t* bytes, size_t size, WicHeader& header) {
    if (bytes == nullptr || size < kWicHeaderSize) {
        return false;
    }
    WicHeader h;
    h.width = ReadU16(bytes + 8);
    h.height = ReadU16(bytes + 10);
    h.matrix.width = ReadU16(bytes + 12);
    h.matrix.height = ReadU16(bytes + 14);
    h.step = ReadU32(bytes + 16);
    h.matrix.levels = bytes[20];
    for (int i = 0; i < 3; ++i) {
        h.bitPlanes[i] = bytes[21 + i];
    }
    const int levels = h.matrix.levels;
    if (h.width == 0 || h.height == 0 || levels < 1 || levels > wic::kMaxLevels ||
        !MultipleOf(h.matrix.width, levels) || !MultipleOf(h.matrix.height, levels) ||
        h.matrix.width < h.width || h.matrix.height < h.height || h.step == 0) {
        return false;
    }
    if (std::max({h.bitPlanes[0], h.bitPlanes[1], h.bitPlanes[2]}) > wic::kMaxBitPlanes) {
        return false;
    }
    if (static_cast<uint64_t>(h.matrix.width) * h.matrix.height > kWicMaxCoefficients) {
        return false;
    }
    header = h;
    return true;
}

uint8_t ColorFromFloatToInt(float sample) {
    return static_cast<uint8_t>(ToLevel(sample));
}

TWicImg::TWicImg() = default;

TWicImg::~TWicImg() = default;

void TWicImg::LoadFromFile(const std::string& name) {
    TImgCtrl::LoadFromFile(name);
    RunDecodeFrame(name, [this, &name] { Decode(name); });
}

// The coefficient the panel set at the header event. A decoder used without a panel
// fits the picture into its maximum display size when one is set, else keeps it whole.
double TWicImg::OutputCoefficient() const {
    double coefficient = DisplayCoeff();
    if (!(coefficient > 0.0)) {
        coefficient =
            MaxDisplayWidth() != 0 && MaxDisplayHeight() != 0
                ? CalcDisplayCoeff(MaxDisplayWidth(), MaxDisplayHeight(),
                                   static_cast<unsigned>(width_), static_cast<unsigned>(height_))
                : 1.0;
    }
    // The resampler only reduces (the panel draws a smaller picture larger), and never
    // below one pixel or past its widest window.
    const double longest = std::min<double>(std::max(width_, height_), kResampleMaxWindow);
    return std::clamp(coefficient, 1.0 / longest, 1.0);
}

void TWicImg::Decode(const std::string& name) {
    const platform::FileContents file = platform::ReadWholeFile(name, kMaxFileBytes);
    if (file.error != 0) {
        throw TImgDecodeError{ImgError::Unknown};
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(file.bytes.data());
    WicHeader header;
    if (!ParseWicHeader(bytes, file.bytes.size(), header)) {
        throw TImgDecodeError{ImgError::Unknown};
    }
    width_ = header.width;
    height_ = header.height;
    bitCount_ = 24;
    DoProgress(0, 0, TImgEvent::HeaderRead);

    ResampleState resample;
    resample.factor = 1.0 / OutputCoefficient();
    resample.bitCount = 24;
    resample.srcWidth = static_cast<uint32_t>(width_);
    resample.srcHeight = static_cast<uint32_t>(height_);
    resample.mode = ScalerMode();
    if (!ResampleCreateWeights(&resample)) {
        throw TImgDecodeError{ImgError::NotEnoughMemory};
    }
    outputWidth_ = static_cast<int>(resample.outWidth);
    outputHeight_ = static_cast<int>(resample.outHeight);
    SetPicture(DibCreate(outputWidth_, outputHeight_, 24));
    if (Picture() == nullptr) {
        throw TImgDecodeError{ImgError::NotEnoughMemory};
    }

    const int matrixWidth = header.matrix.width;
    const size_t count = static_cast<size_t>(matrixWidth) * header.matrix.height;
    // The last colour plane's matrix is not written before that plane is decoded, so the
    // transforms of the first two work in it; the last one works in the scan's memory, no
    // longer needed by then. Fresh memory costs about as much as the work done in it.
    const platform::ZeroedArray<float> luma = AllocateSamples(count);
    const platform::ZeroedArray<float> cb = AllocateSamples(count);
    std::optional<wic::ZerotreeStore> store;
    std::optional<wic::WaveletScratch> scratch;
    try {
        store.emplace(header.matrix,
                      std::max({header.bitPlanes[0], header.bitPlanes[1], header.bitPlanes[2]}));
        scratch.emplace(header.matrix.width, header.matrix.height, cb.data(), cb.size());
    } catch (const std::bad_alloc&) {
        throw TImgDecodeError{ImgError::NotEnoughMemory};
    }
    const auto checkAbort = [this] { CheckAbort(); };
    QmDecoder qm(bytes + kWicHeaderSize, file.bytes.size() - kWicHeaderSize, wic::kContextCount);

    DecodePlane(header, 0, qm, *store, &*scratch, luma.data(), checkAbort);
    std::vector<uint32_t> pixels(static_cast<size_t>(width_));
    EmitRows(resample, [&](int row, uint8_t* out) {
        GreyRow(luma.data() + static_cast<size_t>(row) * matrixWidth, width_, pixels.data(), out);
    });

    const platform::ZeroedArray<float> cr = AllocateSamples(count);
    // The colour differences' finest level is made a row at a time as the colour pass reads
    // it, rather than written back and read again.
    DecodePlane(header, 1, qm, *store, &*scratch, cr.data(), checkAbort, false);
    DecodePlane(header, 2, qm, *store, nullptr, cb.data(), checkAbort, false);
    std::optional<wic::FinestRows> crRows;
    std::optional<wic::FinestRows> cbRows;
    try {
        crRows.emplace(cr.data(), matrixWidth, header.matrix.height, StepOf(header));
        cbRows.emplace(cb.data(), matrixWidth, header.matrix.height, StepOf(header));
    } catch (const std::bad_alloc&) {
        throw TImgDecodeError{ImgError::NotEnoughMemory};
    }
    EmitRows(resample, [&](int row, uint8_t* out) {
        ColourRow(luma.data() + static_cast<size_t>(row) * matrixWidth, crRows->Row(row),
                  cbRows->Row(row), width_, pixels.data(), out);
    });
}

// One pass over the picture from its top row: fillRow writes each source row (blue,
// green, red) that the resampler asks for, and every finished output row goes into the
// picture; at full size the rows go straight into the picture. A strip is reported every
// DisplayScanlines() rows and the rest at the end, so each pass shows completely.
void TWicImg::EmitRows(ResampleState& resample, const std::function<void(int, uint8_t*)>& fillRow) {
    const uint32_t scanlines = DisplayScanlines();
    uint32_t reported = 0;
    const auto rowDone = [&](uint32_t rowsDone) {
        if (rowsDone % scanlines == 0) {
            reported = rowsDone;
            DoProgress(static_cast<int>(reported - scanlines), static_cast<int>(reported),
                       TImgEvent::RowsDecoded);
        }
    };
    if (resample.factor == 1.0) {
        const uint32_t rowBytes = DibRowBytes(Picture());
        for (int row = 0; row < height_; ++row) {
            CheckAbort();
            fillRow(row, DibBits(Picture()) + static_cast<size_t>(height_ - 1 - row) * rowBytes);
            rowDone(static_cast<uint32_t>(row) + 1);
        }
    } else {
        ResampleRowsInto(resample, fillRow, rowDone);
    }
    if (reported < static_cast<uint32_t>(outputHeight_)) {
        DoProgress(static_cast<int>(reported), outputHeight_, TImgEvent::RowsDecoded);
    }
}

void TWicImg::ResampleRowsInto(ResampleState& resample,
                               const std::function<void(int, uint8_t*)>& fillRow,
                               const std::function<void(uint32_t)>& rowDone) {
    resample.srcRowsDone = 0;
    resample.outRowsDone = 0;
    if (!ResampleCreateWeights(&resample)) {
        throw TImgDecodeError{ImgError::NotEnoughMemory};
    }
    while (resample.srcRowsDone < resample.srcHeight) {
        for (uint32_t r = 0; r < resample.rowsToRead; ++r) {
            CheckAbort();
            fillRow(static_cast<int>(resample.srcRowsDone + r),
                    resample.writePos + static_cast<size_t>(r) * resample.srcRowBytes);
        }
        ResampleRows(&resample);
        ResampleStoreRow(&resample, Picture(), resample.outRowsDone - 1);
        rowDone(resample.outRowsDone);
    }
    ResampleFinishRows(&resample, Picture());
}
