#include "Components/ImgPanel/WicImg.h"

#include <fcntl.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>
#include <optional>
#include <utility>

#include "Components/ImgPanel/ImgErrors.h"
#include "Components/ImgPanel/QmDecoder.h"
#include "Components/ImgPanel/WicPixels.h"
#include "Components/ImgPanel/WicTransform.h"
#include "imaging/Resample.h"
#include "platform/LargeBlock.h"
#include "platform/PosixFile.h"

namespace {

// The stream has no length of its own; a file past this size is not a picture we show.
constexpr size_t kMaxFileBytes = size_t{1} << 30;

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

// The whole file, read until it ends (it may hold more than its size said), in one block
// of its size with room behind it for the arithmetic decoder's padding. A file of more than
// limit bytes fails with tooLarge.
std::vector<uint8_t> ReadWholeWicFile(const std::string& name, size_t limit,
                                      unsigned long tooLarge) {
    platform::PosixFile file;
    off_t size = 0;
    if (file.Open(name, O_RDONLY) != 0 || file.Size(size) != 0) {
        throw TImgDecodeError{ImgError::Unknown};
    }
    std::vector<uint8_t> bytes;
    bytes.reserve(std::min(static_cast<size_t>(size), limit) + QmDecoder::kPadding);
    bytes.resize(bytes.capacity());
    size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            bytes.resize(2 * bytes.size());
        }
        size_t got = 0;
        if (file.ReadSome(bytes.data() + filled, bytes.size() - filled, got) != 0) {
            throw TImgDecodeError{ImgError::Unknown};
        }
        if (filled + got > limit) {
            throw TImgDecodeError{tooLarge};
        }
        if (got == 0) {
            break;
        }
        filled += got;
    }
    bytes.resize(filled);
    return bytes;
}

// A sample matrix, taken from the system as fresh pages (see platform/LargeBlock.h).
platform::ZeroedArray<float> AllocateSamples(size_t count) {
    try {
        return platform::ZeroedArray<float>(count);
    } catch (const std::bad_alloc&) {
        throw TImgDecodeError{ImgError::NotEnoughMemory};
    }
}

float StepOf(const WicHeader& header) {
    return static_cast<float>(header.step / 65536.0);
}

// Decodes colour plane `plane` (0 luminance, 1 and 2 colour differences) into store.
void DecodePlane(const WicHeader& header, int plane, QmDecoder& qm, wic::ZerotreeStore& store,
                 const std::function<void()>& checkAbort) {
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
}

// Everything the decode holds beside the file and the picture: the luminance matrix and the
// colour differences' quarters, two scan stores, the last transform's scratch (the
// others borrow memory) and the finest rows' lines.
uint64_t MatrixBytes(const WicHeader& header) {
    const wic::WicGeometry& matrix = header.matrix;
    const uint64_t count = static_cast<uint64_t>(matrix.width) * matrix.height;
    const uint64_t quarterWidth = static_cast<uint64_t>(matrix.width / 2);
    const uint64_t quarterHeight = static_cast<uint64_t>(matrix.height / 2);
    const int maxBitPlanes =
        std::max({header.bitPlanes[0], header.bitPlanes[1], header.bitPlanes[2]});
    const uint64_t floats = count + count / 2 + (quarterHeight / 2 + 2) * quarterWidth +
                            3 * 8 * static_cast<uint64_t>(matrix.width);
    return floats * sizeof(float) + 2 * wic::ZerotreeStore::MemoryBytes(matrix, maxBitPlanes) +
           wic::kContextCount * sizeof(QmTransition);
}

// Scan memory and transform scratch, with running out of memory reported as such.
template <class T, class... Args>
T& EmplaceOrFail(std::optional<T>& slot, Args&&... args) {
    try {
        return slot.emplace(std::forward<Args>(args)...);
    } catch (const std::bad_alloc&) {
        throw TImgDecodeError{ImgError::NotEnoughMemory};
    }
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
    const uint64_t coefficients = static_cast<uint64_t>(h.matrix.width) * h.matrix.height;
    if (coefficients > kWicMaxCoefficients) {
        return false;
    }
    const uint64_t work = coefficients * (h.bitPlanes[0] + h.bitPlanes[1] + h.bitPlanes[2]);
    if (work > kWicFreeScanWork + kWicScanWorkPerByte * (size - kWicHeaderSize)) {
        return false;
    }
    header = h;
    return true;
}

