#include "Components/ImgPanel/TiffImg.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <tiffio.h>

#include "Components/ImgPanel/Filters.h"
#include "Components/ImgPanel/ImgDebug.h"
#include "Components/ImgPanel/ImgErrors.h"
#include "Components/ImgPanel/TiffRows.h"
#include "imaging/JpegWork.h"

namespace {

// The most libtiff may take in one allocation, and the most our own row buffers may take:
// a forged header fails cleanly instead of exhausting the machine. Within a memory budget
// libtiff may take a quarter of it in one allocation; it holds two such buffers at most
// (a strip as stored and as decoded), and half the budget is counted for them.
constexpr uint64_t kMaxLibraryAllocation = uint64_t{256} << 20;
constexpr uint64_t kMaxRasterBytes = uint64_t{256} << 20;
constexpr uint64_t kLibraryBuffers = 2;

// libtiff's messages of one handle go to the trace; returning 1 keeps them from the
// process-wide handlers (which would print to stderr).
int TraceTiffMessage(TIFF*, void*, const char* module, const char* format, va_list args) {
    if (ImgTraceEnabled()) {
        char text[256];
        std::vsnprintf(text, sizeof text, format, args);
        ImgTrace("tiff %s: %s", module != nullptr ? module : "", text);
    }
    return 1;
}

struct OptionsDeleter {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};
struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }  // closes the descriptor too
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

// Opens name for libtiff, which may take at most maxAllocation bytes in one allocation;
// the descriptor is ours until libtiff has taken it. Mode "rm" reads without mapping the
// file, "r" maps it.
TiffPtr OpenTiff(const std::string& name, const char* mode, uint64_t maxAllocation) {
    const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw TImgDecodeError{ImgError::OpenFailed};
    }
    std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
    if (!options) {
        close(fd);
        throw TImgDecodeError{ImgError::NotEnoughMemory};
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), TraceTiffMessage, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), TraceTiffMessage, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), static_cast<tmsize_t>(maxAllocation));
    TiffPtr tif(TIFFFdOpenExt(fd, name.c_str(), mode, options.get()));
    if (!tif) {
        close(fd);
        throw TImgDecodeError{ImgError::TiffDirectory};
    }
    if (TIFFSetDirectory(tif.get(), 0) == 0) {
        throw TImgDecodeError{ImgError::TiffDirectory};
    }
    return tif;
}

class RgbaReader {
  public:
    explicit RgbaReader(TIFF* tif) {
        char message[1024] = {};
        ok_ = TIFFRGBAImageBegin(&image_, tif, 1, message) != 0;
        if (!ok_) {
            ImgTrace("tiff: %s", message);
        }
    }
    ~RgbaReader() {
        if (ok_) {
            TIFFRGBAImageEnd(&image_);
        }
    }
    RgbaReader(const RgbaReader&) = delete;
    RgbaReader& operator=(const RgbaReader&) = delete;
    bool Ok() const { return ok_; }
    TIFFRGBAImage& Image() { return image_; }

  private:
    TIFFRGBAImage image_{};
    bool ok_ = false;
};

void WidenTwoBitIndices(const uint8_t* source, uint8_t* slot, uint32_t width) {
    for (uint32_t x = 0; x < width; ++x) {
        slot[x] = static_cast<uint8_t>((source[x / 4] >> (6 - 2 * (x % 4))) & 3);
    }
}

uint64_t FileBytes(const std::string& name) {
    struct stat status {};
    return stat(name.c_str(), &status) == 0 && status.st_size > 0
               ? static_cast<uint64_t>(status.st_size)
               : 0;
}

// Rows of a strip or tile row, cut to what maxBytes holds (at least one).
uint32_t RgbaChunkRows(TIFF* tif, uint32_t width, uint32_t height, uint64_t maxBytes) {
    uint32_t rows = 0;
    if (TIFFIsTiled(tif)) {
        if (TIFFGetField(tif, TIFFTAG_TILELENGTH, &rows) == 0) {
            rows = 0;
        }
    } else if (TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rows) == 0) {
        rows = 0;
    }
    rows = std::clamp<uint32_t>(rows, 1, height);
    const uint64_t rowBytes = uint64_t{width} * 4;
    if (rowBytes > maxBytes) {
        throw TImgDecodeError{ImgError::NotEnoughMemory};
    }
    // A strip or tile row larger than the cap is read in parts (slower, never unbounded).
    return static_cast<uint32_t>(std::min<uint64_t>(rows, maxBytes / rowBytes));
}

