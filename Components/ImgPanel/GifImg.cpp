#include "Components/ImgPanel/GifImg.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include <gif_lib.h>

#include "Components/ImgPanel/ImgDebug.h"
#include "Components/ImgPanel/ImgErrors.h"

namespace {

constexpr int kPaletteEntries = 256;

// A screen of more pixels than this must come with a file that could fill it, else it
// would be background no byte of the file paid for (a picture that may turn 24-bit, and
// the panel's copy of it). LZW data gives at most a string of 4096 pixels for a 12-bit
// code, about 2731 pixels a byte, on a flat area only; a picture with any detail stays
// well below kMostPixelsPerByte.
constexpr uint64_t kFreeScreenPixels = uint64_t{1} << 26;
constexpr uint64_t kMostPixelsPerByte = 512;

// Rows of an image narrower than this share of the picture are not handed over as they
// are drawn (each row handed over is the picture's whole width): the finished picture
// shows them.
constexpr int kNarrowImageShare = 8;

// The interlaced row order of the format: first row and step of each pass.
constexpr int kPassStart[4] = {0, 4, 2, 1};
constexpr int kPassStep[4] = {8, 8, 4, 2};

class FileDescriptor {
  public:
    explicit FileDescriptor(const std::string& name)
        : fd_(open(name.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }

  private:
    int fd_;
};

// The file as giflib reads it: a count byte, then a block of at most 255 bytes, over and
// over. Served from blocks of kBlockBytes, so that a picture costs a few reads rather than
// two system calls for every 255 bytes.
class BlockReader {
  public:
    static constexpr size_t kBlockBytes = size_t{64} << 10;

    explicit BlockReader(int fd) : fd_(fd), block_(kBlockBytes) {}

    // Fewer bytes than asked only at the end of the file or on an error, which the
    // library then reports.
    int Read(GifByteType* buffer, int length) {
        int done = 0;
        while (done < length) {
            if (next_ == end_ && !Refill()) {
                break;
            }
            const size_t count = std::min(end_ - next_, static_cast<size_t>(length - done));
            std::memcpy(buffer + done, block_.data() + next_, count);
            next_ += count;
            done += static_cast<int>(count);
        }
        return done;
    }

  private:
    bool Refill() {
        for (;;) {
            const ssize_t got = read(fd_, block_.data(), block_.size());
            if (got < 0 && errno == EINTR) {
                continue;
            }
            next_ = 0;
            end_ = got > 0 ? static_cast<size_t>(got) : 0;
            return got > 0;
        }
    }

    int fd_;
    std::vector<uint8_t> block_;
    size_t next_ = 0;
    size_t end_ = 0;
};

// giflib's input hook.
int ReadFromBlocks(GifFileType* gif, GifByteType* buffer, int length) {
    return static_cast<BlockReader*>(gif->UserData)->Read(buffer, length);
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using GifPtr = std::unique_ptr<GifFileType, GifCloser>;

// The decoder code of a giflib failure: memory is 8, everything else (cut or damaged data
// included) a read fault.
TImgDecodeError Failure(int gifError) {
    ImgTrace("gif: %s", GifErrorString(gifError));
    return TImgDecodeError{gifError == D_GIF_ERR_NOT_ENOUGH_MEM ? ImgError::NotEnoughMemory
                                                                : ImgError::ReadFault};
}

const ColorMapObject* CurrentColourMap(const GifFileType* gif) {
    const ColorMapObject* map =
        gif->Image.ColorMap != nullptr ? gif->Image.ColorMap : gif->SColorMap;
    if (map == nullptr || map->Colors == nullptr || map->ColorCount <= 0) {
        return nullptr;
    }
    return map;
}

int ColourCount(const ColorMapObject* map) {
    return map != nullptr ? std::min(map->ColorCount, kPaletteEntries) : kPaletteEntries;
}

uint32_t ColourKey(uint8_t blue, uint8_t green, uint8_t red) {
    return uint32_t{blue} | (uint32_t{green} << 8) | (uint32_t{red} << 16);
}

}  // namespace

TGifImg::Colours TGifImg::ImageColours(GifFileType* gif) {
    const ColorMapObject* map = CurrentColourMap(gif);
    const int count = ColourCount(map);
    Colours colours{};
    for (int i = 0; i < kPaletteEntries; ++i) {
        if (map == nullptr) {
            const auto grey = static_cast<uint8_t>(i);
            colours[i] = Bgr{grey, grey, grey};
        } else {
            const GifColorType& c = map->Colors[i < count ? i : 0];
            colours[i] = Bgr{c.Blue, c.Green, c.Red};
        }
    }
    return colours;
}

namespace {

// Reads an extension; a graphic control block fills control (for the next image), every
// other one is skipped.
void ReadExtension(GifFileType* gif, GraphicsControlBlock& control) {
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) {
        throw Failure(gif->Error);
    }
    if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4) {
        DGifExtensionToGCB(block[0], block + 1, &control);
    }
    while (block != nullptr) {
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) {
            throw Failure(gif->Error);
        }
    }
}

