#pragma once
// The picture both image panel benchmarks decode: a 24-megapixel photo-like JPEG written
// with libjpeg, in a scratch folder that removes itself.

#include <string>

namespace bench {

inline constexpr int kPictureWidth = 6000;
inline constexpr int kPictureHeight = 4000;

// Writes the picture; false when the file cannot be written.
bool WriteBenchJpeg(const std::string& path, bool progressive);

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
