#include "tests/Components/ImgPanel/TestJpeg.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <jpeglib.h>

namespace testjpeg {

Picture Solid(int width, int height, uint8_t r, uint8_t g, uint8_t b) {
    Picture p{width, height, 3, std::vector<uint8_t>(size_t(width) * height * 3)};
    for (size_t i = 0; i < p.samples.size(); i += 3) {
        p.samples[i] = r;
        p.samples[i + 1] = g;
        p.samples[i + 2] = b;
    }
    return p;
}

Picture Ramps(int width, int height, bool noisy) {
    Picture p = Solid(width, height, 0, 0, 0);
    uint32_t state = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int r = 255 * x / std::max(1, width - 1), g = 255 * y / std::max(1, height - 1);
            int rgb[3] = {r, g, (r + 2 * g) / 3};
            const int dx = x - width / 3, dy = y - height / 2;
            const bool disc = noisy && dx * dx + dy * dy < height * height / 16;
            state = state * 1664525u + 1013904223u;
            const int detail = noisy ? int(state >> 8) % 13 - 6 + ((x / 7 + y / 13) % 2) * 40 : 0;
            for (int c = 0; c < 3; ++c) {
                p.At(x, y)[c] = uint8_t(std::clamp(disc ? 220 - 90 * c : rgb[c] + detail, 0, 255));
            }
        }
    }
    return p;
}

void WriteJpeg(const std::string& path, const Picture& picture) {
    // Fixtures are made from valid pictures only, so the library's default error handling
    // (which ends the process) never fires; a failure to open the file is still reported.
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        throw std::runtime_error("cannot open " + path);
    }
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = JDIMENSION(picture.width);
    info.image_height = JDIMENSION(picture.height);
    info.input_components = picture.components;
    info.in_color_space = picture.components == 1   ? JCS_GRAYSCALE
                          : picture.components == 4 ? JCS_CMYK
                                                    : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        auto* row = const_cast<JSAMPLE*>(picture.At(0, int(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
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
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace testjpeg
