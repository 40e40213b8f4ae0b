#include "Components/ImgPanel/JpegImg.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "Components/ImgPanel/Filters.h"
#include "Components/ImgPanel/ImgDebug.h"
#include "Components/ImgPanel/ImgErrors.h"
#include "imaging/JpegError.h"
#include "imaging/JpegFileSource.h"
#include "imaging/JpegWork.h"

#include <jerror.h>

namespace {

constexpr int kGreyColours = 236;
constexpr int kPaletteEntries = 256;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// How the library's scanlines become the filter's source rows.
enum class SampleLayout {
    Bgr,   // three bytes, blue first: straight into the filter's slot
    Grey,  // one palette index per pixel (quantised grey)
    Cmyk,  // four bytes, converted to blue, green, red on the way
};

// The output size and how it is reached: library scale, then filter scales.
struct OutputPlan {
    int denominator = 1;
    float scaleX = 1.0f;
    float scaleY = 1.0f;
    float shift = 0.0f;
    int dstWidth = 0;  // 0: the size the scales give
    int dstHeight = 0;
};

int ScaledSide(int side, int denominator) {
    return (side + denominator - 1) / denominator;
}

OutputPlan PlanOutput(int width, int height, double coefficient, bool libraryScaling) {
    const auto scale = static_cast<float>(coefficient);
    OutputPlan plan{1, scale, scale};
    const int dstWidth = FilterOutputSize(width, scale);
    const int dstHeight = FilterOutputSize(height, scale);
    if (!libraryScaling || dstWidth < 1 || dstHeight < 1) {
        return plan;  // the filter reports an unusable scale
    }
    for (const int denominator : {8, 4, 2}) {
        const int w = ScaledSide(width, denominator);
        const int h = ScaledSide(height, denominator);
        if (w >= dstWidth && h >= dstHeight) {
            // Scales that give exactly the size the full-size path gives.
            const float reduced = static_cast<float>(coefficient * denominator);
            const float shift = -static_cast<float>(denominator - 1) / (2.0f * denominator);
            return OutputPlan{denominator, reduced, reduced, shift, dstWidth, dstHeight};
        }
    }
    return plan;
}

// Runs library calls; a jump back from the library becomes the decoder's error code.
template <class Step>
void RunStep(JpegDecompressor& jpeg, const Step& step) {
    switch (RunJpegStep(jpeg, step)) {
        case kJpegDone:
            return;
        case kJpegAborted:
            throw TImgDecodeError{ImgError::Aborted};
        default:
            break;
    }
    const bool outOfMemory = jpeg.Info()->err->msg_code == JERR_OUT_OF_MEMORY;
    throw TImgDecodeError{outOfMemory ? ImgError::NotEnoughMemory : ImgError::Unknown};
}

SampleLayout ChooseOutput(j_decompress_ptr info) {
    switch (info->jpeg_color_space) {
        case JCS_GRAYSCALE:
            info->out_color_space = JCS_GRAYSCALE;
            info->quantize_colors = TRUE;
            info->desired_number_of_colors = kGreyColours;
            return SampleLayout::Grey;
        case JCS_YCbCr:
        case JCS_RGB:
            info->out_color_space = JCS_EXT_BGR;
            return SampleLayout::Bgr;
        case JCS_CMYK:
        case JCS_YCCK:
            info->out_color_space = JCS_CMYK;
            return SampleLayout::Cmyk;
        default:
            throw TImgDecodeError{ImgError::Unknown};  // no colour model we can show
    }
}

// Reads the next scanline into slot, through cmykRow when the samples need converting.
// Runs inside RunStep: only trivially destructible locals, since the library may jump out.
void ReadScanline(j_decompress_ptr info, uint8_t* slot, uint8_t* cmykRow) {
    JpegCheckAbort(reinterpret_cast<j_common_ptr>(info));
    JSAMPROW target = cmykRow != nullptr ? cmykRow : slot;
    jpeg_read_scanlines(info, &target, 1);
    if (cmykRow != nullptr) {
        JpegCmykToBgr(cmykRow, slot, info->output_width, info->saw_Adobe_marker != 0);
    }
}

// Feeds the filter every scanline the current output row needs: straight into the row
// itself when the filter copies colour rows at 1:1, else into the filter's window.
void FeedRow(j_decompress_ptr info, FilterParams& filter, uint8_t* row, uint8_t* cmykRow) {
    if (uint8_t* direct = filter_direct_row(&filter, row)) {
        ReadScanline(info, direct, cmykRow);
        return;
    }
    while (uint8_t* slot = filter_feed_row(&filter)) {
        ReadScanline(info, slot, cmykRow);
    }
}

FilterParams FilterFor(const jpeg_decompress_struct* info, const OutputPlan& plan, int bitCount,
                       uint8_t kind) {
    FilterParams filter;
    filter.srcHeight = static_cast<int>(info->output_height);
    filter.srcWidth = static_cast<int>(info->output_width);
    filter.scaleX = plan.scaleX;
    filter.scaleY = plan.scaleY;
    filter.srcShiftX = plan.shift;
    filter.srcShiftY = plan.shift;
    filter.presetDstWidth = plan.dstWidth;
    filter.presetDstHeight = plan.dstHeight;
    filter.srcBpp = static_cast<uint8_t>(bitCount);
    filter.dstBpp = 24;
    filter.kind = kind;
    return filter;
}

// One output row; its time goes to the trace when the trace is on.
void ProcessRowTraced(FilterParams& filter, uint8_t* row) {
    if (!ImgTraceEnabled()) {
        filter_process_block(&filter, row);
        return;
    }
    const auto started = std::chrono::steady_clock::now();
    filter_process_block(&filter, row);
    const auto taken = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    ImgTrace("processed : %d", static_cast<int>(taken.count()));
}

bool HasUsableColourMap(j_decompress_ptr info) {
    return info->quantize_colors && info->colormap != nullptr &&
           (!info->buffered_image || info->two_pass_quantize);
}

}  // namespace

