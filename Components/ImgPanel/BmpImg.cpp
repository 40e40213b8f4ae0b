#include "Components/ImgPanel/BmpImg.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "Components/ImgPanel/BmpHeader.h"
#include "Components/ImgPanel/BmpRle.h"
#include "Components/ImgPanel/DecoderFile.h"
#include "Components/ImgPanel/Filters.h"
#include "Components/ImgPanel/ImageToDib.h"
#include "Components/ImgPanel/ImgErrors.h"

namespace {

using Palette = std::array<RgbQuad, bmp::kMaxPaletteEntries>;

void ThrowIfFailed(unsigned long code) {
    if (code != 0) {
        throw TImgDecodeError{code};
    }
}

uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Reads and checks everything before the palette, and places the palette and the rows.
bmp::Layout ReadLayout(DecoderFile& file) {
    std::array<uint8_t, bmp::kFileHeaderBytes + bmp::kLargestHeaderBytes> bytes{};
    file.ReadExact(bytes.data(), bmp::kFileHeaderBytes + 4);
    uint8_t* header = bytes.data() + bmp::kFileHeaderBytes;
    const uint32_t headerSize = U32(header);
    if (!bmp::IsKnownHeaderSize(headerSize)) {
        throw TImgDecodeError{ImgError::BadFormat};
    }
    file.ReadExact(header + 4, headerSize - 4);
    bmp::Layout layout;
    ThrowIfFailed(bmp::ParseHeaders(bytes.data(), header, headerSize, layout));
    if (layout.maskBytesAfterHeader != 0) {
        std::array<uint8_t, 16> masks{};
        file.ReadExact(masks.data(), layout.maskBytesAfterHeader);
        ThrowIfFailed(bmp::TakeTrailingMasks(masks.data(), layout));
    }
    ThrowIfFailed(bmp::PlaceData(file.Size(), layout));
    return layout;
}

// The palette of a picture of 8 bits or less, widened to four bytes an entry.
void ReadPalette(DecoderFile& file, const bmp::Layout& layout, Palette& palette) {
    if (layout.bitCount > 8 || layout.paletteEntries == 0) {
        return;
    }
    std::array<uint8_t, bmp::kMaxPaletteEntries * 4> raw{};
    const uint32_t step = layout.paletteEntryBytes;
    file.SeekTo(layout.paletteOffset);
    file.ReadExact(raw.data(), size_t{layout.paletteEntries} * step);
    for (uint32_t i = 0; i < layout.paletteEntries; ++i) {
        palette[i] = RgbQuad{raw[i * step], raw[i * step + 1], raw[i * step + 2], 0};
    }
}

// One stored row of 16- or 32-bit pixels as blue, green, red bytes.
void ExpandRow(const bmp::Layout& layout, const uint8_t* raw, uint8_t* out) {
    const bool wide = layout.bitCount == 32;
    for (int x = 0; x < layout.width; ++x) {
        const uint8_t* p = raw + static_cast<size_t>(x) * (wide ? 4 : 2);
        const uint32_t pixel = wide ? U32(p) : static_cast<uint32_t>(p[0] | (p[1] << 8));
        out[3 * x] = layout.blue.Extract(pixel);
        out[3 * x + 1] = layout.green.Extract(pixel);
        out[3 * x + 2] = layout.red.Extract(pixel);
    }
}

}  // namespace

TBmpImg::TBmpImg() = default;

TBmpImg::~TBmpImg() = default;

int TBmpImg::GetDInColors(unsigned short bitCount) {
    switch (bitCount) {
        case 1:
            return 2;
        case 4:
            return 16;
        case 8:
            return 256;
        default:
            return 0;
    }
}

long long TBmpImg::BytesPerScanline(long long width, long long bitCount, long long alignBits) {
    return ((width * bitCount + alignBits - 1) & ~(alignBits - 1)) / 8;
}

void TBmpImg::LoadFromFile(const std::string& name) {
    TImgCtrl::LoadFromFile(name);
    RunDecodeFrame(name, [this, &name] { Decode(name); });
}