// What the first extra sample means; without one, or with one of no stated meaning, the
// pixels are opaque.
tiffrows::Alpha ReadAlpha(TIFF* tif) {
    uint16_t count = 0;
    const uint16_t* meanings = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &count, &meanings) == 0 || count == 0 ||
        meanings == nullptr) {
        return tiffrows::Alpha::None;
    }
    switch (meanings[0]) {
        case EXTRASAMPLE_UNASSALPHA:
            return tiffrows::Alpha::Straight;
        case EXTRASAMPLE_ASSOCALPHA:
            return tiffrows::Alpha::Premultiplied;
        default:
            return tiffrows::Alpha::None;
    }
}

// libtiff's RGBA reader multiplies unassociated alpha into the colours; told the alpha is
// associated, it hands the samples over as stored, so they are composited like strips.
void KeepStraightColours(TIFF* tif) {
    uint16_t count = 0;
    const uint16_t* meanings = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &count, &meanings) == 0 || count == 0) {
        return;
    }
    std::vector<uint16_t> associated(meanings, meanings + count);
    associated[0] = EXTRASAMPLE_ASSOCALPHA;
    if (TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, count, associated.data()) == 0) {
        throw TImgDecodeError{ImgError::BadFormat};
    }
}

// The bytes of every strip or tile, counted once each.
uint64_t StoredBytes(TIFF* tif) {
    const uint32_t count = TIFFIsTiled(tif) ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    uint64_t total = 0;
    for (uint32_t i = 0; i < count && total <= UINT64_MAX / 2; ++i) {
        total += std::min<uint64_t>(TIFFGetStrileByteCount(tif, i), UINT64_MAX / 2);
    }
    return total;
}

bool IsCmyk(TIFF* tif, uint16_t photometric, uint16_t samples) {
    uint16_t inks = INKSET_CMYK;
    if (TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inks) == 0) {
        inks = INKSET_CMYK;
    }
    return photometric == PHOTOMETRIC_SEPARATED && inks == INKSET_CMYK && samples >= 4;
}

}  // namespace

TTiffImg::TTiffImg() = default;

TTiffImg::~TTiffImg() = default;

int TTiffImg::CheckColorMap(int count, const uint16_t* red, const uint16_t* green,
                            const uint16_t* blue) {
    for (int i = 0; i < count; ++i) {
        if (red[i] >= 256 || green[i] >= 256 || blue[i] >= 256) {
            return 16;
        }
    }
    return 8;
}

void TTiffImg::LoadFromFile(const std::string& name) {
    TImgCtrl::LoadFromFile(name);
    RunDecodeFrame(name, [this, &name] { Decode(name); });
}

void TTiffImg::ReadTags(TIFF* tif) {
    uint32_t width = 0;
    uint32_t height = 0;
    if (TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) == 0 ||
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height) == 0) {
        throw TImgDecodeError{ImgError::TiffDirectory};
    }
    if (width < 1 || height < 1 || width > INT_MAX || height > INT_MAX) {
        throw TImgDecodeError{ImgError::BadFormat};
    }
    width_ = static_cast<int>(width);
    height_ = static_cast<int>(height);
    uint16_t value = 0;
    if (TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &value) != 0) {
        samplesPerPixel_ = value;
    }
    if (TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &value) != 0) {
        bitsPerSample_ = value;
    }
    if (TIFFGetField(tif, TIFFTAG_COMPRESSION, &value) != 0) {
        compression_ = value;
    }
    if (TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &value) != 0) {
        photometric_ = value;
    }
    const int bits = samplesPerPixel_ > 0 ? samplesPerPixel_ * bitsPerSample_ : bitsPerSample_;
    bitCount_ = bits > 0 ? bits : 1;
    alpha_ = ReadAlpha(tif);
}

// Refuses (11) the work no file of this size could ask for honestly. Strips or tiles whose
// bytes add up to more than the file share their data, so that a small file may declare
// a decode of any size: a 128 KB file of 32000 strips over the same 200 bytes of deflate
// data asked for 4 gigapixels. And libtiff decodes JPEG strips at full size, block by block,
// which arithmetic coding makes nearly free to declare (JpegWork.h).
void TTiffImg::CheckWorkBacked(TIFF* tif, uint64_t fileBytes) const {
    const uint64_t stored = StoredBytes(tif);
    if (stored > fileBytes) {
        throw TImgDecodeError{ImgError::BadFormat};
    }
    if (compression_ == COMPRESSION_JPEG || compression_ == COMPRESSION_OJPEG) {
        const uint64_t samples = std::max<uint16_t>(samplesPerPixel_, 1);
        const uint64_t blocks = (static_cast<uint64_t>(width_) + 7) / 8 *
                                ((static_cast<uint64_t>(height_) + 7) / 8) * samples;
        if (!JpegBlocksBacked(blocks, stored)) {
            throw TImgDecodeError{ImgError::BadFormat};
        }
    }
}

