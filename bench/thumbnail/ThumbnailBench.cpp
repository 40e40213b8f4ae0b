// Decodes a 24-megapixel photo-like JPEG for a 300 x 200 image panel with TJpegImg (filter
// kind 12) against libjpeg's own 1/8 decode of the same file reduced the rest of the way by
// the same filter, alternating the two so both see the same machine state.
// - ours: a TJpegImg's LoadFromFile as the panel's loader thread runs it: header, the
//   display coefficient set at the header event, the library's 1/8 decode of the file
//   (read in blocks) and the filter down to the panel's size; destroyed with its picture;
// - reference: the file read into memory with one fread, libjpeg's 1/8 decode from there
//   (jpeg_mem_src, the work of `djpeg -scale 1/8`), each row streamed into the same area
//   filter with the same scales (the rest of the way from 1/8 to the panel's size) into a
//   24-bit picture, then freed.
// Both pictures are compared byte for byte once before the timing. Prints the medians, how
// far the fast path strays from the full-size path, and ends with
//   ratio <ours / reference>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Components/ImgPanel/Filters.h"
#include "Components/ImgPanel/JpegImg.h"
#include "Components/ImgPanel/PanelGeometry.h"
#include "bench/common/BenchPicture.h"
#include "bench/common/BenchTiming.h"

namespace {

constexpr int kRepetitions = 11;
constexpr int kPanelWidth = 300;
constexpr int kPanelHeight = 200;
constexpr int kReferenceDenominator = 8;  // what `djpeg -scale 1/8` asks the library for

// The coefficient the panel gives the decoder for this picture.
double PanelCoefficient() {
    const FrameGeometry panel{kPanelWidth, kPanelHeight, 0, FrameBorderOf(ftLowered), -1.0};
    return CalcFrameRect(panel, bench::kPictureWidth, bench::kPictureHeight).coefficient;
}

// Decodes like the panel's loader thread does; the decoder keeps the picture.
bool DecodeOurs(TJpegImg& decoder, const std::string& path, double coefficient) {
    decoder.OnProgress = [coefficient](TImgCtrl* sender, PackedDib, int, int, TImgEvent e) {
        if (e == TImgEvent::HeaderRead) {
            sender->SetDisplayCoeff(coefficient);
        }
    };
    decoder.SetFilterKind(12);
    decoder.LoadFromFile(path);
    return decoder.ErrorCode() == 0;
}

// libjpeg's 1/8 decode from memory, streamed into the area filter: the library's rows
// stand for 8 x 8 blocks, so the filter's scale is 8 times the coefficient and its pixel
// centres lie 7/16 of a pixel further on, and the output keeps the full-size path's size.
UniqueDib DecodeReference(const std::string& path, double coefficient) {
    const std::vector<uint8_t> bytes = bench::ReadWholeFile(path);
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    bench::StartMemoryDecode(info, errors, bytes, kReferenceDenominator);
    FilterParams filter;
    filter.srcWidth = static_cast<int>(info.output_width);
    filter.srcHeight = static_cast<int>(info.output_height);
    filter.srcBpp = filter.dstBpp = 24;
    filter.scaleX = filter.scaleY = static_cast<float>(coefficient * kReferenceDenominator);
    filter.srcShiftX = filter.srcShiftY =
        -static_cast<float>(kReferenceDenominator - 1) / (2.0f * kReferenceDenominator);
    filter.presetDstWidth =
        FilterOutputSize(static_cast<int>(info.image_width), static_cast<float>(coefficient));
    filter.presetDstHeight =
        FilterOutputSize(static_cast<int>(info.image_height), static_cast<float>(coefficient));
    filter.kind = 12;
    UniqueDib out;
    if (filter_open(&filter) == 0) {
        FilterGuard guard(filter);
        out.reset(DibCreate(filter.dstWidth, filter.dstHeight, 24));
        const uint32_t rowBytes = out ? DibRowBytes(out.get()) : 0;
        for (int y = 0; out && y < filter.dstHeight; ++y) {
            uint8_t* row = DibBits(out.get()) + size_t{rowBytes} * (filter.dstHeight - 1 - y);
            FilterNextRow(filter, row, [&info](uint8_t* slot) {
                JSAMPROW target = slot;
                jpeg_read_scanlines(&info, &target, 1);
            });
        }
    }
    // The filter may leave the last rows unread: the decompressor is destroyed, not finished.
    jpeg_destroy_decompress(&info);
    return out;
}

double MeanAbsoluteDifference(PackedDib a, PackedDib b) {
    const uint32_t rowBytes = DibRowBytes(a);
    double total = 0;
    for (int y = 0; y < DibHeight(a); ++y) {
        const uint8_t* ra = DibBits(a) + y * rowBytes;
        const uint8_t* rb = DibBits(b) + y * rowBytes;
        for (int i = 0; i < 3 * DibWidth(a); ++i) {
            total += std::abs(ra[i] - rb[i]);
        }
    }
    return total / (3.0 * DibWidth(a) * DibHeight(a));
}

}  // namespace

int main() {
    const bench::ScratchFolder folder;
    const std::string path = bench::WriteBenchJpegIn(folder, "photo24mp.jpg");
    if (path.empty()) {
        return 1;
    }
    const double coefficient = PanelCoefficient();
    std::printf("picture %dx%d, panel %dx%d, coefficient %.5f\n", bench::kPictureWidth,
                bench::kPictureHeight, kPanelWidth, kPanelHeight, coefficient);

    {
        TJpegImg first;
        const UniqueDib reference = DecodeReference(path, coefficient);
        if (!DecodeOurs(first, path, coefficient) || !reference ||
            DibWidth(reference.get()) != first.OutputWidth() ||
            DibHeight(reference.get()) != first.OutputHeight() ||
            std::memcmp(DibBits(first.Picture()), DibBits(reference.get()),
                        size_t{DibRowBytes(reference.get())} * first.OutputHeight()) != 0) {
            std::fprintf(stderr, "the two decodes differ (or one failed)\n");
            return 1;
        }
    }

    std::vector<double> ours, reference;
    unsigned sink = 0;
    for (int i = 0; i < kRepetitions; ++i) {
        bool decoded = false;
        ours.push_back(bench::TimeMilliseconds([&] {
            TJpegImg decoder;
            decoded = DecodeOurs(decoder, path, coefficient);
        }));
        if (!decoded) {
            std::fprintf(stderr, "decode failed\n");
            return 1;
        }
        reference.push_back(bench::TimeMilliseconds(
            [&] { sink += DibBits(DecodeReference(path, coefficient).get())[0]; }));
    }

    TJpegImg fast, full;
    full.SetLibraryScaling(false);
    DecodeOurs(fast, path, coefficient);
    DecodeOurs(full, path, coefficient);
    const double mad = MeanAbsoluteDifference(fast.Picture(), full.Picture());

    const double oursMs = bench::Median(ours), referenceMs = bench::Median(reference);
    std::printf("output %dx%d, library scale 1/%d, pictures equal\n", fast.OutputWidth(),
                fast.OutputHeight(), fast.LibraryScaleDenominator());
    std::printf("ours_ms %.2f\nreference_ms %.2f\n", oursMs, referenceMs);
    std::printf("mean_abs_diff_vs_full_size %.3f (limit 2)\n", mad);
    std::printf("checksum %u\n", sink);
    std::printf("ratio %.3f\n", oursMs / referenceMs);
    return 0;
}
