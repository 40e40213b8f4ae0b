#pragma once
// Test fixtures made at run time: pictures written as JPEG files with libjpeg's own
// compressor, a reference decode with libjpeg, and a scratch folder that removes itself.

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

    uint8_t* At(int x, int y) {
        return &samples[(static_cast<size_t>(y) * width + x) * components];
    }
    const uint8_t* At(int x, int y) const {
        return &samples[(static_cast<size_t>(y) * width + x) * components];
    }
};

Picture Solid(int width, int height, uint8_t r, uint8_t g, uint8_t b);
Picture SolidGrey(int width, int height, uint8_t level);
// Smooth colour ramps: what photographs mostly are.
Picture Gradient(int width, int height);
// Detail at every scale: ramps, stripes of several widths and a noise texture.
Picture Detailed(int width, int height, uint32_t seed);
// What a photograph looks like up close: soft shapes with edges, shading and a fine
// texture of low amplitude.
Picture PhotoLike(int width, int height, uint32_t seed);
// Top half one colour, bottom half another.
Picture Halves(int width, int height, const uint8_t top[3], const uint8_t bottom[3]);

struct WriteOptions {
    int quality = 95;
    bool progressive = false;
};
// Writes the picture; CMYK pictures are written as Adobe-style CMYK files.
void WriteJpeg(const std::string& path, const Picture& picture, WriteOptions options = {});

// libjpeg's own decode at 1/denominator of the size, blue-green-red (grey for grey files),
// top row first.
Picture DecodeReference(const std::string& path, int denominator = 1);

// A folder under the temporary directory, removed with its content at the end of scope.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::string& path);

}  // namespace testjpeg
