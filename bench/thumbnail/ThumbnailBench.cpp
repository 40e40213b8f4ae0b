// Decodes a 24-megapixel photo-like JPEG for a 300 x 200 image panel with TJpegImg (filter
// kind 12) against libjpeg's own 1/8 decode of the same file (the work of
// `djpeg -scale 1/8`, without writing the output), alternating the two so both see the
// same machine state.
// - ours: a TJpegImg's LoadFromFile as the panel's loader thread runs it: header, the
//   display coefficient set at the header event, the library's 1/8 decode and the filter
//   down to the panel's size;
// - reference: open, libjpeg's 1/8 decode into one buffer, finish, close. Prints the medians, how
// far the fast path strays from the full-size path, and ends with
//   ratio <ours / reference>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

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
    bench::ReferenceDecode(path, kReferenceDenominator);

    std::vector<double> ours, reference;
    unsigned sink = 0;
    for (int i = 0; i < kRepetitions; ++i) {
        TJpegImg decoder;
        bool decoded = false;
        ours.push_back(
            bench::TimeMilliseconds([&] { decoded = DecodeOurs(decoder, path, coefficient); }));
        if (!decoded) {
            std::fprintf(stderr, "decode failed: %lu\n", decoder.ErrorCode());
            return 1;
        }
        reference.push_back(bench::TimeMilliseconds(
            [&] { sink += bench::ReferenceDecode(path, kReferenceDenominator); }));
    }

    TJpegImg fast, full;
    full.SetLibraryScaling(false);
    DecodeOurs(fast, path, coefficient);
    DecodeOurs(full, path, coefficient);
    const double mad = MeanAbsoluteDifference(fast.Picture(), full.Picture());

    const double oursMs = bench::Median(ours), referenceMs = bench::Median(reference);
    std::printf("output %dx%d, library scale 1/%d\n", fast.OutputWidth(), fast.OutputHeight(),
                fast.LibraryScaleDenominator());
    std::printf("ours_ms %.2f\nreference_ms %.2f\n", oursMs, referenceMs);
    std::printf("mean_abs_diff_vs_full_size %.3f (limit 2)\n", mad);
    std::printf("checksum %u\n", sink);
    std::printf("ratio %.3f\n", oursMs / referenceMs);
    return 0;
}
