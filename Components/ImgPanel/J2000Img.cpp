#include "Components/ImgPanel/J2000Img.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <new>
#include <optional>
#include <vector>

#include "Components/ImgPanel/Filters.h"
#include "Components/ImgPanel/ImgErrors.h"
#include "Images/J2000/Decoder.h"
#include "Images/J2000/DeferredRelease.h"
#include "Images/J2000/Reconstruction.h"

namespace {

constexpr int kRgbColourSpace = 2;

// The most the decoder holds per sample: a tile's sample planes (4 bytes), the image store
// (up to 2 bytes; it is kept in memory below 64 MiB) and the coded bytes with their
// code-block records (about 2 bytes and more for 16-bit noise, which does not compress).
// Peaks measured: 4.8 bytes per sample for a 24-megapixel RGB picture coded losslessly
// (4.2 at 10:1; its store is a temporary file), 9.3 for 30 megapixels of 16-bit noise
// coded losslessly (its store in memory).
constexpr uint64_t kDecodeBytesPerSample = 10;

// What making the picture costs per pixel of the image's area, in the decoder's units of work
// (about a nanosecond): reading the three components back, stretching sub-sampled ones and the
// area filter. Measured over 4096 x 32768 pixels of components sub-sampled 2:1 across: 7 ns a
// pixel at full size, 9 at a thumbnail's coefficient, 16 at a quarter, where the filter weighs
// most; a stream of 128 KB then makes at most 100 M pixels, in about 1.6 s.
constexpr uint64_t kPictureUnitsPerPixel = 12;

// The samples the decoder may make within a memory budget, half of which stays for the
// picture.
uint64_t SamplesWithin(uint64_t budget) {
    return budget / 2 / kDecodeBytesPerSample;
}

// Maps a stored sample of a component to 0..255: the bytes read back are sign-extended for
// a signed component and its range moved to start at 0; more than 8 bits are cut to the top
// 8, fewer are spread over the whole range.
class SampleScale {
  public:
    SampleScale(int precision, bool isSigned) : precision_(precision), signed_(isSigned) {}

    uint8_t operator()(int32_t stored) const {
        int64_t v = stored & ((int64_t{1} << precision_) - 1);
        if (signed_) {
            v = (v ^ (int64_t{1} << (precision_ - 1)));  // two's complement to offset binary
        }
        if (precision_ > 8) {
            return static_cast<uint8_t>(v >> (precision_ - 8));
        }
        if (precision_ < 8) {
            return static_cast<uint8_t>(v * 255 / ((int64_t{1} << precision_) - 1));
        }
        return static_cast<uint8_t>(v);
    }

  private:
    int precision_;
    bool signed_;
};

// Samples of a component read back at once: a tall picture of narrow rows would otherwise cost
// a read (a system call when the store is a file) per row and component.
constexpr uint64_t kSamplesReadAtOnce = 1 << 16;

// One component read back a block of rows at a time and stretched to the image's width and
// height. Each block read is brought to 8 bits once; a sub-sampled component's samples are
// spread over the image's columns through a map made once, so a pixel costs a load and a store.
class ComponentRows {
  public:
    ComponentRows(j2000::image_t& image, int index, int width, int height)
        : image_(image),
          index_(index),
          component_(*image.cmpts[static_cast<size_t>(index)]),
          scale_(component_.prec, component_.sgnd),
          height_(height),
          blockRows_(static_cast<uint32_t>(
              std::max<uint64_t>(1, kSamplesReadAtOnce / component_.width_))) {
        const uint32_t cw = component_.width_;
        if (cw != static_cast<uint32_t>(width)) {
            columns_.resize(static_cast<size_t>(width));
            for (int x = 0; x < width; ++x) {
                columns_[static_cast<size_t>(x)] =
                    std::min<uint32_t>(cw - 1, static_cast<uint64_t>(x) * cw / width);
            }
        }
    }

    // Writes row y of the image into byte 2 - index of every pixel of a 24-bit row (component
    // 0 red into the third byte).
    void Fill(int y, uint8_t* pixels) {
        const uint32_t cw = component_.width_, ch = component_.height_;
        const uint32_t cy = std::min<uint32_t>(ch - 1, static_cast<uint64_t>(y) * ch / height_);
        if (cy < blockStart_ || cy - blockStart_ >= blockCount_) {
            Read(cy);
        }
        const uint8_t* row = bytes_.data() + static_cast<size_t>(cy - blockStart_) * cw;
        uint8_t* out = pixels + (2 - index_);
        if (columns_.empty()) {
            for (uint32_t x = 0; x < cw; ++x) {
                *out = row[x];
                out += 3;
            }
        } else {
            for (const uint32_t cx : columns_) {
                *out = row[cx];
                out += 3;
            }
        }
    }

  private:
    // The block of rows from `first` on, brought to 8 bits.
    void Read(uint32_t first) {
        const uint32_t count = std::min(blockRows_, component_.height_ - first);
        if (j2000::image_readcmpt(image_, index_, 0, first, component_.width_, count, samples_) !=
            0) {
            throw TImgDecodeError{ImgError::ReadFault};
        }
        bytes_.resize(samples_.size());
        std::transform(samples_.begin(), samples_.end(), bytes_.begin(), scale_);
        blockStart_ = first;
        blockCount_ = count;
    }

