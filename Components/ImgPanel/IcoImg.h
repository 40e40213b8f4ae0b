#pragma once
// The icon decoder of the image panel (format code 5: an icon or cursor directory).
//
// Shows the first image of the file at its own size and bit depth, without resampling:
// the picture has the image's bit count and, up to 8 bits, its palette. The transparency
// mask is not part of the picture. Runs on the loader thread like every decoder.

#include <cstdint>
#include <string>

#include "Components/ImgPanel/ImgCtrl.h"

class DecoderFile;

class TIcoImg : public TImgCtrl {
  public:
    TIcoImg();
    ~TIcoImg() override;

    void LoadFromFile(const std::string& name) override;

    // Images the file's directory names; set by each load once the directory is read.
    int IconCount() const { return iconCount_; }

    // Where the first image is in the file, as its directory entry gives it.
    struct Entry {
        int width = 0;   // 0 in the file stands for 256
        int height = 0;  // likewise
        uint32_t bytes = 0;
        uint32_t offset = 0;
    };

  protected:
    // Finished reports (0, height): no strips come before it, so it names the whole picture.
    std::pair<int, int> FinishedRows() const override { return {0, height_}; }

  private:
    void Decode(const std::string& name);
    void DecodeBitmapEntry(DecoderFile& file, const Entry& entry, const uint8_t* start);
    // Entries stored as PNG streams (usual for 256 x 256 images) are decoded by the PNG
    // decoder over the entry's bytes, at the stream's own size and depth.
    void DecodePngEntry(const std::string& name, const DecoderFile& file, const Entry& entry);

    int iconCount_ = 0;
};
