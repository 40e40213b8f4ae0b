#pragma once
// Fixtures made at run time: pictures written as JPEG files by libjpeg, and a scratch folder
// that removes itself.

#include <cstdint>
#include <string>
#include <vector>

namespace testjpeg {

// Samples top row first, `components` bytes a pixel: 1 grey, 3 red-green-blue, 4 CMYK.
struct Picture {
    int width = 0;
    int height = 0;
    int components = 3;
    std::vector<uint8_t> samples;

    uint8_t* At(int x, int y) { return &samples[(size_t(y) * width + x) * components]; }
    const uint8_t* At(int x, int y) const { return &samples[(size_t(y) * width + x) * components]; }
};

Picture Solid(int width, int height, uint8_t r, uint8_t g, uint8_t b);
// Smooth colour ramps (red grows rightwards, green downwards); when noisy, with stripes,
// a hard-edged disc and a fine noise texture on top.
Picture Ramps(int width, int height, bool noisy = false);

// CMYK pictures are written as Adobe-style CMYK files.
void WriteJpeg(const std::string& path, const Picture& picture);

class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::string& path);

}  // namespace testjpeg
