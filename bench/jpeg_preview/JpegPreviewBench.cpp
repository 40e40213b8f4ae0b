// Times the JPEG preview loader against a direct libjpeg decode of the same 24-megapixel
// photo-like JPEG (made here) at 1/1, 1/2, 1/4 and 1/8, alternating the two so both see
// the same machine state. Prints the median of each and ends with the worst ratio:
//   ratio <ours / reference>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "app/imaging/JpgImage.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr int kRepetitions = 11;

// Smooth shapes plus fine grain, so the entropy data is about as dense as a camera's.
void PhotoRow(int y, std::vector<uint8_t>& rgb, uint32_t& seed) {
    const double fy = double(y) / kHeight;
    for (int x = 0; x < kWidth; ++x) {
        const double fx = double(x) / kWidth;
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        const int grain = static_cast<int>(seed & 15) - 8;
        const double shape =
            std::sin(fx * 9.0 + std::cos(fy * 7.0) * 2.0) * std::cos(fy * 5.0 - fx * 3.0);
        const int r = static_cast<int>(128 + 90 * shape + 30 * fx) + grain;
        const int g = static_cast<int>(110 + 70 * std::sin(fx * 23.0 + fy * 17.0)) + grain;
        const int b = static_cast<int>(100 + 80 * fy - 40 * shape) + grain;
        rgb[size_t(x) * 3 + 0] = static_cast<uint8_t>(std::clamp(r, 0, 255));
        rgb[size_t(x) * 3 + 1] = static_cast<uint8_t>(std::clamp(g, 0, 255));
        rgb[size_t(x) * 3 + 2] = static_cast<uint8_t>(std::clamp(b, 0, 255));
    }
}

bool WritePhotoJpeg(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, file);
    c.image_width = kWidth;
    c.image_height = kHeight;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 92, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(size_t(kWidth) * 3);
    uint32_t seed = 2463534242u;
    for (int y = 0; y < kHeight; ++y) {
        PhotoRow(y, row, seed);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return std::fclose(file) == 0;
}

// What a program would write to decode the file with the library directly: blue, green,
// red rows into one buffer, top row first. Returns a byte of the result so that the work
// cannot be optimised away.
uint8_t ReferenceDecode(const std::string& path, int denominator) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return 0;
    }
    jpeg_decompress_struct d{};
    jpeg_error_mgr err{};
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_stdio_src(&d, file);
    jpeg_read_header(&d, TRUE);
    d.scale_num = 1;
    d.scale_denom = static_cast<unsigned>(denominator);
    d.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&d);
    const size_t stride = (size_t{d.output_width} * 3 + 3) & ~size_t{3};
    std::unique_ptr<uint8_t[]> pixels(new uint8_t[stride * d.output_height]);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = pixels.get() + stride * d.output_scanline;
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    std::fclose(file);
    return pixels[stride * (d.output_height / 2)];
}

uint8_t PreviewDecode(const std::string& path, int denominator) {
    TJpgImage image;
    image.LoadFromFile(path, denominator);
    return image.Picture() != nullptr ? DibBits(image.Picture())[0] : 0;
}

template <class Decode>
double Milliseconds(const Decode& decode, uint32_t& sink) {
    const auto start = std::chrono::steady_clock::now();
    sink += decode();
    const auto stop = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::milli>(stop - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Removes the benchmark's temporary folder however the run ends.
struct TempFolder {
    std::filesystem::path path;
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

}  // namespace

int main() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvane-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    TempFolder folder{pattern};
    const std::string path = (folder.path / "photo.jpg").string();
    if (!WritePhotoJpeg(path)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    std::printf("picture %d x %d, %ju bytes, median of %d runs each\n", kWidth, kHeight,
                static_cast<uintmax_t>(std::filesystem::file_size(path)), kRepetitions);

    uint32_t sink = 0;
    double worst = 0;
    for (int denominator : {1, 2, 4, 8}) {
        sink += PreviewDecode(path, denominator) + ReferenceDecode(path, denominator);  // warm
        std::vector<double> ours, reference;
        for (int i = 0; i < kRepetitions; ++i) {
            ours.push_back(Milliseconds([&] { return PreviewDecode(path, denominator); }, sink));
            reference.push_back(
                Milliseconds([&] { return ReferenceDecode(path, denominator); }, sink));
        }
        const double ratio = Median(ours) / Median(reference);
        worst = std::max(worst, ratio);
        std::printf("1/%d  preview loader %8.2f ms  direct libjpeg %8.2f ms  ratio %.3f\n",
                    denominator, Median(ours), Median(reference), ratio);
    }
    std::printf("(checksum %u)\n", sink);
    std::printf("ratio %.3f\n", worst);
    return 0;
}
