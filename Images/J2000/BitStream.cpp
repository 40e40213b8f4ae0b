#include "Images/J2000/BitStream.h"

namespace j2000 {

int bitstream_t::getbit() {
    if (cnt_ == 0) {
        const bool stuffed = lastbyte_ == 0xFF;
        const int c = in_->getc();
        if (c == EOF_)
            return -1;
        lastbyte_ = c;
        // After an 0xFF byte the top bit is the stuffed zero: only 7 bits carry data.
        cnt_ = stuffed ? 7 : 8;
    }
    --cnt_;
    return (lastbyte_ >> cnt_) & 1;
}

long bitstream_t::getbits(int n) {
    long v = 0;
    for (int i = 0; i < n; ++i) {
        const int b = getbit();
        if (b < 0)
            return -1;
        v = (v << 1) | b;
    }
    return v;
}

int bitstream_t::inalign(int fillmask, int filldata) {
    int n = 0;
    long v = 0;
    if (lastbyte_ == 0xFF) {
        // The rest of the 0xFF byte, then the byte that follows it with its stuffed bit.
        if (getbits(cnt_) < 0)
            return -1;
        n = 7;
        v = getbits(7);
    } else if (cnt_ > 0) {
        n = cnt_;
        v = getbits(n) << (7 - n);
    }
    if (v < 0)
        return -1;
    const int placed = ((1 << n) - 1) << (7 - n);
    return ((v ^ filldata) & fillmask & placed) != 0 ? 1 : 0;
}

}  // namespace j2000
