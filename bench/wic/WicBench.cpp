// Decodes a 2048 x 1536 colour WIC file (5 levels, written by the test encoder from the
// photo-like picture every image benchmark decodes, with the grain that makes its entropy
// data about as dense as a camera's, bench::kPhotoGrain; the coefficients are exact to the
// integer, so the file is near lossless) with TWicImg,
// for a 300 x 200 image panel and at full size, against libpng decoding a PNG of the same
// picture (default compression, written by libpng) into blue, green, red rows at full
// size. Ours: the whole LoadFromFile (file read, arithmetic decoding of the three colour
// planes, inverse wavelets, the grey and the colour pass). Reference: opening the file,
// png_read_info, png_read_image, png_read_end. One thread on each side, alternating runs.
// Ends with
//   ratio <ours at full size / png at full size>

#include <png.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Components/ImgPanel/PanelGeometry.h"
#include "Components/ImgPanel/WicImg.h"
#include "bench/common/BenchPicture.h"
#include "bench/common/BenchTiming.h"
#include "tests/Components/ImgPanel/WicTestEncoder.h"

namespace {

constexpr int kWidth = 2048;
constexpr int kHeight = 1536;
constexpr int kLevels = 5;
constexpr int kRepetitions = 9;
constexpr int kPanelWidth = 300;
constexpr int kPanelHeight = 200;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

bool WritePng(const std::string& path, const std::vector<uint8_t>& rgb) {
    FilePtr file(std::fopen(path.c_str(), "wb"));
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!file || info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < kHeight; ++y) {
        png_write_row(png, &rgb[static_cast<size_t>(y) * kWidth * 3]);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

// The benchmarks' photo-like picture, red, green, blue rows top first.
std::vector<uint8_t> BenchPicture() {
    std::vector<uint8_t> rgb(static_cast<size_t>(kWidth) * kHeight * 3);
    uint32_t seed = testpicture::kPhotoSeed;
    for (int y = 0; y < kHeight; ++y) {
        testpicture::PhotoRow(y, kWidth, kHeight, bench::kPhotoGrain,
                              &rgb[static_cast<size_t>(y) * kWidth * 3], seed);
    }
    return rgb;
}

// Returns a byte of the result so the work cannot be optimised away (0 on failure).
uint8_t DecodePng(const std::string& path) {
    FilePtr file(std::fopen(path.c_str(), "rb"));
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!file || info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return 0;
    }
    png_init_io(png, file.get());
    png_read_info(png, info);
    png_set_bgr(png);
    png_read_update_info(png, info);
    const size_t stride = png_get_rowbytes(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    std::vector<uint8_t> pixels(stride * height);
    std::vector<png_bytep> rows(height);
    for (png_uint_32 y = 0; y < height; ++y) {
        rows[y] = pixels.data() + y * stride;
    }
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return pixels[stride * (height / 2)];
}

bool DecodeWic(TWicImg& decoder, const std::string& path, double coefficient) {
    decoder.OnProgress = [coefficient](TImgCtrl* sender, PackedDib, int, int, TImgEvent e) {
        if (e == TImgEvent::HeaderRead) {
            sender->SetDisplayCoeff(coefficient);
        }
    };
    decoder.LoadFromFile(path);
    return decoder.ErrorCode() == 0;
}

long FileSize(const std::string& path) {
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) {
        return -1;
    }
    return std::ftell(file.get());
}

}  // namespace

int main() {
    bench::ScratchFolder folder;
    const std::string wicPath = folder.File("picture.wic");
    const std::string pngPath = folder.File("picture.png");
    const std::vector<uint8_t> rgb = BenchPicture();
    if (!folder.Ok() ||
        !wictest::WriteFile(wicPath, wictest::EncodeWic(wictest::TransformPicture(
                                         rgb, kWidth, kHeight, kLevels))) ||
        !WritePng(pngPath, rgb)) {
        std::fprintf(stderr, "cannot write the benchmark pictures\n");
        return 1;
    }
    const FrameGeometry panel{kPanelWidth, kPanelHeight, 0, FrameBorderOf(ftLowered), -1.0};
    const double panelCoefficient = CalcFrameRect(panel, kWidth, kHeight).coefficient;
    std::printf("picture %dx%d, %d levels; wic %ld bytes, png %ld bytes\n", kWidth, kHeight,
                kLevels, FileSize(wicPath), FileSize(pngPath));

    std::vector<double> panelMs, fullMs, pngMs;
    unsigned sink = 0;
    for (int i = 0; i < kRepetitions + 1; ++i) {  // the first round only warms up
        TWicImg forPanel, full;
        bool ok = true;
        const double a = bench::TimeMilliseconds(
            [&] { ok = DecodeWic(forPanel, wicPath, panelCoefficient) && ok; });
        const double b = bench::TimeMilliseconds([&] { ok = DecodeWic(full, wicPath, 1.0) && ok; });
        const double c = bench::TimeMilliseconds([&] { sink += DecodePng(pngPath); });
        if (!ok) {
            std::fprintf(stderr, "decode failed: %lu %lu\n", forPanel.ErrorCode(),
                         full.ErrorCode());
            return 1;
        }
        if (i > 0) {
            panelMs.push_back(a), fullMs.push_back(b), pngMs.push_back(c);
        }
        if (i == 0) {
            std::printf("panel output %dx%d\n", forPanel.OutputWidth(), forPanel.OutputHeight());
        }
    }
    const double full = bench::Median(fullMs), png = bench::Median(pngMs);
    std::printf("wic_panel_ms %.2f\nwic_full_ms %.2f\npng_full_ms %.2f\nchecksum %u\n",
                bench::Median(panelMs), full, png, sink);
    std::printf("ratio %.3f\n", full / png);
    return 0;
}
