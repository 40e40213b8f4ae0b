#include "tests/Components/ImgPanel/TestJpeg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <jpeglib.h>

namespace testjpeg {

namespace {

// Fixtures are made from valid pictures only, so the library's default error handling
// (which ends the process) never fires; a failure to open a file is still reported.
std::FILE* OpenOrThrow(const std::string& path, const char* mode) {
    std::FILE* file = std::fopen(path.c_str(), mode);
    if (file == nullptr) {
        throw std::runtime_error("cannot open " + path);
    }
    return file;
}

uint32_t NextRandom(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

}  // namespace

Picture Solid(int width, int height, uint8_t r, uint8_t g, uint8_t b) {
    Picture p{width, height, 3, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3)};
    for (size_t i = 0; i < p.samples.size(); i += 3) {
        p.samples[i] = r;
        p.samples[i + 1] = g;
        p.samples[i + 2] = b;
    }
    return p;
}

Picture SolidGrey(int width, int height, uint8_t level) {
    return Picture{width, height, 1,
                   std::vector<uint8_t>(static_cast<size_t>(width) * height, level)};
}

Picture Gradient(int width, int height) {
    Picture p = Solid(width, height, 0, 0, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* px = p.At(x, y);
            px[0] = static_cast<uint8_t>(255 * x / std::max(1, width - 1));
            px[1] = static_cast<uint8_t>(255 * y / std::max(1, height - 1));
            px[2] = static_cast<uint8_t>((px[0] + 2 * px[1]) / 3);
        }
    }
    return p;
}

Picture Detailed(int width, int height, uint32_t seed) {
    Picture p = Gradient(width, height);
    uint32_t state = seed;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* px = p.At(x, y);
            const int stripe = ((x / 7) + (y / 13)) % 2 ? 40 : -40;
            const int noise = static_cast<int>(NextRandom(state) % 61) - 30;
            for (int c = 0; c < 3; ++c) {
                px[c] = static_cast<uint8_t>(std::clamp(px[c] + stripe / (c + 1) + noise, 0, 255));
            }
        }
    }
    return p;
}

Picture PhotoLike(int width, int height, uint32_t seed) {
    Picture p = Gradient(width, height);
    uint32_t state = seed;
    const double fx = 6.2831853 / width, fy = 6.2831853 / height;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* px = p.At(x, y);
            const double shade = 40 * std::sin(3 * fx * x + 2 * fy * y) * std::cos(5 * fy * y);
            // Two shapes with hard edges.
            const double dx = x - 0.3 * width, dy = y - 0.6 * height;
            const bool disc = dx * dx + dy * dy < 0.04 * width * width;
            const bool box =
                x > 0.6 * width && x < 0.85 * width && y > 0.2 * height && y < 0.5 * height;
            const int noise = static_cast<int>(NextRandom(state) % 13) - 6;
            for (int c = 0; c < 3; ++c) {
                double v = px[c] + shade + noise;
                if (disc) {
                    v = 200 - 60 * c + noise;
                } else if (box) {
                    v = 30 + 50 * c + shade / 2 + noise;
                }
                px[c] = static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
            }
        }
    }
    return p;
}

Picture Halves(int width, int height, const uint8_t top[3], const uint8_t bottom[3]) {
    Picture p = Solid(width, height, top[0], top[1], top[2]);
    for (int y = height / 2; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::copy(bottom, bottom + 3, p.At(x, y));
        }
    }
    return p;
}

void WriteJpeg(const std::string& path, const Picture& picture, WriteOptions options) {
    std::FILE* file = OpenOrThrow(path, "wb");
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(picture.width);
    info.image_height = static_cast<JDIMENSION>(picture.height);
    info.input_components = picture.components;
    info.in_color_space = picture.components == 1   ? JCS_GRAYSCALE
                          : picture.components == 4 ? JCS_CMYK
                                                    : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, options.quality, TRUE);
    if (options.progressive) {
        jpeg_simple_progression(&info);
    }
    jpeg_start_compress(&info, TRUE);
    const size_t rowBytes = static_cast<size_t>(picture.width) * picture.components;
    while (info.next_scanline < info.image_height) {
        auto* row = const_cast<JSAMPLE*>(picture.samples.data() + info.next_scanline * rowBytes);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
}

Picture DecodeReference(const std::string& path, int denominator) {
    std::FILE* file = OpenOrThrow(path, "rb");
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    info.scale_num = 1;
    info.scale_denom = static_cast<unsigned>(denominator);
    const bool grey = info.jpeg_color_space == JCS_GRAYSCALE;
    info.out_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_start_decompress(&info);
    Picture out{static_cast<int>(info.output_width),
                static_cast<int>(info.output_height),
                grey ? 1 : 3,
                {}};
    out.samples.resize(static_cast<size_t>(out.width) * out.height * out.components);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = out.At(0, static_cast<int>(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return out;
}

ScratchDir::ScratchDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "orvane-imgpanel-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a scratch folder");
    }
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace testjpeg
