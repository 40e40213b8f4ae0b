#include "tests/Images/J2000/T1TestEncoder.h"

#include <cstdlib>

#include "Images/J2000/T1Tables.h"

namespace j2000::testing {

namespace {

// The encoder keeps its own copy of the probability-state table on purpose: an encoder and a
// decoder that shared one wrong entry would still agree with each other.
struct Row {
    uint32_t qe;
    int nmps, nlps;
    bool sw;
};
const Row kRows[47] = {{0x5601, 1, 1, true},    {0x3401, 2, 6, false},   {0x1801, 3, 9, false},
                       {0x0AC1, 4, 12, false},  {0x0521, 5, 29, false},  {0x0221, 38, 33, false},
                       {0x5601, 7, 6, true},    {0x5401, 8, 14, false},  {0x4801, 9, 14, false},
                       {0x3801, 10, 14, false}, {0x3001, 11, 17, false}, {0x2401, 12, 18, false},
                       {0x1C01, 13, 20, false}, {0x1601, 29, 21, false}, {0x5601, 15, 14, true},
                       {0x5401, 16, 14, false}, {0x5101, 17, 15, false}, {0x4801, 18, 16, false},
                       {0x3801, 19, 17, false}, {0x3401, 20, 18, false}, {0x3001, 21, 19, false},
                       {0x2801, 22, 19, false}, {0x2401, 23, 20, false}, {0x2201, 24, 21, false},
                       {0x1C01, 25, 22, false}, {0x1801, 26, 23, false}, {0x1601, 27, 24, false},
                       {0x1401, 28, 25, false}, {0x1201, 29, 26, false}, {0x1101, 30, 27, false},
                       {0x0AC1, 31, 28, false}, {0x09C1, 32, 29, false}, {0x08A1, 33, 30, false},
                       {0x0521, 34, 31, false}, {0x0441, 35, 32, false}, {0x02A1, 36, 33, false},
                       {0x0221, 37, 34, false}, {0x0141, 38, 35, false}, {0x0111, 39, 36, false},
                       {0x0085, 40, 37, false}, {0x0049, 41, 38, false}, {0x0025, 42, 39, false},
                       {0x0015, 43, 40, false}, {0x0009, 44, 41, false}, {0x0005, 45, 42, false},
                       {0x0001, 45, 43, false}, {0x5601, 46, 46, false}};

}  // namespace

MqEncoder::MqEncoder(int contexts) : state_(contexts, 0), mps_(contexts, 0) {
    Start();
}

void MqEncoder::SetContexts(const std::vector<MqContextInit>& list) {
    for (size_t k = 0; k < state_.size(); ++k) {
        state_[k] = k < list.size() ? list[k].state : 0;
        mps_[k] = k < list.size() ? list[k].mps : 0;
    }
}

void MqEncoder::Start() {
    a_ = 0x8000;
    c_ = 0;
    ct_ = 12;
    out_.assign(1, 0);
}

void MqEncoder::Encode(int bit, int ctx) {
    const Row& row = kRows[state_[ctx]];
    a_ -= row.qe;
    if (bit == mps_[ctx]) {
        if (a_ & 0x8000) {
            c_ += row.qe;
            return;
        }
        if (a_ < row.qe) {
            a_ = row.qe;
        } else {
            c_ += row.qe;
        }
        state_[ctx] = row.nmps;
    } else {
        if (a_ < row.qe) {
            c_ += row.qe;
        } else {
            a_ = row.qe;
        }
        if (row.sw) {
            mps_[ctx] = 1 - mps_[ctx];
        }
        state_[ctx] = row.nlps;
    }
    Renormalise();
}

void MqEncoder::Renormalise() {
    do {
        a_ <<= 1;
        c_ <<= 1;
        if (--ct_ == 0) {
            ByteOut();
        }
    } while ((a_ & 0x8000) == 0);
}

void MqEncoder::ByteOut() {
    if (out_.back() == 0xFF) {
        out_.push_back(static_cast<uint8_t>(c_ >> 20));
        c_ &= 0xFFFFF;
        ct_ = 7;
    } else if (c_ < 0x8000000) {
        out_.push_back(static_cast<uint8_t>(c_ >> 19));
        c_ &= 0x7FFFF;
        ct_ = 8;
    } else {
        ++out_.back();
        if (out_.back() == 0xFF) {
            c_ &= 0x7FFFFFF;
            out_.push_back(static_cast<uint8_t>(c_ >> 20));
            c_ &= 0xFFFFF;
            ct_ = 7;
        } else {
            out_.push_back(static_cast<uint8_t>(c_ >> 19));
            c_ &= 0x7FFFF;
            ct_ = 8;
        }
    }
}

std::vector<uint8_t> MqEncoder::Flush() {
    const uint32_t temp = c_ + a_;
    c_ |= 0xFFFF;
    if (c_ >= temp) {
        c_ -= 0x8000;
    }
    c_ <<= ct_;
    ByteOut();
    c_ <<= ct_;
    ByteOut();
    std::vector<uint8_t> code(out_.begin() + 1, out_.end());
    if (!code.empty() && code.back() == 0xFF) {
        code.pop_back();
    }
    Start();
    return code;
}

namespace {

// The raw bits of a bypass segment: most significant first, 7 bits in a byte after 0xFF,
// ended with the fill pattern 0101... and without a final 0xFF.
class RawWriter {
  public:
    void Put(int bit) {
        if (free_ == 0) {
            free_ = !bytes_.empty() && bytes_.back() == 0xFF ? 7 : 8;
            bytes_.push_back(0);
        }
        --free_;
        bytes_.back() |= static_cast<uint8_t>(bit << free_);
    }
    std::vector<uint8_t> Flush() {
        for (int fill = 0; free_ > 0; fill ^= 1) {
            Put(fill);
        }
        std::vector<uint8_t> out;
        out.swap(bytes_);
        if (!out.empty() && out.back() == 0xFF) {
            out.pop_back();
        }
        return out;
    }

