#pragma once
// The JPEG preview loader: decodes one JPEG file into a packed bitmap, reduced by the
// library's own scaling to 1/1, 1/2, 1/4 or 1/8 of its size. The slideshow uses it for
// every picture of a series; it runs on the calling thread, and only AbortLoading may
// be called from another one.

#include <atomic>
#include <functional>
#include <string>

#include "imaging/JpegError.h"
#include "imaging/PackedDib.h"

class TJpgImage;

// Decoder progress: sender, picture, first row, last row, stage (0 = picture made,
// 1 = a range of rows decoded, 2 = finished). Called on the decoding thread.
using TJpgProgressEvent =
    std::function<void(TJpgImage* sender, PackedDib picture, int first, int last, int stage)>;

class TJpgImage {
  public:
    TJpgImage() = default;
    TJpgImage(const TJpgImage&) = delete;
    TJpgImage& operator=(const TJpgImage&) = delete;

    // Decodes name at 1/denominator of its size (1, 2, 4 or 8). A file that cannot be
    // opened leaves no picture and raises nothing; every other failure (bad data, an
    // unsupported colour space, no memory, an abort, another denominator) raises EAbort
    // and leaves no picture. On success Picture() and FileName() are set.
    void LoadFromFile(const std::string& name, int denominator);

    // Stops the running decode at its next row, and every later one: the flag is never
    // cleared. Callable from any thread.
    void AbortLoading() { abort_.store(true, std::memory_order_relaxed); }

    // Calls OnProgress, when set, with this object and the current picture.
    void Progress(int first, int last, int stage);

    // Fills palette entries from the library's colour map, one per colour it actually
    // made (at most 256): grey output gives blue = green = red = row 0; colour output
    // takes blue from row 0, green from row 1, red from row 2. The reserved byte is left.
    static void BuildPalette(const jpeg_decompress_struct* info, RgbQuad* palette);

    int Height() const { return height_; }  // the JPEG's own size
    int Width() const { return width_; }
    int BitCount() const { return bitCount_; }          // 8 for greyscale, else 24
    int OutputHeight() const { return outputHeight_; }  // the picture's size
    int OutputWidth() const { return outputWidth_; }
    PackedDib Picture() const { return picture_.get(); }  // owned here; null when none
    // Hands the picture over to the caller, where a copy would only cost time; the object
    // keeps no picture afterwards.
    UniqueDib ReleasePicture() { return std::move(picture_); }
    const std::string& FileName() const { return fileName_; }  // last complete decode

    TJpgProgressEvent OnProgress;

  private:
    void Decode(std::FILE* file, int denominator);

    int height_ = 0;
    int width_ = 0;
    int bitCount_ = 0;
    int outputHeight_ = 0;
    int outputWidth_ = 0;
    std::atomic<bool> abort_{false};
    UniqueDib picture_;
    std::string fileName_;
};