uint8_t ColorFromFloatToInt(float sample) {
    return static_cast<uint8_t>(wic::ToLevel(sample));
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
    // The file is held whole; one that grows while it is read may take twice its size.
    const uint64_t readLimit = std::min<uint64_t>(kMaxFileBytes, MemoryLeft() / 2);
    std::vector<uint8_t> file =
        ReadWholeWicFile(name, static_cast<size_t>(readLimit),
                         readLimit < kMaxFileBytes ? ImgError::NotEnoughMemory : ImgError::Unknown);
    ReserveMemory(file.capacity());
    WicHeader header;
    if (!ParseWicHeader(file.data(), file.size(), header)) {
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
    ReserveMemory(ResampleMemoryBytes(resample.factor, resample.srcWidth, resample.bitCount));
    if (!ResampleCreateWeights(&resample)) {
        throw TImgDecodeError{ImgError::NotEnoughMemory};
    }
    outputWidth_ = static_cast<int>(resample.outWidth);
    outputHeight_ = static_cast<int>(resample.outHeight);
    ReserveMemory(MatrixBytes(header));
    // Each pass writes every row at full size, grey and then in colour, and a picture of
    // millions of pixels in small pages costs a fault for every 4 KiB the first pass
    // touches (about 3 % of a decode at 2048 x 1536).
    CreatePicture(outputWidth_, outputHeight_, 24, DibPages::Large);

    const int matrixWidth = header.matrix.width;
    const int matrixHeight = header.matrix.height;
    const int levels = header.matrix.levels;
    const float step = StepOf(header);
    const size_t count = static_cast<size_t>(matrixWidth) * matrixHeight;
    const size_t quarterCount = count / 4;
    const int quarterWidth = matrixWidth / 2;
    const int quarterHeight = matrixHeight / 2;
    // Every plane keeps its finest level in the scan's memory, and wic::FinestRows makes
    // those rows as a pass reads them; only the rest of each matrix, a quarter (the dyadic
    // matrix of one level fewer), is written out and transformed. The colour differences'
    // quarters lie side by side and serve first as the luminance quarter's transform
    // scratch: fresh memory costs about as much as the work done in it.
    const platform::ZeroedArray<float> luma = AllocateSamples(count);
    const platform::ZeroedArray<float> colourLow = AllocateSamples(count / 2);
    float* const crLow = colourLow.data();
    float* const cbLow = colourLow.data() + quarterCount;
    const int maxBitPlanes =
        std::max({header.bitPlanes[0], header.bitPlanes[1], header.bitPlanes[2]});
    std::optional<wic::ZerotreeStore> crStore;
    std::optional<wic::WaveletScratch> scratch;
    EmplaceOrFail(crStore, header.matrix, maxBitPlanes);
    const auto checkAbort = [this] { CheckAbort(); };
    QmDecoder qm(std::move(file), kWicHeaderSize, wic::kContextCount);

    // The grey pass keeps each luminance row it makes in `luma` for the colour pass. The
    // luminance quarter waits at the end of `luma`: the rows written over it there come
    // late enough that FinestRows has read what they cover.
    float* const lumaLow = luma.data() + (count - quarterCount);
    DecodePlane(header, 0, qm, *crStore, checkAbort);
    crStore->MoveCoarserLevels(lumaLow, true);
    EmplaceOrFail(scratch, quarterWidth, quarterHeight, colourLow.data(), colourLow.size());
    wic::InverseWavelet(lumaLow, quarterWidth, quarterHeight, levels - 1, step, checkAbort,
                        &*scratch);
    EmitGreyRows(resample, *crStore, lumaLow, luma.data(), header.matrix, step);

    // Cr's transform works in Cb's quarter before Cb is written there; Cb's in the memory of
    // its scan's coarser levels, which are dead once moved out.
    DecodePlane(header, 1, qm, *crStore, checkAbort);
    crStore->MoveCoarserLevels(crLow);
    EmplaceOrFail(scratch, quarterWidth, quarterHeight, cbLow, quarterCount);
    wic::InverseWavelet(crLow, quarterWidth, quarterHeight, levels - 1, step, checkAbort,
                        &*scratch);
    std::optional<wic::ZerotreeStore> cbStore;
    EmplaceOrFail(cbStore, header.matrix, maxBitPlanes);
    DecodePlane(header, 2, qm, *cbStore, checkAbort);
    cbStore->MoveCoarserLevels(cbLow);
    size_t spareFloats = 0;
    float* const spare = cbStore->CoarserLevelsMemory(spareFloats);
    EmplaceOrFail(scratch, quarterWidth, quarterHeight, spare, spareFloats);
    wic::InverseWavelet(cbLow, quarterWidth, quarterHeight, levels - 1, step, checkAbort,
                        &*scratch);

    const auto fetchFrom = [quarterWidth](const float* quarter, const wic::ZerotreeStore& store) {
        return [quarter, quarterWidth, &store](int i, float* low, float* high) {
            std::memcpy(low, quarter + static_cast<size_t>(i) * quarterWidth,
                        static_cast<size_t>(quarterWidth) * sizeof(float));
            store.ReadFinestRow(i, low + quarterWidth, high, high + quarterWidth);
        };
    };
    std::optional<wic::FinestRows> crRows;
    std::optional<wic::FinestRows> cbRows;
    EmplaceOrFail(crRows, matrixWidth, matrixHeight, step, fetchFrom(crLow, *crStore));
    EmplaceOrFail(cbRows, matrixWidth, matrixHeight, step, fetchFrom(cbLow, *cbStore));
    EmitRows(resample, [&](int row, uint8_t* out) {
        wic::ColourRow(luma.data() + static_cast<size_t>(row) * matrixWidth, crRows->Row(row),
                       cbRows->Row(row), width_, out);
    });
}

// The grey pass: each luminance row is made from the quarter `low` and the finest level
// left in store, which is cleared on the way for the next colour plane, and kept in
// `luma` (matrix.width samples a row) for the colour pass.
void TWicImg::EmitGreyRows(ResampleState& resample, wic::ZerotreeStore& store, const float* low,
                           float* luma, const wic::WicGeometry& matrix, float step) {
    const auto quarterWidth = static_cast<size_t>(matrix.width / 2);
    int taken = 0;
    std::optional<wic::FinestRows> rows;
    EmplaceOrFail(rows, matrix.width, matrix.height, step, [&](int i, float* lowRow, float* high) {
        std::memcpy(lowRow, low + static_cast<size_t>(i) * quarterWidth,
                    quarterWidth * sizeof(float));
        store.TakeFinestRow(i, lowRow + quarterWidth, high, high + quarterWidth);
        taken = i + 1;
    });
    EmitRows(resample, [&](int row, uint8_t* out) {
        float* kept = luma + static_cast<size_t>(row) * static_cast<size_t>(matrix.width);
        rows->RowInto(row, kept);
        wic::GreyRow(kept, width_, out);
    });
    store.ClearFinestRowsFrom(taken);
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