    j2000::image_t& image_;
    int index_;
    const j2000::image_cmpnt_t& component_;
    SampleScale scale_;
    int height_;
    uint32_t blockRows_;
    std::vector<int32_t> samples_;
    std::vector<uint8_t> bytes_;  // the block's rows at 8 bits
    uint32_t blockStart_ = 0, blockCount_ = 0;
    std::vector<uint32_t> columns_;  // source column of each image column; none when equal
};

}  // namespace

TJ2000Img::TJ2000Img() = default;
TJ2000Img::~TJ2000Img() = default;

int TJ2000Img::IsAbortSignaled(const j2000::jpc_cancel_t* cancel) {
    if (cancel == nullptr || cancel->handle == nullptr) {
        return 0;
    }
    return static_cast<const std::atomic<bool>*>(cancel->handle)->load() ? 1 : 0;
}

void TJ2000Img::LoadFromFile(const std::string& name) {
    TImgCtrl::LoadFromFile(name);
    RunDecodeFrame(name, [this, &name] {
        // Memory short while the picture is made is a want of resources like any other.
        try {
            Decode(name);
        } catch (const std::bad_alloc&) {
            throw TImgDecodeError{ImgError::NotEnoughMemory};
        }
    });
}

void TJ2000Img::Decode(const std::string& name) {
    CheckAbort();
    j2000::StreamPtr stream = j2000::stream_fopen(name.c_str(), "rb");
    if (!stream) {
        throw TImgDecodeError{ImgError::OpenFailed};
    }
    j2000::jpc_cancel_t cancel;
    cancel.handle = const_cast<std::atomic<bool>*>(AbortFlag());
    cancel.check = [](const j2000::jpc_cancel_t* c) { return IsAbortSignaled(c); };
    j2000::DecodeEnv env;
    env.decodetile = j2000::jpc_dec_tiledecode;
    // Its area, not its samples, decides what the picture costs: a few bytes may stretch a
    // component of a few samples over billions of pixels.
    env.limits.pictureunits = kPictureUnitsPerPixel;
    // The decode works at full size whatever the picture's size, so the budget caps it too.
    if (const std::optional<uint64_t> budget = MemoryBudget()) {
        env.limits.maxsamples = std::min(env.limits.maxsamples, SamplesWithin(*budget));
    }
    // Only three components are shown: any other count is refused as soon as SIZ tells it,
    // before a tile is decoded.
    bool notRgb = false;
    env.accept_image = [&notRgb](uint32_t, uint32_t,
                                 const std::vector<j2000::image_cmptparm_t>& components) {
        notRgb = components.size() != 3;
        return !notRgb;
    };
    j2000::DecodeResult result = j2000::jpc_decode(*stream, "", &cancel, env);
    // The image's stores (a temporary file of tens of megabytes for a large picture) take tens of
    // milliseconds to give back: they go to the decoder's deferred release, stopped or not.
    const struct ReleaseImage {
        j2000::ImagePtr& image;
        ~ReleaseImage() { j2000::release_later(std::move(image)); }
    } releaseImage{result.image};
    // A stop asked for during or after the decode is a stop, never an error.
    CheckAbort();
    if (notRgb) {
        throw TImgDecodeError{ImgError::Unknown};
    }
    // Too large for the budget, more work or memory than the stream can justify, or memory
    // short: a want of resources, not a broken file.
    if (result.overLimits) {
        throw TImgDecodeError{ImgError::NotEnoughMemory};
    }
    // A stream cut short still has an image of what arrived (`result.partial`): shown as it is.
    if (!result.image) {
        throw TImgDecodeError{ImgError::OpenFailed};
    }
    j2000::image_t& image = *result.image;
    if (image.clrspc == 0) {
        image.clrspc = kRgbColourSpace;
    }
    if (image.clrspc != kRgbColourSpace || image.numcmpts != 3) {
        throw TImgDecodeError{ImgError::Unknown};
    }
    width_ = static_cast<int>(image.width_);
    height_ = static_cast<int>(image.height_);
    for (const auto& component : image.cmpts) {
        width_ = std::max(width_, static_cast<int>(component->width_));
        height_ = std::max(height_, static_cast<int>(component->height_));
    }
    bitCount_ = 24;
    DoProgress(0, 0, TImgEvent::HeaderRead);

    FilterParams filter;
    filter.srcWidth = width_;
    filter.srcHeight = height_;
    filter.scaleX = filter.scaleY = static_cast<float>(DisplayCoeff());
    filter.kind = FilterKind();
    filter.srcBpp = 24;
    filter.dstBpp = 24;
    const FilterGuard filterGuard = OpenFilteredPicture(filter);
    std::vector<ComponentRows> components;
    for (int c = 0; c < 3; ++c) {
        components.emplace_back(image, c, width_, height_);
    }
    int sourceRow = 0;
    MakeRowsTopDown([&](uint8_t* row) {
        FilterNextRow(filter, row, [&](uint8_t* slot) {
            CheckAbort();
            const int y = std::min(sourceRow++, height_ - 1);
            for (ComponentRows& component : components) {
                component.Fill(y, slot);
            }
        });
    });
}
