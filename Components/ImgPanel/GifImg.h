#pragma once
// The GIF decoder of the image panel (format code 3, first bytes "GIF8").
//
// Reads every image of the file with giflib into one 8-bit picture of the logical screen
// (grown to hold the first image when the screen is smaller), each image at its own place
// and clipped to the picture. The palette is the colour map of the first image and of every
// later one that covers the whole picture; a later image whose colours the palette does not
// hold turns the picture into 24 bits, so every image keeps its exact colours (an 8-bit
// palette cannot hold two maps, and the nearest entry may be far off). No resampling: the
// panel stretches the picture when it paints. Of the extensions only the graphic control block is
// used: transparent pixels keep what lies below them (the screen's background or earlier images)
// and an image to be restored to the background, or to what it covered, is so before the
// next one is drawn: an animation stored as changes ends on its true last picture (no
// timing).
// Runs on the loader thread.

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "Components/ImgPanel/ImgCtrl.h"

struct GifFileType;

class TGifImg : public TImgCtrl {
  public:
    TGifImg();
    ~TGifImg() override;

    void LoadFromFile(const std::string& name) override;

  private:
    struct Bgr {
        uint8_t b = 0, g = 0, r = 0;
    };
    using Colours = std::array<Bgr, 256>;

    // The colour of every index of the current image: its map's entry, entry 0 for indices
    // past the map, a grey ramp when there is no map at all.
    static Colours ImageColours(GifFileType* gif);
    void Decode(const std::string& name);
    // Makes the picture for the screen (and the first image, when given), fills it with the
    // background index and reports the header. The number of colours is fixed here, before
    // any pixel is placed, so the pixel rows never move.
    void CreateCanvas(GifFileType* gif, bool withImage);
    // Decides how the current image's indices reach the picture: the first image and an
    // image that covers the whole picture with no more colours than it holds bring their
    // palette; an image whose colours are all in the palette is drawn through it; any other
    // turns the picture into 24 bits. Called before the image's area is saved.
    void ChooseColours(GifFileType* gif, bool first);
    // Sets the palette from colours (the picture's entries) and the index map to match.
    void TakeColourMap(const Colours& colours);
    // Maps every index to a palette entry of the same colour; false when one has none.
    bool MapExactly(const Colours& colours);
    // The 8-bit picture becomes a 24-bit one of the same pixels, reported whole.
    void ConvertToTrueColour();
    void DrawImage(GifFileType* gif);
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
    Bgr backgroundColour_;        // the background index's colour, once in 24 bits
    int pixelBytes_ = 1;          // 1 through the palette, 3 once in 24 bits
    int transparent_ = -1;        // the current image's transparent index, -1 for none
    int disposal_ = 0;            // of the previous image, as its control block gave it
    std::vector<uint8_t> saved_;  // what the previous image covered, when to be restored
    struct Area {
        int left = 0, top = 0, width = 0, height = 0;
    } previous_;                           // the last image drawn
    std::array<uint8_t, 256> indexMap_{};  // index to palette entry, through the palette
    bool identityMap_ = false;             // indexMap_ keeps every index as it is
    Colours colours_{};                    // index to colour, in 24 bits
    // The palette's colours (blue, green, red as one number) with their entries, sorted.
    std::vector<std::pair<uint32_t, uint8_t>> paletteLookup_;
    std::vector<uint8_t> line_;
};
