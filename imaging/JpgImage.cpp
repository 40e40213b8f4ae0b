#include "imaging/JpgImage.h"

#include <jerror.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/EAbort.h"
#include "imaging/JpegFileSource.h"
#include "imaging/JpegWork.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// Grey pictures become 8-bit pictures with this many palette entries; the remaining 20 of
// the 256 stay zero.
constexpr int kGreyColours = 236;

// What the library is asked to deliver, chosen from the file's colour space.
enum class Samples {
    Grey,          // quantised to kGreyColours palette indices
    Bgr,           // blue, green, red: the picture's own pixel order
    Cmyk,          // ink amounts; converted here, the library has no CMYK to BGR step
    InvertedCmyk,  // Adobe's files store 255 - ink
};

int ComponentsOf(Samples samples) {
    switch (samples) {
        case Samples::Grey:
            return 1;
        case Samples::Bgr:
            return 3;
        default:
            return 4;
    }
}

bool IsCmyk(Samples samples) {
    return ComponentsOf(samples) == 4;
}

bool IsSupportedDenominator(int denominator) {
    return denominator == 1 || denominator == 2 || denominator == 4 || denominator == 8;
}

// CMYK pictures with an Adobe marker come from Adobe's applications (or imitate them),
// which store inverted inks; YCCK exists only with that marker, and the library's YCCK to
// CMYK step keeps the inversion.
Samples ChooseSamples(const jpeg_decompress_struct& info) {
    switch (info.jpeg_color_space) {
        case JCS_GRAYSCALE:
            return Samples::Grey;
        case JCS_CMYK:
        case JCS_YCCK:
            return info.saw_Adobe_marker ? Samples::InvertedCmyk : Samples::Cmyk;
        default:
            return Samples::Bgr;  // the library refuses what it cannot convert
    }
}

void Configure(jpeg_decompress_struct& info, Samples samples, int denominator) {
    info.scale_num = 1;
    info.scale_denom = static_cast<unsigned>(denominator);
    switch (samples) {
        case Samples::Grey:
            info.out_color_space = JCS_GRAYSCALE;
            info.quantize_colors = TRUE;
            info.desired_number_of_colors = kGreyColours;
            break;
        case Samples::Bgr:
            info.out_color_space = JCS_EXT_BGR;
            break;
        default:
            info.out_color_space = JCS_CMYK;
            break;
    }
}

// Where decoded rows go: the picture is stored bottom row first, the library delivers the
// top row first, so the write position starts at the last stored row and moves back.
struct RowTarget {
    uint8_t* top;
    std::ptrdiff_t rowBytes;
    uint8_t* cmykRow;  // one row of four-byte samples before conversion; null unless CMYK
    bool inverted;
};

// Runs inside RunJpegStep: only trivially destructible locals. One row per read call, so
// the abort flag is looked at before every row (the library delivers one row per call at
// these settings anyway).
void ReadRows(j_decompress_ptr info, const RowTarget& target) {
    while (info->output_scanline < info->output_height) {
        JpegCheckAbort(reinterpret_cast<j_common_ptr>(info));
        uint8_t* const destination = target.top - info->output_scanline * target.rowBytes;
        JSAMPROW row = target.cmykRow != nullptr ? target.cmykRow : destination;
        if (jpeg_read_scanlines(info, &row, 1) != 1) {
            ERREXIT(info, JERR_INPUT_EOF);  // a stdio source never stalls; refuse to spin
        }
        if (target.cmykRow != nullptr) {
            JpegCmykToBgr(target.cmykRow, destination, info->output_width, target.inverted);
        }
    }
}

void Require(int outcome) {
    if (outcome != kJpegDone) {
        throw EAbort();
    }
}

bool HasColourMap(const jpeg_decompress_struct& info) {
    return info.quantize_colors && info.colormap != nullptr &&
           (!info.buffered_image || info.two_pass_quantize);
}

}  // namespace

void TJpgImage::LoadFromFile(const std::string& name, int denominator) {
    fileName_.clear();
    picture_.reset();
    height_ = width_ = bitCount_ = outputHeight_ = outputWidth_ = 0;
    if (!IsSupportedDenominator(denominator)) {
        throw EAbort();  // the library would scale by something else, even enlarge
    }
    UniqueFile file(std::fopen(name.c_str(), "rb"));
    if (!file) {
        return;
    }
    Decode(file.get(), denominator);
    fileName_ = name;
}

// The decompressor is destroyed before the file closes (declaration order in the caller),
// in every outcome; the picture is kept only when every row arrived.
void TJpgImage::Decode(std::FILE* file, int denominator) {
    JpegFileSource source(file);
    JpegDecompressor decoder(&abort_);
    j_decompress_ptr info = decoder.Info();
    Require(RunJpegStep(decoder, [&] {
        decoder.Create();
        source.Attach(info);
        jpeg_read_header(info, TRUE);
    }));
    if (!JpegBlocksBacked(JpegBlockCount(*info), JpegFileBytes(file))) {
        throw EAbort();  // far more picture than the file could hold honestly
    }
    height_ = static_cast<int>(info->image_height);
    width_ = static_cast<int>(info->image_width);
    const Samples samples = ChooseSamples(*info);
    Configure(*info, samples, denominator);
    bitCount_ = samples == Samples::Grey ? 8 : 24;
    Require(RunJpegStep(decoder, [&] { jpeg_start_decompress(info); }));
    outputHeight_ = static_cast<int>(info->output_height);
    outputWidth_ = static_cast<int>(info->output_width);
    if (info->output_components != ComponentsOf(samples)) {
        throw EAbort();  // rows of another width would overrun the picture's rows
    }

    UniqueDib picture(DibCreate(outputWidth_, outputHeight_, bitCount_));
    if (!picture) {
        throw EAbort();
    }
    if (HasColourMap(*info)) {
        BuildPalette(info, DibPalette(picture.get()));
    }
    const auto rowBytes = static_cast<std::ptrdiff_t>(DibRowBytes(picture.get()));
    std::vector<uint8_t> cmykRow(IsCmyk(samples) ? std::size_t(outputWidth_) * 4 : 0);
    const RowTarget target{DibBits(picture.get()) + rowBytes * (outputHeight_ - 1), rowBytes,
                           cmykRow.empty() ? nullptr : cmykRow.data(),
                           samples == Samples::InvertedCmyk};
    Require(RunJpegStep(decoder, [&] { ReadRows(info, target); }));

    // Every row is in: a complaint while reading past them (a missing end marker, say)
    // does not spoil the picture, so the outcome of the finish step is not asked.
    RunJpegStep(decoder, [&] { jpeg_finish_decompress(info); });
    picture_ = std::move(picture);
}

void TJpgImage::Progress(int first, int last, int stage) {
    if (OnProgress) {
        OnProgress(this, picture_.get(), first, last, stage);
    }
}

void TJpgImage::BuildPalette(const jpeg_decompress_struct* info, RgbQuad* palette) {
    const int count = std::min(info->actual_number_of_colors, 256);
    const bool grey = info->out_color_components < 3;
    JSAMPARRAY map = info->colormap;
    for (int i = 0; i < count; ++i) {
        palette[i].rgbBlue = map[0][i];
        palette[i].rgbGreen = grey ? map[0][i] : map[1][i];
        palette[i].rgbRed = grey ? map[0][i] : map[2][i];
    }
}