constexpr GraphicsControlBlock kNoControl{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};

}  // namespace

TGifImg::TGifImg() = default;

TGifImg::~TGifImg() = default;

void TGifImg::LoadFromFile(const std::string& name) {
    TImgCtrl::LoadFromFile(name);
    RunDecodeFrame(name, [this, &name] { Decode(name); });
    line_ = {};
}

void TGifImg::Decode(const std::string& name) {
    FileDescriptor file(name);
    if (file.Get() < 0) {
        throw TImgDecodeError{ImgError::OpenFailed};
    }
    struct stat status {};
    fileBytes_ = fstat(file.Get(), &status) == 0 ? static_cast<uint64_t>(status.st_size) : 0;
    BlockReader reader(file.Get());
    int openError = 0;
    GifPtr gif(DGifOpen(&reader, ReadFromBlocks, &openError));
    if (!gif) {
        ImgTrace("gif: %s", GifErrorString(openError));
        throw TImgDecodeError{openError == D_GIF_ERR_NOT_ENOUGH_MEM ? ImgError::NotEnoughMemory
                                                                    : ImgError::OpenFailed};
    }
    bool imageRead = false;
    disposal_ = DISPOSAL_UNSPECIFIED;
    GraphicsControlBlock control = kNoControl;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) {
            if (!imageRead) {
                throw Failure(gif->Error);
            }
            break;  // a file cut short after an image still shows what it holds
        }
        if (type == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(gif.get()) == GIF_ERROR) {
                throw Failure(gif->Error);
            }
            if (!imageRead) {
                CreateCanvas(gif.get(), true);
            }
            DisposePrevious();
            transparent_ = control.TransparentColor;
            ChooseColours(gif.get(), !imageRead);
            previous_ = {gif->Image.Left, gif->Image.Top, gif->Image.Width, gif->Image.Height};
            disposal_ = control.DisposalMode;
            if (disposal_ == DISPOSE_PREVIOUS) {
                SaveArea();
            }
            DrawImage(gif.get());
            control = kNoControl;  // a control block governs the one image after it
            imageRead = true;
        } else if (type == EXTENSION_RECORD_TYPE) {
            ReadExtension(gif.get(), control);
        } else if (type == TERMINATE_RECORD_TYPE) {
            break;
        }
    }
    if (!imageRead) {
        CreateCanvas(gif.get(), false);  // a file of extensions only shows its background
    }
}

void TGifImg::CreateCanvas(GifFileType* gif, bool withImage) {
    int64_t width = gif->SWidth;
    int64_t height = gif->SHeight;
    if (withImage) {
        const GifImageDesc& image = gif->Image;
        width = std::max<int64_t>(width, int64_t{image.Left} + image.Width);
        height = std::max<int64_t>(height, int64_t{image.Top} + image.Height);
    }
    if (width < 1 || height < 1) {
        throw TImgDecodeError{ImgError::BadFormat};  // nothing to show
    }
    width_ = outputWidth_ = static_cast<int>(width);
    height_ = outputHeight_ = static_cast<int>(height);
    bitCount_ = 8;
    CheckPictureFits(outputWidth_, outputHeight_, 8);
    const auto pixels = static_cast<uint64_t>(width * height);
    if (pixels > kFreeScreenPixels && pixels > kMostPixelsPerByte * fileBytes_) {
        throw TImgDecodeError{ImgError::BadFormat};
    }
    CreatePicture(outputWidth_, outputHeight_, 8);
    coloursUsed_ =
        static_cast<uint32_t>(ColourCount(withImage ? CurrentColourMap(gif) : gif->SColorMap));
    Picture()->biClrUsed = coloursUsed_;
    background_ =
        gif->SBackGroundColor >= 0 && static_cast<uint32_t>(gif->SBackGroundColor) < coloursUsed_
            ? static_cast<uint8_t>(gif->SBackGroundColor)
            : 0;
    if (background_ != 0) {  // a new picture is already all zeros
        std::memset(DibBits(Picture()), background_,
                    size_t{DibRowBytes(Picture())} * static_cast<size_t>(outputHeight_));
    }
    pixelBytes_ = 1;
    if (!withImage) {
        TakeColourMap(ImageColours(gif));
    }
    DoProgress(0, 0, TImgEvent::HeaderRead);
}

