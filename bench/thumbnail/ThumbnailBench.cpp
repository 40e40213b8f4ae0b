// Decodes a 24-megapixel photo-like JPEG for a 300 x 200 image panel with TJpegImg (filter
// kind 12) against libjpeg's own 1/8 decode of the same file (the work of
// `djpeg -scale 1/8`, without writing the output), alternating the two so both see the
// same machine state. Prints the medians, how far the fast path strays from the
// full-size path, and ends with
//   ratio <ours / reference>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "Components/ImgPanel/JpegImg.h"
#include "Components/ImgPanel/PanelGeometry.h"
#include "bench/thumbnail/BenchPicture.h"

namespace {

constexpr int kRepetitions = 11;
constexpr int kPanelWidth = 300;
constexpr int kPanelHeight = 200;

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

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

// libjpeg at 1/8, rows into one buffer, as djpeg does before writing them out.
unsigned DecodeReference(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return 0;
    }
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    info.scale_num = 1;
    info.scale_denom = 8;
    info.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&info);
    const size_t rowBytes = static_cast<size_t>(info.output_width) * 3;
    std::vector<uint8_t> pixels(rowBytes * info.output_height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels.data() + info.output_scanline * rowBytes;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return pixels[pixels.size() / 2];
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
    bench::ScratchFolder folder;
    const std::string path = folder.File("photo24mp.jpg");
    if (!folder.Ok() || !bench::WriteBenchJpeg(path, false)) {
        std::fprintf(stderr, "cannot write the benchmark picture\n");
        return 1;
    }
    const double coefficient = PanelCoefficient();
    std::printf("picture %dx%d, panel %dx%d, coefficient %.5f\n", bench::kPictureWidth,
                bench::kPictureHeight, kPanelWidth, kPanelHeight, coefficient);

    TJpegImg warm;
    DecodeOurs(warm, path, coefficient);
    DecodeReference(path);

    std::vector<double> ours, reference;
    unsigned sink = 0;
    for (int i = 0; i < kRepetitions; ++i) {
        TJpegImg decoder;
        auto start = Clock::now();
        if (!DecodeOurs(decoder, path, coefficient)) {
            std::fprintf(stderr, "decode failed: %lu\n", decoder.ErrorCode());
            return 1;
        }
        ours.push_back(Milliseconds(Clock::now() - start));
        start = Clock::now();
        sink += DecodeReference(path);
        reference.push_back(Milliseconds(Clock::now() - start));
    }

    TJpegImg fast, full;
    full.SetLibraryScaling(false);
    DecodeOurs(fast, path, coefficient);
    DecodeOurs(full, path, coefficient);
    const double mad = MeanAbsoluteDifference(fast.Picture(), full.Picture());

    const double oursMs = Median(ours), referenceMs = Median(reference);
    std::printf("output %dx%d, library scale 1/%d\n", fast.OutputWidth(), fast.OutputHeight(),
                fast.LibraryScaleDenominator());
    std::printf("ours_ms %.2f\nreference_ms %.2f\n", oursMs, referenceMs);
    std::printf("mean_abs_diff_vs_full_size %.3f (limit 2)\n", mad);
    std::printf("checksum %u\n", sink);
    std::printf("ratio %.3f\n", oursMs / referenceMs);
    return 0;
}
