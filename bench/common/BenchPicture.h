#pragma once
// The picture the image benchmarks decode: a 24-megapixel photo-like JPEG written with
// libjpeg, in a scratch folder that removes itself, and the decode a program would write
// with the library directly (the file read into memory, decoded from there), which the
// benchmarks hold our loaders against.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

#include "tests/common/PhotoPicture.h"

namespace bench {

inline constexpr int kPictureWidth = 6000;
inline constexpr int kPictureHeight = 4000;

// The grain of the benchmark pictures (testpicture::PhotoRow): about as dense in entropy
// data as a camera's.
inline constexpr int kPhotoGrain = 16;

// Writes the picture (quality 92, baseline or progressive); false when the file cannot be
// written.
bool WriteBenchJpeg(const std::string& path, bool progressive);

// Writes the same picture as a binary PPM (8-bit RGB), for encoders that read PNM files;
// false when the file cannot be written.
bool WriteBenchPpm(const std::string& path);

class PixelBuffer;

// The whole file read into memory with one fread, as a plain program would; empty when it
// cannot be read.
std::vector<uint8_t> ReadWholeFile(const std::string& path);

// Starts libjpeg's decode of the JPEG in bytes from memory (jpeg_mem_src) at 1/denominator
// into blue, green, red scanlines, with the library's standard error manager in errors. The
// caller reads the scanlines and destroys info; bytes must outlive the decode.
void StartMemoryDecode(jpeg_decompress_struct& info, jpeg_error_mgr& errors,
                       const std::vector<uint8_t>& bytes, int denominator);

// Reads the file into memory (ReadWholeFile) and decodes it from there (jpeg_mem_src) with
// libjpeg at 1/denominator into blue, green, red rows of one buffer (a PixelBuffer), padded
// to four bytes and bottom row first as a bitmap's. Returns a byte of the result so that the
// work cannot be optimised away (0 when the file cannot be read). The buffer is freed before
// returning, unless keep is given: then it goes there, for a caller whose own side keeps its
// pictures (or compares them).
uint8_t ReferenceDecode(const std::string& path, int denominator,
                        std::unique_ptr<PixelBuffer>* keep = nullptr);

// The reference decode's pixel buffer: a fresh anonymous mapping with no advice, as the
// program's picture allocator makes for a decoded picture, so that a ratio compares
// decoding and not the way memory is asked for. Bytes() is null when there is no memory.
class PixelBuffer {
  public:
    explicit PixelBuffer(size_t size);
    ~PixelBuffer();
    PixelBuffer(const PixelBuffer&) = delete;
    PixelBuffer& operator=(const PixelBuffer&) = delete;
    uint8_t* Bytes() const { return bytes_; }
    size_t Size() const { return bytes_ != nullptr ? mapped_ : 0; }

  private:
    void* base_ = nullptr;
    size_t mapped_ = 0;
    uint8_t* bytes_ = nullptr;
};

// True when the `bytes` bytes at bits are the reference buffer's first bytes.
bool SameBytes(const uint8_t* bits, size_t bytes, const PixelBuffer& reference);

// A fresh folder under the system's temporary folder, removed with all it holds however
// the run ends.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    bool Ok() const { return !path_.empty(); }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Writes the baseline picture (WriteBenchJpeg) as `name` in folder; its path, or empty after
// a message on stderr when the folder or the file could not be made.
std::string WriteBenchJpegIn(const ScratchFolder& folder, const std::string& name);

}  // namespace bench