TTiffImg::Route TTiffImg::ChooseRoute(TIFF* tif) {
    uint16_t planar = PLANARCONFIG_CONTIG;
    if (TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar) == 0) {
        planar = PLANARCONFIG_CONTIG;
    }
    const bool scanlines = !TIFFIsTiled(tif) && planar == PLANARCONFIG_CONTIG;
    const uint16_t samples = samplesPerPixel_ > 0 ? samplesPerPixel_ : 1;
    const uint16_t bits = bitsPerSample_;
    if (scanlines && samples == 1 && (bits == 1 || bits == 2 || bits == 4 || bits == 8) &&
        (photometric_ == PHOTOMETRIC_MINISWHITE || photometric_ == PHOTOMETRIC_MINISBLACK ||
         photometric_ == PHOTOMETRIC_PALETTE)) {
        return Route::Indexed;
    }
    if (scanlines && bits == 8 && photometric_ == PHOTOMETRIC_RGB && samples >= 3) {
        return Route::Rgb;
    }
    // Inks are turned into light here: libtiff's RGBA reader refuses 16-bit inks and rounds
    // 8-bit ones down.
    if (scanlines && (bits == 8 || bits == 16) && IsCmyk(tif, photometric_, samples)) {
        return Route::Cmyk;
    }
    if (scanlines && bits == 8 && samples == 3 && photometric_ == PHOTOMETRIC_YCBCR &&
        compression_ == COMPRESSION_JPEG &&
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB) != 0) {
        return Route::Rgb;  // the JPEG codec converts to red, green, blue
    }
    char message[1024] = {};
    if (TIFFRGBAImageOK(tif, message) == 0) {
        ImgTrace("tiff: %s", message);
        throw TImgDecodeError{ImgError::BadFormat};
    }
    return Route::RgbaReader;
}

int TTiffImg::BuildPalette(TIFF* tif) {
    const int count = 1 << bitsPerSample_;
    paletteTable_ = std::make_unique<RgbQuad[]>(static_cast<size_t>(count));
    uint16_t* red = nullptr;
    uint16_t* green = nullptr;
    uint16_t* blue = nullptr;
    if (photometric_ == PHOTOMETRIC_PALETTE &&
        TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) != 0 && red != nullptr &&
        green != nullptr && blue != nullptr) {
        const bool wide = CheckColorMap(count, red, green, blue) == 16;
        const auto channel = [wide](uint16_t v) {
            return static_cast<uint8_t>(wide ? v * 255u / 65535u : v & 0xFF);
        };
        for (int i = count - 1; i >= 0; --i) {
            paletteTable_[i] = RgbQuad{channel(blue[i]), channel(green[i]), channel(red[i]), 0};
        }
        return count;
    }
    const bool whiteIsZero = photometric_ == PHOTOMETRIC_MINISWHITE;
    for (int i = 0; i < count; ++i) {
        const int level = i * 255 / (count - 1);
        const auto grey = static_cast<uint8_t>(whiteIsZero ? 255 - level : level);
        paletteTable_[i] = RgbQuad{grey, grey, grey, 0};
    }
    return count;
}

void TTiffImg::Decode(const std::string& name) {
    libraryAllocation_ = std::min(kMaxLibraryAllocation, MemoryLeft() / 4);
    if (libraryAllocation_ == 0) {  // which would be no limit at all to libtiff
        throw TImgDecodeError{ImgError::NotEnoughMemory};
    }
    ReserveMemory(kLibraryBuffers * libraryAllocation_);
    TiffPtr tif = OpenTiff(name, "rm", libraryAllocation_);
    if (TIFFIsTiled(tif.get())) {
        // Unmapped, libtiff's RGBA reader refuses uncompressed tiles of some sizes (16 x 16,
        // 48 x 48) that it reads mapped; tiles are read a row at a time either way.
        tif = OpenTiff(name, "r", libraryAllocation_);
    }
    ReadTags(tif.get());
    CheckWorkBacked(tif.get(), FileBytes(name));
    DoProgress(0, 0, TImgEvent::HeaderRead);
    const Route route = ChooseRoute(tif.get());

    FilterParams filter;
    filter.srcWidth = width_;
    filter.srcHeight = height_;
    filter.scaleX = filter.scaleY = static_cast<float>(DisplayCoeff());
    filter.dstBpp = 24;
    filter.kind = FilterKind();
    // Every route but palettes hands the filter blue, green, red, alpha composited away.
    filter.srcBpp = static_cast<uint8_t>(
        route != Route::Indexed ? 24 : (bitsPerSample_ == 2 ? 8 : bitsPerSample_));
    const FilterGuard filterGuard = OpenFilteredPicture(filter);
    if (route == Route::Indexed) {
        filter.paletteSize = BuildPalette(tif.get());
        filter.palette = paletteTable_.get();
    }
    if (route == Route::RgbaReader) {
        ReadThroughRgba(tif.get(), filter);
    } else {
        ReadScanlines(tif.get(), filter, route);
    }
}

