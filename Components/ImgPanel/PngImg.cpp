#include "Components/ImgPanel/PngImg.h"

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include <png.h>
#include <sys/types.h>

#include "Components/ImgPanel/ImgDebug.h"
#include "Components/ImgPanel/ImgErrors.h"
#include "imaging/Resample.h"

namespace {

// The background transparency is composited over when the file names none: white.
constexpr png_color_16 kDefaultBackground{0, 255, 255, 255, 255};
constexpr double kScreenGamma = 2.2;
constexpr double kDefaultFileGamma = 0.45455;
// An interlaced file is held whole before it is reduced, and the resampler holds a window
// of N source rows; neither may grow past this, whatever the header claims.
constexpr uint64_t kMaxSourceBuffer = uint64_t{1} << 30;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

[[noreturn]] void PngFatal(png_structp png, png_const_charp message) {
    ImgTrace("png: %s", message);
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// Owns the library's read and info records.
class PngReader {
  public:
    PngReader() {
        png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngFatal, PngWarning);
        if (png_ != nullptr) {
            info_ = png_create_info_struct(png_);
        }
    }
    ~PngReader() {
        if (png_ != nullptr) {
            png_destroy_read_struct(&png_, info_ != nullptr ? &info_ : nullptr, nullptr);
        }
    }
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;

    bool Ok() const { return png_ != nullptr && info_ != nullptr; }
    png_structp Png() const { return png_; }
    png_infop Info() const { return info_; }

  private:
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

// Runs library calls; a library error jumps back here and fails the decode with 110. The
// frames a jump skips (the step's and the library's) hold only trivially destructible
// locals, so no destructor is lost.
template <class Step>
void RunPngStep(png_structp png, const Step& step) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        throw TImgDecodeError{ImgError::OpenFailed};
    }
    step();
}

// The stream's bytes in the file: the library's reads stop at its end, so a stream stored
// inside another file never reads past its own bytes.
struct StreamSource {
    std::FILE* file = nullptr;
    uint64_t remaining = 0;
};

void ReadStream(png_structp png, png_bytep data, size_t length) {
    auto* source = static_cast<StreamSource*>(png_get_io_ptr(png));
    if (length > source->remaining || std::fread(data, 1, length, source->file) != length) {
        png_error(png, "Read Error");
    }
    source->remaining -= length;
}

void SeekStream(std::FILE* file, uint64_t offset) {
    if (offset > static_cast<uint64_t>(std::numeric_limits<off_t>::max()) ||
        fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) {
        throw TImgDecodeError{ImgError::ReadFault};
    }
}

// The library refuses colour types 1, 5 and above 6 as a broken file; we report them as a
// format we do not read (11), so the type is looked up before the library sees the header.
// Leaves the file at the stream's start.
bool HasInvalidColourType(std::FILE* file, const StreamSource& source, uint64_t offset) {
    uint8_t head[26] = {};
    const size_t got = source.remaining < sizeof head ? 0 : std::fread(head, 1, sizeof head, file);
    SeekStream(file, offset);
    if (got < sizeof head || std::memcmp(head + 12, "IHDR", 4) != 0) {
        return false;  // the library reports what is wrong with it
    }
    const uint8_t colourType = head[25];
    return colourType == 1 || colourType == 5 || colourType > 6;
}

struct Header {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colourType = 0;
    int interlace = 0;
    int bitCount = 0;  // of the rows the library delivers after the transforms
};

// Grey of 2 or 4 bits is delivered as 8-bit samples.
bool WidensGrey(const Header& h) {
    return (h.colourType & PNG_COLOR_MASK_COLOR) == 0 && (h.bitDepth == 2 || h.bitDepth == 4);
}

// Asks for 8-bit samples, blue first; returns the delivered bit count. Alpha is not stripped
// here: compositing over the background (SetColourTransforms) consumes it, and stripping it
// first would show the colours of transparent pixels.
int SetSampleTransforms(png_structp png, const Header& h) {
    if (h.bitDepth == 16) {
        png_set_strip_16(png);
    }
    const int depth = h.bitDepth == 16 ? 8 : h.bitDepth;
    switch (h.colourType) {
        case PNG_COLOR_TYPE_GRAY:
        case PNG_COLOR_TYPE_GRAY_ALPHA:
            if (WidensGrey(h)) {
                png_set_expand(png);
                return 8;
            }
            return depth;
        case PNG_COLOR_TYPE_RGB:
        case PNG_COLOR_TYPE_RGB_ALPHA:
            png_set_bgr(png);
            return 24;
        case PNG_COLOR_TYPE_PALETTE:
            if (depth == 2 || depth == 4) {
                png_set_packing(png);
                return 8;
            }
            return depth;
        default:
            return 0;
    }
}

// The file's gamma: sRGB files and files without gAMA count as 1/2.2.
double FileGamma(png_structp png, png_infop info) {
    int intent = 0;
    double gamma = 0.0;
    if (png_get_sRGB(png, info, &intent) == 0 && png_get_gAMA(png, info, &gamma) != 0 &&
        gamma > 0.0) {
        return gamma;
    }
    return kDefaultFileGamma;
}

