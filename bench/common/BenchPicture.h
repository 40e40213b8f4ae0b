#pragma once
// The picture the image benchmarks decode: a 24-megapixel photo-like JPEG written with
// libjpeg, in a scratch folder that removes itself, and the decode a program would write
// with the library directly, which the benchmarks hold our loaders against.

#include <cstdint>
#include <string>

namespace bench {

inline constexpr int kPictureWidth = 6000;
inline constexpr int kPictureHeight = 4000;

// Writes the picture (quality 92, baseline or progressive); false when the file cannot be
// written.
bool WriteBenchJpeg(const std::string& path, bool progressive);

// Writes the same picture as a binary PPM (8-bit RGB), for encoders that read PNM files;
// false when the file cannot be written.
bool WriteBenchPpm(const std::string& path);

// Decodes the file with libjpeg at 1/denominator into blue, green, red rows of one buffer,
// top row first. Returns a byte of the result so that the work cannot be optimised away
// (0 when the file cannot be opened).
uint8_t ReferenceDecode(const std::string& path, int denominator);

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

}  // namespace bench
