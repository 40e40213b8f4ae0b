#pragma once
// The PNG decoder of the image panel (format code 4, bytes 1 to 3 "PNG").
//
// libpng delivers 8-bit samples without alpha (composited over the file's background
// colour, else white), gamma corrected, colour in blue-green-red order; the line resampler
// reduces the rows to the display coefficient. The picture keeps the decoded depth: 24 bits
// for colour, 8 or 1 bit with a palette for grey and palette files. A non-interlaced file
// is reduced while it is read (only the resampler's window of rows is held); an interlaced
// one is read whole, all its passes, before it is reduced. At full size the rows go straight
// into the picture. Runs on the loader thread.

#include <cstdint>
#include <limits>
#include <string>

#include "Components/ImgPanel/ImgCtrl.h"

struct png_struct_def;
struct ResampleState;

class TPNGImg : public TImgCtrl {
  public:
    TPNGImg();
    ~TPNGImg() override;

    void LoadFromFile(const std::string& name) override;

    // Reads the PNG stream from length bytes at offset in the file (a PNG stored inside
    // another file, such as an icon's entry) instead of the whole file; a read past them
    // fails the decode like the end of a file.
    void SetStreamRange(uint64_t offset, uint64_t length);

  private:
    void Decode(const std::string& name);
    // The coefficient to decode at: CalcDisplayCoeff when a caller set the maximum display
    // size, else the one set at the header event (as for every other decoder).
    double WantedCoefficient() const;
    // Reduces rows as they are read: only the resampler's window is held.
    void ReduceRows(png_struct_def* png, ResampleState& st);
    // Reads every pass of the whole picture, then reduces it.
    void ReduceInterlaced(png_struct_def* png, ResampleState& st, int passes);
    // At full size: every row read straight into the picture, the passes of an interlaced
    // file filling it in place; rows are reported as the last pass completes them.
    void ReadStraight(png_struct_def* png, int passes);
    // Makes the next output row from the rows at the resampler's window and reports it.
    void EmitRow(ResampleState& st);
    // A strip report every DisplayScanlines() rows.
    void ReportRowsDone(uint32_t rowsDone);

    uint64_t streamOffset_ = 0;
    uint64_t streamLength_ = std::numeric_limits<uint64_t>::max();
};