TJpegImg::TJpegImg() = default;

TJpegImg::~TJpegImg() = default;

void TJpegImg::BuildPalette(const jpeg_decompress_struct* info, RgbQuad* palette) {
    if (info == nullptr || palette == nullptr || info->colormap == nullptr) {
        return;
    }
    const bool grey = info->out_color_space == JCS_GRAYSCALE;
    const int count = info->actual_number_of_colors < kPaletteEntries
                          ? info->actual_number_of_colors
                          : kPaletteEntries;
    for (int i = 0; i < count; ++i) {
        palette[i].rgbBlue = info->colormap[0][i];
        palette[i].rgbGreen = grey ? info->colormap[0][i] : info->colormap[1][i];
        palette[i].rgbRed = grey ? info->colormap[0][i] : info->colormap[2][i];
    }
}

void TJpegImg::LoadFromFile(const std::string& name) {
    TImgCtrl::LoadFromFile(name);
    libraryDenominator_ = 1;
    RunDecodeFrame(name, [this, &name] { Decode(name); });
}

void TJpegImg::Decode(const std::string& name) {
    FilePtr file(std::fopen(name.c_str(), "rb"));
    if (!file) {
        throw TImgDecodeError{ImgError::OpenFailed};
    }
    JpegFileSource source(file.get());
    JpegDecompressor jpeg(AbortFlag());
    j_decompress_ptr info = jpeg.Info();
    RunStep(jpeg, [&] {
        jpeg.Create();
        source.Attach(info);
        jpeg_read_header(info, TRUE);
    });
    if (!JpegBlocksBacked(JpegBlockCount(*info), JpegFileBytes(file.get()))) {
        throw TImgDecodeError{ImgError::Unknown};
    }
    height_ = static_cast<int>(info->image_height);
    width_ = static_cast<int>(info->image_width);
    DoProgress(0, 0, TImgEvent::HeaderRead);

    const OutputPlan plan = PlanOutput(width_, height_, DisplayCoeff(), libraryScaling_);
    const SampleLayout layout = ChooseOutput(info);
    bitCount_ = layout == SampleLayout::Grey ? 8 : 24;
    info->scale_num = 1;
    info->scale_denom = static_cast<unsigned>(plan.denominator);
    libraryDenominator_ = plan.denominator;
    ReserveLibraryMemory(info);
    RunStep(jpeg, [&] { jpeg_start_decompress(info); });

    FilterParams filter = FilterFor(info, plan, bitCount_, FilterKind());
    const FilterGuard filterGuard = OpenFilteredPicture(filter);
    RgbQuad palette[kPaletteEntries] = {};
    if (HasUsableColourMap(info)) {
        BuildPalette(info, palette);
        filter.palette = palette;
        filter.paletteSize = kPaletteEntries;
    }
    DecodeRows(jpeg, filter, layout == SampleLayout::Cmyk);
}

// A file of several scans keeps every coefficient of the picture until its last scan, in
// buffers the library makes when it starts; they are counted against the budget first, and
// the library may take no more than they and what the budget leaves.
void TJpegImg::ReserveLibraryMemory(jpeg_decompress_struct* info) {
    const uint64_t wholeImage =
        jpeg_has_multiple_scans(info) ? JpegBlockCount(*info) * sizeof(JBLOCK) : 0;
    ReserveMemory(wholeImage);
    const auto cap = static_cast<uint64_t>(kJpegMaxLibraryMemory);
    info->mem->max_memory_to_use =
        static_cast<long>(std::min(cap, wholeImage + std::min(cap, MemoryLeft())));
}

// The picture fills from its top row, the last row of the bottom-up block, downwards; a
// progress event follows every DisplayScanlines() rows.
void TJpegImg::DecodeRows(JpegDecompressor& jpeg, FilterParams& filter, bool convertCmyk) {
    j_decompress_ptr info = jpeg.Info();
    std::vector<uint8_t> cmykRow;
    if (convertCmyk) {
        cmykRow.resize(static_cast<size_t>(info->output_width) * 4);
    }
    uint8_t* cmykTarget = convertCmyk ? cmykRow.data() : nullptr;
    MakeRowsTopDown([&](uint8_t* row) {
        RunStep(jpeg, [&] { FeedRow(info, filter, row, cmykTarget); });
        ProcessRowTraced(filter, row);
    });
}
