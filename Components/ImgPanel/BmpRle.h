#pragma once
// Run-length encoded bitmap rows (8 bits, or 4 bits a pixel), decoded one stored row at a
// time, so that a compressed file streams through the area filter like an uncompressed
// one and the whole picture is never held.
//
// Each row comes out as the runs of palette indices the data gives it, never as pixels:
// a few bytes may stand for rows of 65535 pixels, and what they do not hold costs nothing.
// Pixels the data never reaches (rows or parts of rows jumped over, everything after the
// end-of-bitmap code) are index 0; pixels the data places past the row's end are dropped.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Components/ImgPanel/Filters.h"

class DecoderFile;

class BmpRleReader {
  public:
    // Reads from the file's current position; dataBytes is what remains of the file.
    BmpRleReader(DecoderFile& file, uint64_t dataBytes, int width, bool fourBit);

    // The most a reader of rows of width pixels holds: its read buffer and a run for every
    // pixel.
    static uint64_t MemoryBytes(int width);

    // Decodes the next stored row (the bottom one first): its runs, left to right, over
    // index 0; valid until the next call. Throws TImgDecodeError{30} when the data ends
    // before the row does.
    const std::vector<FilterRun>& NextRow();

  private:
    uint8_t Byte();
    // count pixels of one index from x on, cut at the row's end.
    void Put(int& x, int count, uint8_t value);
    void PutRun(int& x, int count, uint8_t value);
    void PutAbsolute(int& x, int count);
    // Moves x right by dx, stopping at the row's end (so it can never overflow).
    void Advance(int& x, int dx) const;

    DecoderFile& file_;
    uint64_t unread_;  // bytes of the file not yet in the buffer
    int width_;
    bool fourBit_;
    std::vector<uint8_t> buffer_;
    std::vector<FilterRun> runs_;
    std::size_t position_ = 0;
    std::size_t filled_ = 0;
    int emptyRows_ = 0;  // whole rows a jump passes over before the row it lands in
    int resumeX_ = 0;    // where the row a jump lands in goes on
    bool ended_ = false;
};