void TBmpImg::Decode(const std::string& name) {
    DecoderFile file(name);
    const bmp::Layout layout = ReadLayout(file);
    width_ = layout.width;
    height_ = layout.height;
    bitCount_ = layout.bitCount;
    DoProgress(0, 0, TImgEvent::HeaderRead);

    Palette palette{};
    ReadPalette(file, layout, palette);
    FilterParams filter;
    filter.srcWidth = layout.width;
    filter.srcHeight = layout.height;
    filter.scaleX = static_cast<float>(DisplayCoeff());
    filter.scaleY = filter.scaleX;
    filter.kind = FilterKind();
    // Expanded pixels arrive as 24 bits, run-length ones as one palette index a byte.
    filter.srcBpp = static_cast<uint8_t>(layout.NeedsExpansion() ? 24
                                         : layout.IsRunLength()  ? 8
                                                                 : layout.bitCount);
    filter.dstBpp = 24;
    if (layout.bitCount <= 8) {
        filter.palette = palette.data();
        filter.paletteSize = static_cast<int>(layout.paletteEntries);
    }
    const FilterGuard filterGuard = OpenFilteredPicture(filter);
    file.SeekTo(layout.pixelOffset);
    DecodeRows(file, layout, filter);
}

// Where the rows come from: read as stored, expanded to 24 bits, or run-length decoded
// (handed to the filter as runs).
class TBmpImg::RowSource {
  public:
    // What a source for this layout holds.
    static uint64_t MemoryBytes(const bmp::Layout& layout) {
        if (layout.IsRunLength()) {
            return BmpRleReader::MemoryBytes(layout.width);
        }
        return layout.NeedsExpansion() ? static_cast<uint64_t>(layout.rowBytes) : 0;
    }

    RowSource(DecoderFile& file, const bmp::Layout& layout, FilterParams& filter)
        : file_(file),
          layout_(layout),
          filter_(filter),
          raw_(layout.NeedsExpansion() ? static_cast<size_t>(layout.rowBytes) : 0) {
        if (layout.IsRunLength()) {
            rle_.emplace(file, file.Size() - layout.pixelOffset, layout.width,
                         layout.compression == bmp::biRle4);
        }
    }

    void ReadInto(uint8_t* slot) {
        if (rle_) {
            const std::vector<FilterRun>& runs = rle_->NextRow();
            filter_fill_row(&filter_, slot, 0, runs.data(), runs.size());
        } else if (!raw_.empty()) {
            file_.ReadExact(raw_.data(), raw_.size());
            ExpandRow(layout_, raw_.data(), slot);
        } else {
            file_.ReadExact(slot, static_cast<size_t>(layout_.rowBytes));
        }
    }

  private:
    DecoderFile& file_;
    const bmp::Layout& layout_;
    FilterParams& filter_;
    std::vector<uint8_t> raw_;
    std::optional<BmpRleReader> rle_;
};

// Rows are filtered in the file's order: a bottom-up file fills the picture from its
// bottom row upwards, a top-down one from its top row downwards. A progress event follows
// every DisplayScanlines() rows and names the screen rows written since the last one.
void TBmpImg::DecodeRows(DecoderFile& file, const bmp::Layout& layout, FilterParams& filter) {
    ReserveMemory(RowSource::MemoryBytes(layout));
    RowSource source(file, layout, filter);
    const size_t rowBytes = get_dib_row_bytes(Picture());
    uint8_t* bits = DibBits(Picture());
    const int scanlines = static_cast<int>(DisplayScanlines());
    const int last = outputHeight_ - 1;
    for (int i = 0; i < outputHeight_; ++i) {
        CheckAbort();
        const int stored = layout.topDown ? last - i : i;
        FilterNextRow(filter, bits + static_cast<size_t>(stored) * rowBytes,
                      [&source](uint8_t* slot) { source.ReadInto(slot); });
        if (i % scanlines == 0) {
            const int screenRow = last - stored;
            if (layout.topDown) {
                DoProgress(screenRow - scanlines, screenRow, TImgEvent::RowsDecoded);
            } else {
                DoProgress(std::min(screenRow + scanlines, last), screenRow,
                           TImgEvent::RowsDecoded);
            }
        }
    }
}

void TBmpImg::AssignBitmap(const QImage& bitmap) {
    TImgCtrl::LoadFromFile(std::string());
    UniqueDib dib = PackedDibFromImage(bitmap);
    if (!dib) {
        return;
    }
    width_ = outputWidth_ = DibWidth(dib.get());
    height_ = outputHeight_ = DibHeight(dib.get());
    bitCount_ = bitmap.depth();
    SetPicture(dib.release());
}
