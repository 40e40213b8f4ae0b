#include "Components/ImgPanel/IcoImg.h"

#include <array>
#include <cstring>

#include "Components/ImgPanel/DecoderFile.h"
#include "Components/ImgPanel/ImgErrors.h"
#include "Components/ImgPanel/PngImg.h"

namespace {

constexpr size_t kDirectoryHeaderBytes = 6;
constexpr size_t kEntryBytes = 16;
constexpr size_t kSignatureBytes = 8;
constexpr uint32_t kInfoHeaderBytes = 40;
constexpr uint32_t kLargestHeaderBytes = 124;
constexpr uint8_t kPngSignature[kSignatureBytes] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

enum IconType : uint16_t { itIcon = 1, itCursor = 2 };

uint16_t U16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Reads the directory and the first entry. A file that merely starts with two zero bytes
// (a JPEG 2000 box, any binary file) fails here with 11 instead of being read as an icon.
TIcoImg::Entry ReadFirstEntry(DecoderFile& file, int& iconCount) {
    uint8_t directory[kDirectoryHeaderBytes];
    file.ReadExact(directory, sizeof directory);
    const uint16_t reserved = U16(directory);
    const uint16_t type = U16(directory + 2);
    const uint16_t count = U16(directory + 4);
    if (reserved != 0 || (type != itIcon && type != itCursor) || count == 0) {
        throw TImgDecodeError{ImgError::BadFormat};
    }
    iconCount = count;
    if (kDirectoryHeaderBytes + uint64_t{count} * kEntryBytes > file.Size()) {
        throw TImgDecodeError{ImgError::ReadFault};
    }
    uint8_t e[kEntryBytes];
    file.ReadExact(e, sizeof e);
    return TIcoImg::Entry{e[0] == 0 ? 256 : e[0], e[1] == 0 ? 256 : e[1], U32(e + 8), U32(e + 12)};
}

// Palette entries stored: the header's colours used when it names fewer than the bit
// count allows, else all of them.
uint32_t StoredPaletteEntries(uint16_t bitCount, uint32_t coloursUsed) {
    const uint32_t full = 1u << bitCount;
    return coloursUsed != 0 && coloursUsed < full ? coloursUsed : full;
}

}  // namespace

TIcoImg::TIcoImg() = default;

TIcoImg::~TIcoImg() = default;

void TIcoImg::LoadFromFile(const std::string& name) {
    TImgCtrl::LoadFromFile(name);
    iconCount_ = 0;
    RunDecodeFrame(name, [this, &name] { Decode(name); });
}

void TIcoImg::Decode(const std::string& name) {
    DecoderFile file(name);
    const Entry entry = ReadFirstEntry(file, iconCount_);
    file.SeekTo(entry.offset);
    uint8_t start[kSignatureBytes];
    file.ReadExact(start, sizeof start);
    if (std::memcmp(start, kPngSignature, kSignatureBytes) == 0) {
        DecodePngEntry(name, file, entry);
    } else {
        DecodeBitmapEntry(file, entry, start);
    }
}

// The PNG decoder reports its header here as this decoder's own (the size is the stream's,
// whatever the directory says) and is kept at full size; it works within this decoder's
// memory budget, a stop asked of this decoder is passed on at its next report, and its
// failure code becomes this decode's.
void TIcoImg::DecodePngEntry(const std::string& name, const DecoderFile& file, const Entry& entry) {
    if (uint64_t{entry.offset} + entry.bytes > file.Size()) {
        throw TImgDecodeError{ImgError::ReadFault};
    }
    TPNGImg png;
    png.SetStreamRange(entry.offset, entry.bytes);
    png.SetDisplayScanlines(DisplayScanlines());
    png.SetMemoryBudget(MemoryBudget());
    png.OnProgress = [this](TImgCtrl* sender, PackedDib, int, int, TImgEvent event) {
        if (event == TImgEvent::HeaderRead) {
            width_ = outputWidth_ = sender->Width();
            height_ = outputHeight_ = sender->Height();
            bitCount_ = sender->BitCount();
            DoProgress(0, 0, TImgEvent::HeaderRead);
            sender->SetDisplayCoeff(1.0);
        }
        if (AbortRequested()) {
            sender->AbortLoading();
        }
    };
    png.LoadFromFile(name);
    if (png.ErrorCode() != 0) {
        throw TImgDecodeError{png.ErrorCode()};
    }
    SetPicture(png.TakePicture().release());
}

// The image is a bitmap information header, the palette up to 8 bits, the colour rows
// bottom first at the picture's own row stride, then the mask (not read).
void TIcoImg::DecodeBitmapEntry(DecoderFile& file, const Entry& entry, const uint8_t* start) {
    uint8_t header[kInfoHeaderBytes];
    std::memcpy(header, start, kSignatureBytes);
    file.ReadExact(header + kSignatureBytes, kInfoHeaderBytes - kSignatureBytes);
    const uint32_t headerSize = U32(header);
    const uint16_t bitCount = U16(header + 14);
    const uint32_t compression = U32(header + 16);
    if (headerSize < kInfoHeaderBytes || headerSize > kLargestHeaderBytes ||
        !DibIsPictureBitCount(bitCount) || compression != 0) {
        throw TImgDecodeError{ImgError::BadFormat};
    }
    CreatePicture(entry.width, entry.height, bitCount);
    width_ = outputWidth_ = entry.width;
    height_ = outputHeight_ = entry.height;
    bitCount_ = bitCount;
    DoProgress(0, 0, TImgEvent::HeaderRead);

    file.SeekTo(uint64_t{entry.offset} + headerSize);
    if (bitCount <= 8) {
        const uint32_t entries = StoredPaletteEntries(bitCount, U32(header + 32));
        file.ReadExact(DibPalette(Picture()), size_t{entries} * sizeof(RgbQuad));
    }
    const size_t rowBytes = DibRowBytes(Picture());
    uint8_t* row = DibBits(Picture());
    for (int y = 0; y < height_; ++y, row += rowBytes) {
        CheckAbort();
        file.ReadExact(row, rowBytes);
    }
}
