#include "tests/Components/ImgPanel/WicTestEncoder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>

#include "Components/ImgPanel/QmDecoder.h"
#include "tests/common/PhotoPicture.h"

namespace wictest {

// --- QM encoder ---------------------------------------------------------------------------

QmEncoder::QmEncoder(int contexts) : contexts_(static_cast<size_t>(contexts)) {}

void QmEncoder::Encode(int cx, int bit) {
    Context& ctx = contexts_[static_cast<size_t>(cx)];
    const QmState& st = kQmStates[ctx.state];
    a_ -= st.qe;
    if (bit == ctx.mps) {
        if (a_ >= 0x8000) {
            return;
        }
        if (a_ < st.qe) {  // exchanged: the more probable symbol takes the upper part
            c_ += a_;
            a_ = st.qe;
        }
        ctx.state = st.nextMps;
    } else {
        if (a_ >= st.qe) {  // not exchanged: the less probable symbol takes the upper part
            c_ += a_;
            a_ = st.qe;
        }
        ctx.mps = static_cast<uint8_t>(ctx.mps ^ st.swap);
        ctx.state = st.nextLps;
    }
    Renormalise();
}

void QmEncoder::Renormalise() {
    do {
        a_ <<= 1;
        c_ <<= 1;
        if (--ct_ == 0) {
            ByteOut();
            ct_ = 8;
        }
    } while (a_ < 0x8000);
}

void QmEncoder::ByteOut() {
    uint32_t t = c_ >> 19;
    if (t > 0xFF) {
        // The carry runs back through the bytes already out (0xFF ones become 0x00).
        for (size_t i = raw_.size(); i-- > 0;) {
            if (++raw_[i] != 0) {
                break;
            }
        }
        t &= 0xFF;
    }
    raw_.push_back(static_cast<uint8_t>(t));
    c_ &= 0x7FFFF;
}

std::vector<uint8_t> QmEncoder::Finish(bool endEscape) {
    // T.81's flush: the value in the final interval with the most trailing zero bits.
    uint32_t t = (c_ + a_ - 1) & 0xFFFF0000u;
    if (t < c_) {
        t += 0x8000;
    }
    c_ = t << ct_;
    ByteOut();
    c_ <<= 8;
    ByteOut();
    while (!raw_.empty() && raw_.back() == 0) {
        raw_.pop_back();
    }
    std::vector<uint8_t> out;
    for (const uint8_t byte : raw_) {
        out.push_back(byte);
        if (byte == 0xFF) {
            out.push_back(0x00);
        }
    }
    if (endEscape) {
        out.push_back(0xFF);
        out.push_back(0x02);
    }
    return out;
}

// --- Zerotree scan ------------------------------------------------------------------------

namespace {

using namespace wic;

// Mirrors the decoder's scan: the same visits, decisions and contexts, with the decoder's
// view of each coefficient derived from the true magnitudes (significant before this bit
// plane = magnitude of at least twice the bit).
class ZerotreeEncoder {
  public:
    ZerotreeEncoder(const WicGeometry& g, const std::vector<int32_t>& c, QmEncoder& qm)
        : g_(g),
          c_(c),
          qm_(qm),
          columns_(g.width / 2),  // every node lies in the left half of the matrix
          treeMax_(static_cast<size_t>(columns_) * g.height),
          nodes_(treeMax_.size()) {}