void TGifImg::ChooseColours(GifFileType* gif, bool first) {
    const Colours colours = ImageColours(gif);
    if (pixelBytes_ == 3) {
        colours_ = colours;
        return;
    }
    const GifImageDesc& image = gif->Image;
    // Through transparent pixels the earlier pictures stay, in the palette they were drawn in.
    const bool coversPicture = image.Left == 0 && image.Top == 0 && image.Width >= outputWidth_ &&
                               image.Height >= outputHeight_ && transparent_ < 0;
    const auto count = static_cast<uint32_t>(ColourCount(CurrentColourMap(gif)));
    if (first || (coversPicture && count <= coloursUsed_)) {
        TakeColourMap(colours);
    } else if (!MapExactly(colours)) {
        ConvertToTrueColour();
        colours_ = colours;
    }
    identityMap_ = true;
    for (int i = 0; i < kPaletteEntries; ++i) {
        identityMap_ = identityMap_ && indexMap_[i] == i;
    }
}

void TGifImg::TakeColourMap(const Colours& colours) {
    RgbQuad* palette = DibPalette(Picture());
    paletteLookup_.clear();
    for (uint32_t i = 0; i < coloursUsed_; ++i) {
        palette[i] = RgbQuad{colours[i].b, colours[i].g, colours[i].r, 0};
        paletteLookup_.emplace_back(ColourKey(colours[i].b, colours[i].g, colours[i].r),
                                    static_cast<uint8_t>(i));
    }
    std::sort(paletteLookup_.begin(), paletteLookup_.end());
    // Indices past the picture's entries are pixels beyond their map: drawn as entry 0.
    for (int i = 0; i < kPaletteEntries; ++i) {
        indexMap_[i] = static_cast<uint32_t>(i) < coloursUsed_ ? static_cast<uint8_t>(i) : 0;
    }
}

bool TGifImg::MapExactly(const Colours& colours) {
    for (int i = 0; i < kPaletteEntries; ++i) {
        if (i == transparent_) {
            continue;  // never drawn
        }
        const uint32_t key = ColourKey(colours[i].b, colours[i].g, colours[i].r);
        const auto found = std::lower_bound(paletteLookup_.begin(), paletteLookup_.end(),
                                            std::pair<uint32_t, uint8_t>{key, 0});
        if (found == paletteLookup_.end() || found->first != key) {
            return false;
        }
        indexMap_[i] = found->second;
    }
    return true;
}

void TGifImg::ConvertToTrueColour() {
    const UniqueDib indexed = TakePicture();
    const RgbQuad* palette = DibPalette(indexed.get());
    const RgbQuad& background = palette[background_];
    backgroundColour_ = Bgr{background.rgbBlue, background.rgbGreen, background.rgbRed};
    CreatePicture(outputWidth_, outputHeight_, 24);
    pixelBytes_ = 3;
    const size_t fromBytes = DibRowBytes(indexed.get());
    const size_t toBytes = DibRowBytes(Picture());
    for (int y = 0; y < outputHeight_; ++y) {
        const uint8_t* from = DibBits(indexed.get()) + static_cast<size_t>(y) * fromBytes;
        uint8_t* to = DibBits(Picture()) + static_cast<size_t>(y) * toBytes;
        for (int x = 0; x < outputWidth_; ++x, to += 3) {
            const RgbQuad& q = palette[from[x] < coloursUsed_ ? from[x] : 0];
            to[0] = q.rgbBlue;
            to[1] = q.rgbGreen;
            to[2] = q.rgbRed;
        }
    }
    // The receiver's copy changes its form too: it gets every row again.
    DoProgress(0, outputHeight_ - 1, TImgEvent::RowsDecoded);
}

void TGifImg::DrawImage(GifFileType* gif) {
    const GifImageDesc image = gif->Image;
    if (image.Width <= 0 || image.Height <= 0) {
        return;
    }
    line_.resize(static_cast<size_t>(image.Width));
    const int scanlines = static_cast<int>(DisplayScanlines());
    const bool report = int64_t{image.Width} * kNarrowImageShare >= outputWidth_;
    if (image.Interlace) {
        // Each pass names the image's rows, not the whole picture's.
        const int top = std::clamp(image.Top, 0, outputHeight_);
        const int bottom = static_cast<int>(
            std::clamp<int64_t>(int64_t{image.Top} + image.Height, top, outputHeight_));
        for (int pass = 0; pass < 4; ++pass) {
            for (int row = kPassStart[pass]; row < image.Height; row += kPassStep[pass]) {
                CheckAbort();
                DrawLine(gif, image.Left, image.Top + row);
            }
            if (report && top < bottom) {
                DoProgress(top, bottom, TImgEvent::RowsDecoded);
            }
        }
        return;
    }
    for (int row = 0; row < image.Height; ++row) {
        CheckAbort();
        DrawLine(gif, image.Left, image.Top + row);
        if (report && row % scanlines == 0) {
            DoProgress(image.Top + row - scanlines, image.Top + row, TImgEvent::RowsDecoded);
        }
    }
}

