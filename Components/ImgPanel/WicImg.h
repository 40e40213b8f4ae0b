#pragma once
// The decoder of WIC wavelet pictures (format code 8, first bytes CE 02 00 00).
//
// A WIC file is a 24-byte header and one arithmetic-coded stream carrying three colour
// planes (luminance, then the red and blue colour differences), each a 5/3 wavelet
// transform sent as zerotree bit planes. The luminance plane arrives first, so the
// picture is shown in grey as soon as it is decoded and transformed, and redrawn in colour
// once the other two planes follow. Rows are reduced to the display coefficient by the
// line resampler into a 24-bit picture. Runs on the loader thread like every decoder.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "Components/ImgPanel/ImgCtrl.h"
#include "Components/ImgPanel/WicZerotree.h"

struct ResampleState;

inline constexpr size_t kWicHeaderSize = 24;
// Coefficients per colour plane: four matrices of this many 32-bit words are held while
// decoding, so the cap bounds the memory a header can ask for (512 MiB).
inline constexpr uint64_t kWicMaxCoefficients = uint64_t{1} << 25;
// The scan visits every coefficient of a plane once a bit plane at most, and the
// arithmetic decoder can make a visit cost a hundred-thousandth of a byte: a header of a
// few hundred bytes can ask for billions of visits (seconds of work). A file may ask for
// coefficients x bit planes (of all three colour planes) up to kWicFreeScanWork, and
// kWicScanWorkPerByte more for each byte of its stream; pictures encoded from photographs
// ask for a few hundred a byte.
inline constexpr uint64_t kWicFreeScanWork = uint64_t{1} << 26;
inline constexpr uint64_t kWicScanWorkPerByte = 1024;

struct WicHeader {
    int width = 0;  // the picture, the top-left part of each matrix
    int height = 0;
    wic::WicGeometry matrix;
    uint32_t step = 0;  // unsigned 16.16 fixed point
    int bitPlanes[3] = {0, 0, 0};
};

// Reads the header from the file's first bytes (size: the whole file). False when there
// are fewer than 24 bytes or the header cannot describe a picture this decoder can build:
// an empty picture, levels outside 1 to 15, matrix sides that are not multiples of
// 2^levels or smaller than the picture, more than 30 bit planes, a zero step, a matrix
// past kWicMaxCoefficients, or more scanning than the stream's size allows.
bool ParseWicHeader(const uint8_t* bytes, size_t size, WicHeader& header);

// A transformed sample to a byte: rounded half up, truncated towards zero, then clamped
// to 0..255 (not-a-number gives 0).
uint8_t ColorFromFloatToInt(float sample);

class TWicImg : public TImgCtrl {
  public:
    TWicImg();
    ~TWicImg() override;

    void LoadFromFile(const std::string& name) override;

  private:
    void Decode(const std::string& name);
    double OutputCoefficient() const;
    void EmitGreyRows(ResampleState& resample, wic::ZerotreeStore& store, const float* low,
                      float* luma, const wic::WicGeometry& matrix, float step);
    void EmitRows(ResampleState& resample, const std::function<void(int, uint8_t*)>& fillRow);
    void ResampleRowsInto(ResampleState& resample,
                          const std::function<void(int, uint8_t*)>& fillRow,
                          const std::function<void(uint32_t)>& rowDone);
};
