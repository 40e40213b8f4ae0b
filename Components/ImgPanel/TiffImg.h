#pragma once
// The TIFF decoder of the image panel (format code 6, first bytes "II" or "MM").
//
// Reads the first image of the file with libtiff and reduces it row by row to the display
// coefficient with the area filter, into a 24-bit picture. Files of 8-bit colour, of 8 or
// 16-bit CMYK and of palette or grey pixels of 8 bits or less are read scanline by scanline
// (JPEG-compressed ones as RGB); everything else libtiff can show (tiles, separate planes,
// 16-bit samples, YCbCr, LogLuv ...) goes through its RGBA reader a strip or a row of tiles
// at a time. Either way only a strip or the filter's window is held, never the whole
// picture. Alpha is composited over white on every route (TiffRows).
// Runs on the loader thread; libtiff's messages go to this decoder's trace, never to the
// process-wide handlers.

#include <cstdint>
#include <string>

#include "Components/ImgPanel/ImgCtrl.h"
#include "Components/ImgPanel/TiffRows.h"

struct FilterParams;
struct tiff;

class TTiffImg : public TImgCtrl {
  public:
    TTiffImg();
    ~TTiffImg() override;

    void LoadFromFile(const std::string& name) override;

    // The tags of the last file read; a tag the file lacks keeps the value before.
    uint16_t Compression() const { return compression_; }
    uint16_t BitsPerSample() const { return bitsPerSample_; }
    uint16_t SamplesPerPixel() const { return samplesPerPixel_; }
    uint16_t Photometric() const { return photometric_; }

    // 16 when any of the first count entries of the three maps is 256 or more (a map of
    // 16-bit values), else 8.
    static int CheckColorMap(int count, const uint16_t* red, const uint16_t* green,
                             const uint16_t* blue);

  private:
    // How the rows reach the filter.
    enum class Route {
        Indexed,     // 1, 2, 4 or 8 bits through a palette (2 bits widened to 8)
        Rgb,         // 8-bit red, green, blue (and extra samples) to blue, green, red
        Cmyk,        // 8 or 16-bit inks (and extra samples) to blue, green, red
        RgbaReader,  // libtiff's RGBA reader
    };

    void Decode(const std::string& name);
    void ReadTags(tiff* tif);
    void CheckWorkBacked(tiff* tif, uint64_t fileBytes) const;
    Route ChooseRoute(tiff* tif);
    // The palette of an indexed file in paletteTable_: its colour map, else a grey ramp
    // over the full range (inverted when white is zero).
    int BuildPalette(tiff* tif);
    void ReadScanlines(tiff* tif, FilterParams& filter, Route route);
    void ReadThroughRgba(tiff* tif, FilterParams& filter);
    // Runs the filter over every output row; feed(slot) puts the next source row there.
    template <class Feed>
    void FilterRows(FilterParams& filter, const Feed& feed);

    uint16_t compression_ = 0;
    uint16_t bitsPerSample_ = 0;
    uint16_t samplesPerPixel_ = 0;
    uint16_t photometric_ = 0;
    tiffrows::Alpha alpha_ = tiffrows::Alpha::None;
    uint64_t libraryAllocation_ = 0;  // the most libtiff may take at once in this decode
};
