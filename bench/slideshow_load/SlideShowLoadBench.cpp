// Times loading a series of 36 photo-like pictures of 6000 x 4000 into the slideshow
// control (decode, thumbnails, progress) at each quality level, against libjpeg decoding
// the same 36 files at the same scale. The two alternate so both see the same machine
// state. Prints the median of each level and ends with the worst ratio:
//   ratio <ours / reference>

#include <stdlib.h>

#include <QApplication>
#include <QStringList>
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

#include "app/SlideShow/SlideShow.h"
#include "app/SlideShow/SlideShowRules.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr int kPictures = 36;
constexpr int kRepetitions = 3;

uint32_t NextRandom(uint32_t& seed) {
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    return seed;
}

// Soft shapes, shading and a fine grain: entropy data about as dense as a camera's.
void PhotoRow(int y, std::vector<uint8_t>& rgb, uint32_t& seed) {
    const double fy = double(y) / kHeight;
    for (int x = 0; x < kWidth; ++x) {
        const double fx = double(x) / kWidth;
        const int grain = static_cast<int>(NextRandom(seed) & 15) - 8;
        const double body = std::cos(fx * 7.0 - fy * 3.0) * std::sin(fy * 8.0 + fx * 2.0);
        const int values[3] = {static_cast<int>(120 + 100 * body + 20 * fy) + grain,
                               static_cast<int>(105 + 60 * std::cos(fx * 19.0 - fy * 13.0)) + grain,
                               static_cast<int>(90 + 70 * fx - 50 * body) + grain};
        for (int c = 0; c < 3; ++c) {
            rgb[size_t(x) * 3 + c] = static_cast<uint8_t>(std::clamp(values[c], 0, 255));
        }
    }
}

bool WritePhoto(const std::string& path) {
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
    uint32_t seed = 88172645u;
    for (int y = 0; y < kHeight; ++y) {
        PhotoRow(y, row, seed);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return std::fclose(file) == 0;
}

// A direct decode with the library: blue, green, red rows into a buffer of its own.
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

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <class Work>
double Milliseconds(const Work& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    const auto stop = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::milli>(stop - start).count();
}

struct TempFolder {
    std::filesystem::path path;
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    std::string pattern = (std::filesystem::temp_directory_path() / "orvane-load-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    TempFolder folder{pattern};
    const std::filesystem::path first = folder.path / "photo01.jpg";
    if (!WritePhoto(first.string())) {
        std::fprintf(stderr, "cannot write %s\n", first.c_str());
        return 1;
    }
    QStringList series;
    std::vector<std::string> paths;
    for (int i = 1; i <= kPictures; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "photo%02d.jpg", i);
        const std::filesystem::path path = folder.path / name;
        if (i > 1) {
            std::filesystem::copy_file(first, path);
        }
        paths.push_back(path.string());
        series.append(QString::fromStdString(path.string()));
    }
    std::printf("%d pictures of %d x %d, %ju bytes each, median of %d runs\n", kPictures, kWidth,
                kHeight, static_cast<uintmax_t>(std::filesystem::file_size(first)), kRepetitions);

    TSlideShow show(nullptr, false, kRotateNone, nullptr);
    show.resize(1024, 700);
    uint32_t sink = 0;
    double worst = 0;
    // Levels to run: all by default, or those named on the command line.
    std::vector<int> levels;
    for (int i = 1; i < argc; ++i) {
        levels.push_back(std::atoi(argv[i]));
    }
    if (levels.empty()) {
        levels = {0, 1, 2, 3};
    }
    for (int level : levels) {
        const int denominator = slideshow::OptiToQuality(level);
        show.Optimization = level;
        std::vector<double> ours;
        std::vector<double> reference;
        for (int run = 0; run < kRepetitions; ++run) {
            reference.push_back(Milliseconds([&] {
                for (const std::string& path : paths) {
                    sink += ReferenceDecode(path, denominator);
                }
            }));
            show.Clear();
            ours.push_back(Milliseconds([&] { show.SetImages(series); }));
            sink += static_cast<uint32_t>(show.Count());
        }
        show.Clear();
        const double ratio = Median(ours) / Median(reference);
        worst = std::max(worst, ratio);
        std::printf("level %d (1/%d)  slideshow %9.1f ms  libjpeg %9.1f ms  ratio %.3f\n", level,
                    denominator, Median(ours), Median(reference), ratio);
    }
    std::printf("(checksum %u)\n", sink);
    std::printf("ratio %.3f\n", worst);
    return 0;
}