    void Encode(int planes, bool cutLastPlane) {
        const int w = g_.width >> g_.levels;
        const int h = g_.height >> g_.levels;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                Node(x, y) = std::max(Mag(x, y), DetailMax(x, y + h, w, h));
            }
        }
        for (int p = planes; p >= 1; --p) {
            plane_ = static_cast<uint8_t>(p);
            bit_ = 1u << (p - 1);
            if (cutLastPlane && p == 1) {
                qm_.Encode(kContinueContext, 0);
                return;
            }
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    Coarse(x, y, w, h);
                }
            }
        }
    }

  private:
    uint32_t Mag(int x, int y) const {
        return static_cast<uint32_t>(std::abs(c_[static_cast<size_t>(y) * g_.width + x]));
    }
    bool Negative(int x, int y) const { return c_[static_cast<size_t>(y) * g_.width + x] < 0; }
    uint32_t& Node(int x, int y) { return treeMax_[static_cast<size_t>(y) * columns_ + x]; }
    uint8_t& Significance(int x, int y) { return nodes_[static_cast<size_t>(y) * columns_ + x]; }

    uint32_t DetailMax(int x, int y, int w, int h) {
        uint32_t m = std::max({Mag(x, y), Mag(x + w, y), Mag(x + w, y - h)});
        if (2 * y < g_.height) {
            for (int dy = 0; dy < 2; ++dy) {
                for (int dx = 0; dx < 2; ++dx) {
                    m = std::max(m, DetailMax(2 * x + dx, 2 * y + dy, 2 * w, 2 * h));
                }
            }
        }
        Node(x, y) = m;
        return m;
    }

    bool TreeSignificant(int x, int y, int level, int px, int py) {
        qm_.Encode(kContinueContext, 1);
        if (Significance(x, y) != 0) {
            return true;
        }
        const bool parentJustBecame = level > 0 && Significance(px, py) == plane_;
        const bool significant = Node(x, y) >= bit_;
        qm_.Encode((parentJustBecame ? kTreeAfterParentContext : kTreeContext) + level,
                   significant ? 1 : 0);
        if (significant) {
            Significance(x, y) = plane_;
        }
        return significant;
    }

    void Coefficient(int x, int y, int cx) {
        const uint32_t m = Mag(x, y);
        if (m >= 2 * bit_) {
            qm_.Encode(kRefineContext, (m & bit_) != 0 ? 1 : 0);
            return;
        }
        const bool significant = m >= bit_;
        qm_.Encode(cx, significant ? 1 : 0);
        if (significant) {
            qm_.Encode(kSignContext, Negative(x, y) ? 1 : 0);
        }
    }

    void Coarse(int x, int y, int w, int h) {
        if (!TreeSignificant(x, y, 0, 0, 0)) {
            return;
        }
        Coefficient(x, y, kCoarseContext);
        Detail(x, y + h, 1, x, y, w, h);
    }

    void Detail(int x, int y, int level, int px, int py, int w, int h) {
        if (!TreeSignificant(x, y, level, px, py)) {
            return;
        }
        const uint32_t twice = 2 * bit_;
        const bool hlSmall = Mag(x + w, y - h) < twice;
        Coefficient(x, y,
                    (Mag(x + w, y) < twice && hlSmall ? kLhQuietContext : kLhBusyContext) + level);
        const bool lhZero = Mag(x, y) < bit_;
        Coefficient(x + w, y, (lhZero && hlSmall ? kHhQuietContext : kHhBusyContext) + level);
        const bool hhZero = Mag(x + w, y) < bit_;
        Coefficient(x + w, y - h, (lhZero && hhZero ? kHlQuietContext : kHlBusyContext) + level);
        if (2 * y < g_.height) {
            for (int dy = 0; dy < 2; ++dy) {
                for (int dx = 0; dx < 2; ++dx) {
                    Detail(2 * x + dx, 2 * y + dy, level + 1, x, y, 2 * w, 2 * h);
                }
            }
        }
    }

    const WicGeometry g_;
    const std::vector<int32_t>& c_;
    QmEncoder& qm_;
    const int columns_;
    std::vector<uint32_t> treeMax_;
    std::vector<uint8_t> nodes_;
    uint8_t plane_ = 0;
    uint32_t bit_ = 0;
};

int BitPlanesOf(const std::vector<int32_t>& plane) {
    uint32_t largest = 0;
    for (const int32_t v : plane) {
        largest = std::max(largest, static_cast<uint32_t>(std::abs(v)));
    }
    int planes = 0;
    while (largest >> planes != 0) {
        ++planes;
    }
    return planes;
}

void PutU16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    PutU16(out, v & 0xFFFF);
    PutU16(out, v >> 16);
}

}  // namespace

std::vector<uint8_t> EncodeWic(const Coefficients& coefficients, EncodeOptions options) {
    std::vector<uint8_t> out;
    PutU32(out, 0x2CE);
    PutU32(out, 0);
    PutU16(out, static_cast<uint32_t>(coefficients.width));
    PutU16(out, static_cast<uint32_t>(coefficients.height));
    PutU16(out, static_cast<uint32_t>(coefficients.matrix.width));
    PutU16(out, static_cast<uint32_t>(coefficients.matrix.height));
    PutU32(out, coefficients.step);
    out.push_back(static_cast<uint8_t>(coefficients.matrix.levels));
    int planes[3];
    for (int i = 0; i < 3; ++i) {
        planes[i] = BitPlanesOf(coefficients.plane[i]);
        out.push_back(static_cast<uint8_t>(planes[i]));
    }
    QmEncoder qm(kContextCount);
    for (int i = 0; i < 3; ++i) {
        ZerotreeEncoder(coefficients.matrix, coefficients.plane[i], qm)
            .Encode(planes[i], options.cutLumaLastBitPlane && i == 0);
    }
    const std::vector<uint8_t> stream = qm.Finish();
    out.insert(out.end(), stream.begin(), stream.end());
    return out;
}