  private:
    std::vector<uint8_t> bytes_;
    int free_ = 0;
};

struct BlockCoder {
    const std::vector<int32_t>& values;
    int w, h, orient, style;
    const T1Luts& luts = jpc_initluts();
    MqEncoder mq{kT1ContextCount};
    RawWriter raw{};
    bool rawMode = false;

    void Code(int bit, int ctx) { rawMode ? raw.Put(bit) : mq.Encode(bit, ctx); }
    std::vector<uint32_t> flags = std::vector<uint32_t>(static_cast<size_t>(w + 2) * (h + 2), 0);

    uint32_t& F(int y, int x) { return flags[static_cast<size_t>(y + 1) * (w + 2) + x + 1]; }
    int Bit(int y, int x, int b) const { return (std::abs(values[y * w + x]) >> b) & 1; }
    bool Negative(int y, int x) const { return values[y * w + x] < 0; }

    void Significant(int y, int x, int y0) {
        const bool s = Negative(y, x);
        const uint32_t si = (F(y, x) >> 4) & 0xFF;
        rawMode ? raw.Put(s) : mq.Encode(s ^ luts.signPrediction[si], luts.sign[si]);
        const bool skipNorth = (style & 0x08) && y == y0;
        F(y + 1, x - 1) |= kNeSig;
        F(y + 1, x + 1) |= kNwSig;
        F(y + 1, x) |= kNSig | (s ? kNSgn : 0u);
        F(y, x - 1) |= kESig | (s ? kESgn : 0u);
        F(y, x + 1) |= kWSig | (s ? kWSgn : 0u);
        if (!skipNorth) {
            F(y - 1, x - 1) |= kSeSig;
            F(y - 1, x + 1) |= kSwSig;
            F(y - 1, x) |= kSSig | (s ? kSSgn : 0u);
        }
        F(y, x) |= kSig;
    }
    void ZeroCoded(int y, int x, int y0, int b) {
        const int bit = Bit(y, x, b);
        Code(bit, luts.zeroCoding[(orient << 8) | (F(y, x) & 0xFF)]);
        if (bit)
            Significant(y, x, y0);
    }
    template <typename Fn>
    void Scan(Fn&& fn) {
        for (int y0 = 0; y0 < h; y0 += 4)
            for (int x = 0; x < w; ++x)
                fn(y0, x, std::min(4, h - y0));
    }
    void SigPass(int b) {
        Scan([&](int y0, int x, int rows) {
            for (int y = y0; y < y0 + rows; ++y) {
                if ((F(y, x) & (kSig | kVisited)) || !(F(y, x) & 0xFF))
                    continue;
                ZeroCoded(y, x, y0, b);
                F(y, x) |= kVisited;
            }
        });
    }
    void RefPass(int b) {
        Scan([&](int y0, int x, int rows) {
            for (int y = y0; y < y0 + rows; ++y) {
                if ((F(y, x) & (kSig | kVisited)) != kSig)
                    continue;
                Code(Bit(y, x, b),
                     luts.magnitude[((F(y, x) & kRefined) ? 0x800 : 0) | (F(y, x) & 0xFF)]);
                F(y, x) |= kRefined;
            }
        });
    }
    void CleanupPass(int b) {
        Scan([&](int y0, int x, int rows) {
            int start = y0;
            bool quiet = rows == 4;
            for (int y = y0; quiet && y < y0 + 4; ++y)
                quiet = !(F(y, x) & (kSig | kVisited | 0xFF));
            if (quiet) {
                int r = 0;
                while (r < 4 && !Bit(y0 + r, x, b))
                    ++r;
                mq.Encode(r < 4, kT1RunLengthContext);
                if (r == 4)
                    return;
                mq.Encode(r >> 1, kT1UniformContext);
                mq.Encode(r & 1, kT1UniformContext);
                Significant(y0 + r, x, y0);
                start = y0 + r + 1;
            }
            for (int y = start; y < y0 + rows; ++y)
                if (!(F(y, x) & (kSig | kVisited)))
                    ZeroCoded(y, x, y0, b);
            for (int y = y0; y < y0 + rows; ++y)
                F(y, x) &= ~static_cast<uint32_t>(kVisited);
        });
        if (style & 0x20)
            for (int bit : {1, 0, 1, 0})
                mq.Encode(bit, kT1UniformContext);
    }
};

}  // namespace

EncodedBlock EncodeCodeBlock(const std::vector<int32_t>& values, int width, int height, int orient,
                             int numbps, int style) {
    BlockCoder coder{values, width, height, orient, style};
    const std::vector<MqContextInit> initial(coder.luts.initialContexts.begin(),
                                             coder.luts.initialContexts.end());
    coder.mq.SetContexts(initial);
    EncodedBlock block;
    const int total = 3 * numbps - 2;
    const bool bypass = style & 0x01, termall = style & 0x04;
    int segmentEnd = 0;
    for (int p = 0; p < total; ++p) {
        if (p == segmentEnd) {
            const int count = jpc_segpasscnt(p, 0, total, bypass, termall);
            const int type = jpc_segtype(p, 0, bypass);
            block.segments.push_back({{}, p, count, type});
            coder.rawMode = type == kSegRaw;
            segmentEnd = p + count;
        }
        const int b = numbps - 1 - (p + 2) / 3;
        const T1PassType type = jpc_passtype(p);
        type == kSigPass   ? coder.SigPass(b)
        : type == kRefPass ? coder.RefPass(b)
                           : coder.CleanupPass(b);
        if (style & 0x02) {
            coder.mq.SetContexts(initial);
        }
        if (p + 1 == segmentEnd) {
            block.segments.back().bytes = coder.rawMode ? coder.raw.Flush() : coder.mq.Flush();
        }
    }
    block.passes = total;
    return block;
}

}  // namespace j2000::testing
