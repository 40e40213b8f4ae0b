#pragma once
// The BMP decoder of the image panel (format code 1, first bytes "BM").
//
// Reads Windows and OS/2 bitmaps of 1, 4, 8, 16, 24 and 32 bits per pixel, uncompressed
// or run-length encoded (8 and 4 bits), and reduces the rows, as they are read, to the
// display coefficient with the area filter, into a 24-bit picture. 16-bit pixels and
// masked 32-bit ones are expanded to 24 bits first. Runs on the loader thread like every decoder;
// only the filter's window of rows is held.
//
// It also turns an image the program already holds into a picture, without a file, for
// the panel to show at once (AssignBitmap, on the UI thread).

#include <string>

#include <QImage>

#include "Components/ImgPanel/ImgCtrl.h"

namespace bmp {
struct Layout;
}
struct FilterParams;
class DecoderFile;

class TBmpImg : public TImgCtrl {
  public:
    TBmpImg();
    ~TBmpImg() override;

    void LoadFromFile(const std::string& name) override;

    // Makes a 24-bit picture of bitmap, whatever its format. A null or empty image, or one
    // too large to hold, leaves no picture; nothing is reported either way (the caller looks
    // at Picture()).
    void AssignBitmap(const QImage& bitmap);

    // Palette entries implied by a bit count: 2, 16 or 256 for 1, 4 and 8; 0 otherwise.
    static int GetDInColors(unsigned short bitCount);
    // ((width x bitCount + alignBits - 1) AND NOT (alignBits - 1)) / 8 for a power-of-two
    // alignBits, in 64 bits.
    static long long BytesPerScanline(long long width, long long bitCount, long long alignBits);

  protected:
    // Finished reports (0, 0): the strips before it named every row.
    std::pair<int, int> FinishedRows() const override { return {0, 0}; }

  private:
    class RowSource;

    void Decode(const std::string& name);
    void DecodeRows(DecoderFile& file, const bmp::Layout& layout, FilterParams& filter);
};