template <class RowPart>
void TGifImg::ForEachRowOfPrevious(const RowPart& rowPart) {
    const int left = std::max(previous_.left, 0);
    const int right = std::min(previous_.left + previous_.width, outputWidth_);
    const int bottom = std::min(previous_.top + previous_.height, outputHeight_);
    for (int y = std::max(previous_.top, 0); y < bottom && left < right; ++y) {
        uint8_t* row = DibBits(Picture()) +
                       static_cast<size_t>(outputHeight_ - 1 - y) * DibRowBytes(Picture());
        rowPart(row + static_cast<size_t>(left) * pixelBytes_,
                static_cast<size_t>(right - left) * pixelBytes_);
    }
}

void TGifImg::SaveArea() {
    saved_.clear();
    const int64_t width =
        std::min(previous_.left + previous_.width, outputWidth_) - std::max(previous_.left, 0);
    const int64_t height =
        std::min(previous_.top + previous_.height, outputHeight_) - std::max(previous_.top, 0);
    const uint64_t bytes =
        width > 0 && height > 0 ? static_cast<uint64_t>(width * height) * pixelBytes_ : 0;
    if (bytes > saved_.capacity()) {
        ReserveMemory(bytes - saved_.capacity());
    }
    try {
        saved_.reserve(static_cast<size_t>(bytes));
        ForEachRowOfPrevious([this](const uint8_t* part, size_t count) {
            saved_.insert(saved_.end(), part, part + count);
        });
    } catch (const std::bad_alloc&) {
        throw TImgDecodeError{ImgError::NotEnoughMemory};
    }
}

void TGifImg::DisposePrevious() {
    if (disposal_ == DISPOSE_BACKGROUND && pixelBytes_ == 1) {
        ForEachRowOfPrevious(
            [this](uint8_t* part, size_t count) { std::memset(part, background_, count); });
    } else if (disposal_ == DISPOSE_BACKGROUND) {
        ForEachRowOfPrevious([this](uint8_t* part, size_t count) {
            for (uint8_t* end = part + count; part < end; part += 3) {
                part[0] = backgroundColour_.b;
                part[1] = backgroundColour_.g;
                part[2] = backgroundColour_.r;
            }
        });
    } else if (disposal_ == DISPOSE_PREVIOUS) {
        size_t done = 0;
        ForEachRowOfPrevious([this, &done](uint8_t* part, size_t count) {
            std::memcpy(part, saved_.data() + done, count);
            done += count;
        });
    }
    disposal_ = DISPOSAL_UNSPECIFIED;
}

void TGifImg::DrawLine(GifFileType* gif, int left, int y) {
    const bool inside = y >= 0 && y < outputHeight_ && left >= 0 && left < outputWidth_;
    uint8_t* target =
        inside ? DibBits(Picture()) +
                     static_cast<size_t>(outputHeight_ - 1 - y) * DibRowBytes(Picture()) +
                     static_cast<size_t>(left) * pixelBytes_
               : nullptr;
    const auto width = static_cast<int>(line_.size());
    if (inside && pixelBytes_ == 1 && transparent_ < 0 && left + width <= outputWidth_) {
        // A whole opaque line through the palette: decoded straight into the picture.
        if (DGifGetLine(gif, target, width) == GIF_ERROR) {
            throw Failure(gif->Error);
        }
        for (int i = 0; i < width && !identityMap_; ++i) {
            target[i] = indexMap_[target[i]];
        }
        return;
    }
    if (DGifGetLine(gif, line_.data(), width) == GIF_ERROR) {
        throw Failure(gif->Error);
    }
    if (!inside) {
        return;  // outside the picture
    }
    const size_t count = std::min(line_.size(), static_cast<size_t>(outputWidth_ - left));
    // A transparent pixel keeps what lies below.
    if (pixelBytes_ == 1) {
        for (size_t i = 0; i < count; ++i) {
            if (line_[i] != transparent_) {
                target[i] = indexMap_[line_[i]];
            }
        }
        return;
    }
    for (size_t i = 0; i < count; ++i, target += 3) {
        if (line_[i] != transparent_) {
            const Bgr& colour = colours_[line_[i]];
            target[0] = colour.b;
            target[1] = colour.g;
            target[2] = colour.r;
        }
    }
}
