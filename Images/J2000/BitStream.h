// Bit reader over a `stream_t` with the JPEG 2000 stuffing rule: the byte after an 0xFF byte
// carries only 7 data bits, so no 0xFF 0x90..0xFF pair (a marker) can appear inside coded data.
// Packet headers and raw (bypass) code-block passes are read with it.
#pragma once

#include "Images/J2000/Stream.h"

namespace j2000 {

class bitstream_t {
  public:
    // Reads from `in`, which stays the caller's.
    explicit bitstream_t(stream_t& in) : in_(&in) {}

    // 0 or 1, or -1 at end of data.
    int getbit();
    // `n` (0 to 31) bits, most significant first, or -1 at end of data.
    long getbits(int n);
    // Skips to the next byte boundary (and past the stuffed byte after an 0xFF). Answers 1 when
    // the skipped bits, placed at the top of a 7-bit value, differ from `filldata` under
    // `fillmask`, 0 when they match, -1 at end of data.
    int inalign(int fillmask, int filldata);
    // 1 when bits of the current byte are unread or the current byte is 0xFF.
    bool needalign() const { return cnt_ > 0 || lastbyte_ == 0xFF; }

  private:
    stream_t* in_;
    int lastbyte_ = -1;  // the last byte read, -1 before the first
    int cnt_ = 0;        // data bits of `lastbyte_` not yet read
};

}  // namespace j2000
