#pragma once
// The GIF decoder of the image panel (format code 3, first bytes "GIF8").
//
// Reads every image of the file with giflib into one 8-bit picture of the logical screen
// (grown to hold the first image when the screen is smaller), each image at its own place
// and clipped to the picture. The palette is the colour map of the first image and of every
// later one that covers the whole picture; a smaller later image is drawn in the nearest
// palette colours, so what lies around it keeps its own. No resampling: the panel stretches
// the picture when it paints. Of the extensions only the graphic control block is used:
// transparent pixels keep what lies below them (the screen's background or earlier images)
// and an image to be restored to the background, or to what it covered, is so before the
// next one is drawn: an animation stored as changes ends on its true last picture (no
// timing).
// Runs on the loader thread.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "Components/ImgPanel/ImgCtrl.h"

struct GifFileType;

class TGifImg : public TImgCtrl {
  public:
    TGifImg();
    ~TGifImg() override;

    void LoadFromFile(const std::string& name) override;

  private:
    void Decode(const std::string& name);
    // Makes the picture for the screen (and the first image, when given), fills it with the
    // background index and reports the header. The number of colours is fixed here, before
    // any pixel is placed, so the pixel rows never move.
    void CreateCanvas(GifFileType* gif, bool withImage);
    // Sets the palette from the current image's colour map and builds the index map that
    // keeps every pixel inside the palette.
    void TakeColourMap(GifFileType* gif);
    // An image that leaves part of the picture uncovered keeps the palette the rest is
    // drawn in: its colours are drawn as the nearest entries.
    void MapIntoPalette(GifFileType* gif);
    // The first image and any image that covers the whole picture bring their own palette.
    void DrawImage(GifFileType* gif, bool first);
    // Decodes the next line of the current image and copies it into screen row y from
    // column left, clipped to the picture.
    void DrawLine(GifFileType* gif, int left, int y);
    // What the previous image's control block asked for once it has been shown: its area
    // cleared to the background, or given back what it covered (saved by SaveArea).
    void DisposePrevious();
    void SaveArea();
    // Calls rowPart(first byte, byte count) for each row of the previous image's area
    // within the picture.
    template <class RowPart>
    void ForEachRowOfPrevious(const RowPart& rowPart);

    uint64_t fileBytes_ = 0;
    uint32_t coloursUsed_ = 0;
    uint8_t background_ = 0;
    int transparent_ = -1;        // the current image's transparent index, -1 for none
    int disposal_ = 0;            // of the previous image, as its control block gave it
    std::vector<uint8_t> saved_;  // what the previous image covered, when to be restored
    struct Area {
        int left = 0, top = 0, width = 0, height = 0;
    } previous_;  // the last image drawn
    std::array<uint8_t, 256> indexMap_{};
    std::vector<uint8_t> line_;
};