// --- Forward transform --------------------------------------------------------------------

void ForwardLift(float* line, int n, float step) {
    const int m = n / 2;
    std::vector<float> lo(static_cast<size_t>(m)), hi(static_cast<size_t>(m));
    for (int i = 0; i < m; ++i) {
        const float right = 2 * i + 2 < n ? line[2 * i + 2] : line[2 * i];
        hi[i] = line[2 * i + 1] - (line[2 * i] + right) * 0.5f;
    }
    for (int i = 0; i < m; ++i) {
        const float left = i > 0 ? hi[i - 1] : hi[0];
        lo[i] = (line[2 * i] + (left + hi[i]) * 0.25f) * step;
    }
    std::copy(lo.begin(), lo.end(), line);
    std::copy(hi.begin(), hi.end(), line + m);
}

namespace {

void ForwardWavelet(std::vector<float>& m, int width, int height, int levels, float step) {
    std::vector<float> column(static_cast<size_t>(height));
    for (int k = 0; k < levels; ++k) {
        const int w = width >> k;
        const int h = height >> k;
        for (int r = 0; r < h; ++r) {
            ForwardLift(&m[static_cast<size_t>(r) * width], w, step);
        }
        for (int x = 0; x < w; ++x) {
            for (int r = 0; r < h; ++r) {
                column[r] = m[static_cast<size_t>(r) * width + x];
            }
            ForwardLift(column.data(), h, step);
            for (int r = 0; r < h; ++r) {
                m[static_cast<size_t>(r) * width + x] = column[r];
            }
        }
    }
}

int RoundUp(int side, int levels) {
    const int unit = 1 << levels;
    return (side + unit - 1) / unit * unit;
}

}  // namespace

Coefficients TransformPicture(const std::vector<uint8_t>& rgb, int width, int height, int levels,
                              float step) {
    Coefficients out;
    out.width = width;
    out.height = height;
    out.matrix = {RoundUp(width, levels), RoundUp(height, levels), levels};
    out.step = static_cast<uint32_t>(std::lround(step * 65536.0));
    const size_t count = static_cast<size_t>(out.matrix.width) * out.matrix.height;
    std::vector<float> planes[3];
    for (auto& p : planes) {
        p.resize(count);
    }
    for (int y = 0; y < out.matrix.height; ++y) {
        for (int x = 0; x < out.matrix.width; ++x) {
            const uint8_t* px = &rgb[(static_cast<size_t>(std::min(y, height - 1)) * width +
                                      std::min(x, width - 1)) *
                                     3];
            const float luma = 0.299f * px[0] + 0.587f * px[1] + 0.114f * px[2];
            const size_t i = static_cast<size_t>(y) * out.matrix.width + x;
            planes[0][i] = luma;
            planes[1][i] = (px[0] - luma) / 1.402f;
            planes[2][i] = (px[2] - luma) / 1.772f;
        }
    }
    for (int p = 0; p < 3; ++p) {
        ForwardWavelet(planes[p], out.matrix.width, out.matrix.height, levels, step);
        out.plane[p].resize(count);
        for (size_t i = 0; i < count; ++i) {
            out.plane[p][i] = static_cast<int32_t>(std::lround(planes[p][i]));
        }
    }
    return out;
}

std::vector<uint8_t> TestPicture(int width, int height, bool grain) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    uint32_t seed = testpicture::kPhotoSeed;
    for (int y = 0; y < height; ++y) {
        testpicture::PhotoRow(y, width, height, grain ? 8 : 0,
                              &rgb[static_cast<size_t>(y) * width * 3], seed);
    }
    return rgb;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool RowsAreGrey(const DibInfoHeader* dib, int from, int to) {
    const int height = DibHeight(dib);
    for (int y = std::min(from, to); y <= std::min(std::max(from, to), height - 1); ++y) {
        const uint8_t* row = DibBits(dib) + size_t(height - 1 - y) * DibRowBytes(dib);
        for (int x = 0; x < DibWidth(dib); ++x) {
            if (row[3 * x] != row[3 * x + 1] || row[3 * x] != row[3 * x + 2]) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace wictest
