#include "bench/common/BenchPicture.h"

#include <stdlib.h>
#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

namespace bench {

bool WriteBenchJpeg(const std::string& path, bool progressive) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = kPictureWidth;
    info.image_height = kPictureHeight;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 92, TRUE);
    if (progressive) {
        jpeg_simple_progression(&info);
    }
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(kPictureWidth) * 3);
    uint32_t seed = testpicture::kPhotoSeed;
    for (int y = 0; y < kPictureHeight; ++y) {
        testpicture::PhotoRow(y, kPictureWidth, kPictureHeight, kPhotoGrain, row.data(), seed);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(file) == 0;
}

bool WriteBenchPpm(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    bool ok = std::fprintf(file, "P6\n%d %d\n255\n", kPictureWidth, kPictureHeight) > 0;
    std::vector<uint8_t> row(static_cast<size_t>(kPictureWidth) * 3);
    uint32_t seed = testpicture::kPhotoSeed;
    for (int y = 0; y < kPictureHeight && ok; ++y) {
        testpicture::PhotoRow(y, kPictureWidth, kPictureHeight, kPhotoGrain, row.data(), seed);
        ok = std::fwrite(row.data(), 1, row.size(), file) == row.size();
    }
    return std::fclose(file) == 0 && ok;
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return bytes;
    }
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long size = std::ftell(file);
        if (size > 0 && std::fseek(file, 0, SEEK_SET) == 0) {
            bytes.resize(static_cast<size_t>(size));
            if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
                bytes.clear();
            }
        }
    }
    std::fclose(file);
    return bytes;
}

void StartMemoryDecode(jpeg_decompress_struct& info, jpeg_error_mgr& errors,
                       const std::vector<uint8_t>& bytes, int denominator) {
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    info.scale_num = 1;
    info.scale_denom = static_cast<unsigned>(denominator);
    info.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&info);
}

uint8_t ReferenceDecode(const std::string& path, int denominator,
                        std::unique_ptr<PixelBuffer>* keep) {
    const std::vector<uint8_t> bytes = ReadWholeFile(path);
    if (bytes.empty()) {
        return 0;
    }
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    StartMemoryDecode(info, errors, bytes, denominator);
    // Rows padded to four bytes and stored bottom row first, as a bitmap's are.
    const size_t stride = (size_t{info.output_width} * 3 + 3) & ~size_t{3};
    auto pixels = std::make_unique<PixelBuffer>(stride * info.output_height);
    if (pixels->Bytes() == nullptr) {
        jpeg_destroy_decompress(&info);
        return 0;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels->Bytes() + stride * (info.output_height - 1 - info.output_scanline);
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    const uint8_t sample = pixels->Bytes()[stride * (info.output_height / 2)];
    if (keep != nullptr) {
        *keep = std::move(pixels);
    }
    return sample;
}

PixelBuffer::PixelBuffer(size_t size) {
    // A fresh anonymous mapping with no advice: the request the program's picture
    // allocator makes for a decoded picture.
    mapped_ = size;
    void* base = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
        mapped_ = 0;
        return;
    }
    base_ = base;
    bytes_ = static_cast<uint8_t*>(base);
}

PixelBuffer::~PixelBuffer() {
    if (base_ != nullptr) {
        munmap(base_, mapped_);
    }
}

bool SameBytes(const uint8_t* bits, size_t bytes, const PixelBuffer& reference) {
    return reference.Size() >= bytes && std::memcmp(bits, reference.Bytes(), bytes) == 0;
}

ScratchFolder::ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvane-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
        path_ = pattern;
    }
}

ScratchFolder::~ScratchFolder() {
    if (!path_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
}

std::string WriteBenchJpegIn(const ScratchFolder& folder, const std::string& name) {
    const std::string path = folder.File(name);
    if (!folder.Ok() || !WriteBenchJpeg(path, false)) {
        std::fprintf(stderr, "cannot write the benchmark picture\n");
        return std::string();
    }
    return path;
}

}  // namespace bench