template <class Feed>
void TTiffImg::FilterRows(FilterParams& filter, const Feed& feed) {
    MakeRowsTopDown([&](uint8_t* row) { FilterNextRow(filter, row, feed); });
}

void TTiffImg::ReadScanlines(TIFF* tif, FilterParams& filter, Route route) {
    const tmsize_t scanlineSize = TIFFScanlineSize(tif);
    const uint32_t width = static_cast<uint32_t>(width_);
    const uint64_t needed = (uint64_t{width} * bitCount_ + 7) / 8;
    if (scanlineSize <= 0 || static_cast<uint64_t>(scanlineSize) < needed ||
        static_cast<uint64_t>(scanlineSize) > kMaxRasterBytes) {
        throw TImgDecodeError{ImgError::BadFormat};
    }
    // libtiff writes a whole scanline, which may be longer than the filter's slot.
    ReserveMemory(static_cast<uint64_t>(scanlineSize));
    std::vector<uint8_t> scanline(static_cast<size_t>(scanlineSize));
    const unsigned samples = std::max<unsigned>(samplesPerPixel_, 1);
    uint32_t sourceRow = 0;
    FilterRows(filter, [&](uint8_t* slot) {
        if (TIFFReadScanline(tif, scanline.data(), sourceRow++, 0) < 0) {
            throw TImgDecodeError{ImgError::ReadFault};
        }
        if (route == Route::Rgb) {
            tiffrows::RgbToBgr(scanline.data(), slot, width, samples, alpha_);
        } else if (route == Route::Cmyk) {
            tiffrows::CmykToBgr(scanline.data(), slot, width, samples, bitsPerSample_, alpha_);
        } else if (bitsPerSample_ == 2) {
            WidenTwoBitIndices(scanline.data(), slot, width);
        } else {
            std::memcpy(slot, scanline.data(), static_cast<size_t>(needed));
        }
    });
}

void TTiffImg::ReadThroughRgba(TIFF* tif, FilterParams& filter) {
    if (alpha_ == tiffrows::Alpha::Straight) {
        KeepStraightColours(tif);
    }
    RgbaReader reader(tif);
    if (!reader.Ok()) {
        throw TImgDecodeError{ImgError::BadFormat};
    }
    TIFFRGBAImage& image = reader.Image();
    // Rows are taken in the order they are stored, as the scanline route takes them: asked
    // to turn a picture stored bottom-up, the reader would turn each strip on its own.
    image.req_orientation = image.orientation;
    const uint32_t width = image.width;
    const uint32_t height = image.height;
    if (width != static_cast<uint32_t>(width_) || height != static_cast<uint32_t>(height_)) {
        throw TImgDecodeError{ImgError::BadFormat};
    }
    // The reader decodes a whole strip or tile at a time, in one of libtiff's allocations.
    const uint64_t decoded = TIFFIsTiled(tif) ? TIFFTileSize64(tif) : TIFFStripSize64(tif);
    if (decoded > libraryAllocation_) {
        throw TImgDecodeError{ImgError::NotEnoughMemory};
    }
    const uint32_t chunkRows =
        RgbaChunkRows(tif, width, height, std::min(kMaxRasterBytes, MemoryLeft()));
    ReserveMemory(uint64_t{width} * chunkRows * sizeof(uint32_t));
    std::vector<uint32_t> raster;
    try {
        raster.resize(size_t{width} * chunkRows);
    } catch (const std::bad_alloc&) {
        throw TImgDecodeError{ImgError::NotEnoughMemory};
    }
    uint32_t sourceRow = 0;
    uint32_t chunkStart = 0;
    uint32_t chunkEnd = 0;  // rows chunkStart..chunkEnd-1 are in the raster
    FilterRows(filter, [&](uint8_t* slot) {
        if (sourceRow >= chunkEnd) {
            chunkStart = sourceRow;
            chunkEnd = std::min(height, chunkStart + chunkRows);
            image.row_offset = static_cast<int>(chunkStart);
            image.col_offset = 0;
            if (TIFFRGBAImageGet(&image, raster.data(), width, chunkEnd - chunkStart) == 0) {
                throw TImgDecodeError{ImgError::ReadFault};
            }
        }
        tiffrows::PackedRgbaToBgr(raster.data() + size_t{sourceRow - chunkStart} * width, slot,
                                  width, alpha_);
        ++sourceRow;
    });
}