// A background of 2- or 4-bit grey as the screen shows it. libpng leaves such a background
// at its 2 or 4 bits while it widens the pixels, which then fade into black; and given one
// widened to 8 bits as the file's it does not correct it as it corrects the pixels (85 at
// gAMA 0.7 showed 107, not 125). So we widen it and correct it for the screen ourselves.
png_color_16 ScreenGrey(const png_color_16& background, int bitDepth, double fileGamma) {
    const int top = (1 << bitDepth) - 1;
    const double value = static_cast<double>(background.gray & top) / top;
    png_color_16 screen = background;
    screen.gray = static_cast<png_uint_16>(
        std::lround(255.0 * std::pow(value, 1.0 / (fileGamma * kScreenGamma))));
    return screen;
}

// Transparency composited over the file's background colour, else white; gamma from the
// file for a 2.2 screen. Every picture gets a background, transparent or not: libpng
// corrects a palette for gamma only while it composites one, so a palette file without
// transparency would keep the colours it was stored with.
void SetColourTransforms(png_structp png, png_infop info, const Header& h) {
    const double fileGamma = FileGamma(png, info);
    png_color_16p background = nullptr;
    if (png_get_bKGD(png, info, &background) != 0 && background != nullptr) {
        if (WidensGrey(h)) {
            const png_color_16 screen = ScreenGrey(*background, h.bitDepth, fileGamma);
            png_set_background(png, &screen, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
        } else {
            png_set_background(png, background, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0);
        }
    } else {
        png_set_background(png, &kDefaultBackground, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
    }
    png_set_gamma(png, kScreenGamma, fileGamma);
}

// The palette of a grey or palette picture, written into the picture itself.
void FillPalette(png_structp png, png_infop info, const Header& h, PackedDib picture) {
    RgbQuad* entries = DibPalette(picture);
    const int count = 1 << h.bitCount;
    if (h.colourType == PNG_COLOR_TYPE_PALETTE) {
        png_colorp plte = nullptr;
        int plteCount = 0;
        RunPngStep(png, [&] { png_get_PLTE(png, info, &plte, &plteCount); });
        for (int i = 0; i < plteCount && i < count && plte != nullptr; ++i) {
            entries[i] = RgbQuad{plte[i].blue, plte[i].green, plte[i].red, 0};
        }
        return;
    }
    for (int i = 0; i < count; ++i) {
        const auto grey = static_cast<uint8_t>(i * 255 / (count - 1));
        entries[i] = RgbQuad{grey, grey, grey, 0};
    }
}

// What libpng will deliver must be what our buffers hold: one sample of the picture's
// depth for grey and palette rows, three 8-bit ones for colour, rows no longer than ours.
void CheckDeliveredRows(png_structp png, png_infop info, const Header& h, uint32_t rowBytes) {
    const int channels = png_get_channels(png, info);
    const int depth = png_get_bit_depth(png, info);
    const bool colour = h.bitCount == 24;
    const bool fits = png_get_rowbytes(png, info) <= rowBytes;
    if (!fits || channels != (colour ? 3 : 1) || depth != (colour ? 8 : h.bitCount)) {
        throw TImgDecodeError{ImgError::BadFormat};
    }
}

void ReadRow(png_structp png, uint8_t* row) {
    RunPngStep(png, [&] { png_read_row(png, row, nullptr); });
}

}  // namespace

TPNGImg::TPNGImg() = default;

TPNGImg::~TPNGImg() = default;

void TPNGImg::LoadFromFile(const std::string& name) {
    TImgCtrl::LoadFromFile(name);
    RunDecodeFrame(name, [this, &name] { Decode(name); });
}

void TPNGImg::SetStreamRange(uint64_t offset, uint64_t length) {
    streamOffset_ = offset;
    streamLength_ = length;
}

double TPNGImg::WantedCoefficient() const {
    if (MaxDisplayWidth() != 0 && MaxDisplayHeight() != 0) {
        return CalcDisplayCoeff(MaxDisplayWidth(), MaxDisplayHeight(), width_, height_);
    }
    return DisplayCoeff();
}

void TPNGImg::Decode(const std::string& name) {
    FilePtr file(std::fopen(name.c_str(), "rbe"));
    if (!file) {
        throw TImgDecodeError{ImgError::OpenFailed};
    }
    SeekStream(file.get(), streamOffset_);
    StreamSource source{file.get(), streamLength_};
    if (HasInvalidColourType(file.get(), source, streamOffset_)) {
        throw TImgDecodeError{ImgError::BadFormat};
    }
    PngReader reader;
    if (!reader.Ok()) {
        throw TImgDecodeError{ImgError::NotEnoughMemory};
    }
    png_structp png = reader.Png();
    png_infop info = reader.Info();
    Header h;
    RunPngStep(png, [&] {
        png_set_read_fn(png, &source, ReadStream);
        png_set_sig_bytes(png, 0);
        png_read_info(png, info);
        png_get_IHDR(png, info, &h.width, &h.height, &h.bitDepth, &h.colourType, &h.interlace,
                     nullptr, nullptr);
        h.bitCount = SetSampleTransforms(png, h);
    });
    if (h.bitCount == 0) {
        throw TImgDecodeError{ImgError::BadFormat};
    }
    height_ = static_cast<int>(h.height);
    width_ = static_cast<int>(h.width);
    bitCount_ = h.bitCount;
    DoProgress(0, 0, TImgEvent::HeaderRead);

    const double coefficient = WantedCoefficient();
    if (!(coefficient > 0.0)) {
        throw TImgDecodeError{ImgError::Unknown};
    }
    ResampleState st;
    st.factor = coefficient >= 1.0 ? 1.0 : 1.0 / coefficient;  // never an enlargement
    st.srcWidth = h.width;
    st.srcHeight = h.height;
    st.bitCount = static_cast<uint8_t>(h.bitCount);
    st.mode = ScalerMode();
    ReserveMemory(ResampleMemoryBytes(st.factor, st.srcWidth, st.bitCount));
    if (!ResampleCreateWeights(&st) || uint64_t{st.srcRowBytes} * st.window > kMaxSourceBuffer) {
        throw TImgDecodeError{ImgError::NotEnoughMemory};
    }
    outputHeight_ = static_cast<int>(st.outHeight);
    outputWidth_ = static_cast<int>(st.outWidth);
    CreatePicture(outputWidth_, outputHeight_, h.bitCount);
    int passes = 1;
    RunPngStep(png, [&] {
        SetColourTransforms(png, info, h);
        passes = png_set_interlace_handling(png);
        png_read_update_info(png, info);
    });
    CheckDeliveredRows(png, info, h, st.srcRowBytes);
    if (h.bitCount <= 8) {
        FillPalette(png, info, h, Picture());
        st.palette = DibPalette(Picture());
        ResampleCreatePalette(&st);
    }
    if (st.factor == 1.0) {
        ReadStraight(png, passes);
    } else if (passes > 1) {
        ReduceInterlaced(png, st, passes);
    } else {
        ReduceRows(png, st);
    }
    RunPngStep(png, [&] { png_read_end(png, nullptr); });
}

void TPNGImg::EmitRow(ResampleState& st) {
    ResampleRows(&st);
    ResampleStoreRow(&st, Picture(), st.outRowsDone - 1);
    ReportRowsDone(st.outRowsDone);
}

void TPNGImg::ReportRowsDone(uint32_t rowsDone) {
    const unsigned scanlines = DisplayScanlines();
    if (rowsDone % scanlines == 0) {
        const int done = static_cast<int>(rowsDone);
        DoProgress(done - static_cast<int>(scanlines), done, TImgEvent::RowsDecoded);
    }
}

void TPNGImg::ReadStraight(png_structp png, int passes) {
    const size_t rowBytes = DibRowBytes(Picture());
    uint8_t* const top = DibBits(Picture()) + static_cast<size_t>(outputHeight_ - 1) * rowBytes;
    for (int pass = 0; pass < passes; ++pass) {
        const bool last = pass == passes - 1;
        for (int y = 0; y < outputHeight_; ++y) {
            CheckAbort();
            ReadRow(png, top - static_cast<size_t>(y) * rowBytes);
            if (last) {
                ReportRowsDone(static_cast<uint32_t>(y) + 1);
            }
        }
    }
}

void TPNGImg::ReduceRows(png_structp png, ResampleState& st) {
    while (st.srcRowsDone < st.srcHeight) {
        CheckAbort();
        for (uint32_t k = 0; k < st.rowsToRead; ++k) {
            ReadRow(png, st.writePos + size_t{k} * st.srcRowBytes);
        }
        EmitRow(st);
    }
    ResampleFinishRows(&st, Picture());
}

void TPNGImg::ReduceInterlaced(png_structp png, ResampleState& st, int passes) {
    const size_t rowBytes = st.srcRowBytes;
    const uint64_t total = uint64_t{st.srcRowBytes} * st.srcHeight;
    if (total > kMaxSourceBuffer) {
        throw TImgDecodeError{ImgError::NotEnoughMemory};
    }
    ReserveMemory(total);
    std::vector<uint8_t> whole;
    try {
        whole.resize(static_cast<size_t>(total));
    } catch (const std::bad_alloc&) {
        throw TImgDecodeError{ImgError::NotEnoughMemory};
    }
    for (int pass = 0; pass < passes; ++pass) {
        for (uint32_t y = 0; y < st.srcHeight; ++y) {
            CheckAbort();
            ReadRow(png, whole.data() + y * rowBytes);
        }
    }
    while (st.srcRowsDone < st.srcHeight) {
        CheckAbort();
        std::memcpy(st.writePos, whole.data() + st.srcRowsDone * rowBytes,
                    st.rowsToRead * rowBytes);
        EmitRow(st);
    }
    ResampleFinishRows(&st, Picture());
}
