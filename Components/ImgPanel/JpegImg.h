#pragma once
// The JPEG decoder of the image panel (format code 2, first bytes FF D8).
//
// Decodes with libjpeg and reduces the rows, as they arrive, to the display coefficient
// with the area filter, into a 24-bit picture. Only the filter's window of source rows is
// held, never the whole decoded picture; at 1:1 with a kernel exact there the library's
// rows go straight into the picture. Runs on the loader thread like every decoder.

#include <string>

#include "Components/ImgPanel/ImgCtrl.h"

struct jpeg_decompress_struct;
struct FilterParams;
class JpegDecompressor;

class TJpegImg : public TImgCtrl {
  public:
    TJpegImg();
    ~TJpegImg() override;

    void LoadFromFile(const std::string& name) override;

    // Fills palette (256 entries) from the library's colour map: for a greyscale output
    // blue = green = red = map[0][i], otherwise blue, green and red from maps 0, 1 and 2.
    // The reserved bytes are left as they are.
    static void BuildPalette(const jpeg_decompress_struct* info, RgbQuad* palette);

    // When allowed (the default), a reduction starts with the library's own scaling to the
    // largest 1/2, 1/4 or 1/8 that is still at least the output size, and the filter does
    // the rest; otherwise every row is decoded at full size.
    void SetLibraryScaling(bool allowed) { libraryScaling_ = allowed; }
    bool LibraryScaling() const { return libraryScaling_; }
    // The library's scale denominator the last decode used (1, 2, 4 or 8).
    int LibraryScaleDenominator() const { return libraryDenominator_; }

  protected:
    // Finished reports (0, 0): the strips before it named every row.
    std::pair<int, int> FinishedRows() const override { return {0, 0}; }

  private:
    void Decode(const std::string& name);
    void ReserveLibraryMemory(jpeg_decompress_struct* info);
    void DecodeRows(JpegDecompressor& jpeg, FilterParams& filter, bool convertCmyk);

    bool libraryScaling_ = true;
    int libraryDenominator_ = 1;
};
