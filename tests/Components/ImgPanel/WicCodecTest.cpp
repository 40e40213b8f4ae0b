// The parts of the WIC decoder on their own: the QM decoder against the published test
// sequence of ITU-T T.81 (K.4.1) and, decision by decision, against T.81's decoder written
// out plainly, the inverse wavelet against hand-computed cases, and the zerotree scan
// against the test encoder, exact from integer coefficients.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "Components/ImgPanel/QmDecoder.h"
#include "Components/ImgPanel/WicImg.h"
#include "Components/ImgPanel/WicPixels.h"
#include "Components/ImgPanel/WicTransform.h"
#include "Components/ImgPanel/WicZerotree.h"
#include "tests/Components/ImgPanel/WicTestEncoder.h"

namespace {

// T.81 K.4.1: 256 decisions in one context, and the code bytes the standard lists for
// them (before the marker that ends its example).
const std::vector<uint8_t> kTestData = {
    0x00, 0x02, 0x00, 0x51, 0x00, 0x00, 0x00, 0xC0, 0x03, 0x52, 0x87, 0x2A, 0xAA, 0xAA, 0xAA, 0xAA,
    0x82, 0xC0, 0x20, 0x00, 0xFC, 0xD7, 0x9E, 0xF6, 0x74, 0xEA, 0xAB, 0xF7, 0x69, 0x7E, 0xE7, 0x4C};
const std::vector<uint8_t> kCodeBytes = {0x65, 0x5B, 0x51, 0x44, 0xF7, 0x96, 0x9D, 0x51, 0x78, 0x55,
                                         0xBF, 0xFF, 0x00, 0xFC, 0x51, 0x84, 0xC7, 0xCE, 0xF9, 0x39,
                                         0x00, 0x28, 0x7D, 0x46, 0x70, 0x8E, 0xCB, 0xC0, 0xF6};

int TestBit(int i) {
    return (kTestData[i / 8] >> (7 - i % 8)) & 1;
}

TEST(QmCoder, DecodesTheStandardsTestSequence) {
    std::vector<uint8_t> stream = kCodeBytes;
    stream.insert(stream.end(), {0xFF, 0x02});
    QmDecoder decoder(stream.data(), stream.size(), 1);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(decoder.Decode(0), TestBit(i)) << "decision " << i;
    }
    EXPECT_FALSE(decoder.Damaged());

    // The test encoder writes the same bytes, so the round trips below check real coding.
    wictest::QmEncoder encoder(1);
    for (int i = 0; i < 256; ++i) {
        encoder.Encode(0, TestBit(i));
    }
    EXPECT_EQ(encoder.Finish(false), kCodeBytes);
}

// The test sequence above visits only some states, and the round trips share the table
// with the encoder, so the table is locked to T.81's Table D.3 as a whole: its digest was
// taken once the entries had been compared with the standard's listing one by one.
TEST(QmCoder, ProbabilityTableIsT81TableD3) {
    uint64_t digest = 1469598103934665603ULL;  // FNV-1a over Qe (low byte first) and the rest
    for (const QmState& s : kQmStates) {
        for (const unsigned v : {s.qe & 0xFFu, unsigned(s.qe >> 8), unsigned{s.nextLps},
                                 unsigned{s.nextMps}, unsigned{s.swap}}) {
            digest = (digest ^ v) * 1099511628211ULL;
        }
    }
    EXPECT_EQ(digest, 0x00ABAC5BE6634AC5ULL);
    EXPECT_EQ(kQmStates[0].qe, 0x5A1D);
    EXPECT_EQ(kQmStates[kQmStateCount - 1].qe, 0x59EB);
}

TEST(QmCoder, EscapesEndOrDamageTheStream) {
    const struct {
        std::vector<uint8_t> bytes;
        bool damaged;
    } cases[] = {
        {{0xFF, 0x02, 0x12, 0x34}, false},  // ended: what follows is never read
        {{0x12, 0xFF, 0x01, 0x00}, true},   // an escape that means nothing
        {{0x12, 0x34}, true},               // the data stops without its end
        {{0x12, 0xFF}, true},               // cut inside an escape
    };
    for (const auto& c : cases) {
        QmDecoder decoder(c.bytes.data(), c.bytes.size(), 1);
        for (int i = 0; i < 200; ++i) {
            decoder.Decode(0);
        }
        EXPECT_EQ(decoder.Damaged(), c.damaged) << int(c.bytes[1]);
    }
}

// T.81's decoder as its Annex D writes it (16-bit A, 32-bit C, one byte read whenever the
// renormalisation runs out of bits), with WIC's escapes: the oracle for the decoder, which
// keeps several bytes ahead and undoes the escapes beforehand.
class TextbookQm {
  public:
    TextbookQm(const std::vector<uint8_t>& bytes, int contexts)
        : bytes_(bytes), state_(contexts), mps_(contexts) {
        ByteIn();
        c_ <<= 8;
        ByteIn();
        c_ <<= 8;
        ByteIn();
        ct_ = 8;
    }

    int Decode(int cx) {
        const QmState& s = kQmStates[state_[cx]];
        a_ -= s.qe;
        int d;
        if ((c_ >> 16) < a_) {
            if (a_ >= 0x8000) {
                return mps_[cx];
            }
            d = a_ < s.qe ? Lps(cx) : Mps(cx);
        } else {
            c_ -= a_ << 16;
            d = a_ < s.qe ? Mps(cx) : Lps(cx);
            a_ = s.qe;
        }
        do {
            if (ct_ == 0) {
                ByteIn();
                ct_ = 8;
            }
            a_ <<= 1;
            c_ <<= 1;
            --ct_;
        } while (a_ < 0x8000);
        return d;
    }

    bool damaged = false;
    bool ended = false;

  private:
    int Mps(int cx) {
        state_[cx] = kQmStates[state_[cx]].nextMps;
        return mps_[cx];
    }
    int Lps(int cx) {
        const QmState& s = kQmStates[state_[cx]];
        const int d = 1 - mps_[cx];
        mps_[cx] ^= s.swap;
        state_[cx] = s.nextLps;
        return d;
    }
    void ByteIn() {
        if (ended || damaged) {
            return;
        }
        if (pos_ >= bytes_.size()) {
            damaged = true;
            return;
        }
        uint32_t b = bytes_[pos_++];
        if (b == 0xFF) {
            const int next = pos_ < bytes_.size() ? bytes_[pos_++] : -1;
            ended = next == 0x02;
            damaged = next != 0x00 && next != 0x02;
            b = next == 0x00 ? 0xFF : 0;
        }
        c_ += b << 8;
    }

    std::vector<uint8_t> bytes_;
    size_t pos_ = 0;
    uint32_t a_ = 0x10000;
    uint32_t c_ = 0;
    int ct_ = 0;
    std::vector<int> state_, mps_;
};

// Random streams, most bytes skewed towards small values so that long runs of likely
// decisions occur, with FF 00 escapes, and ending with the end escape, a damaged escape, a
// lone FF or nothing; random contexts, some of them much more often than others, decided
// by either of the decoder's two ways at random.
TEST(QmCoder, MatchesTheTextbookDecoderDecisionByDecision) {
    std::mt19937 rng(17);
    for (int run = 0; run < 200; ++run) {
        std::vector<uint8_t> bytes(rng() % 300);
        for (uint8_t& b : bytes) {
            const unsigned r = rng();
            b = static_cast<uint8_t>(r % 16 == 0 ? 0xFF : r % 3 == 0 ? r >> 8 : (r >> 8) % 8);
        }
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (bytes[i] == 0xFF) {
                bytes.insert(bytes.begin() + static_cast<long>(++i), 0x00);
            }
        }
        const std::vector<std::vector<uint8_t>> endings = {{0xFF, 0x02}, {0xFF, 0x05}, {0xFF}, {}};
        const std::vector<uint8_t>& ending = endings[run % 4];
        bytes.insert(bytes.end(), ending.begin(), ending.end());
        TextbookQm oracle(bytes, 8);
        QmDecoder decoder(bytes.data(), bytes.size(), 8);
        for (int i = 0; i < 4000; ++i) {
            const int cx = rng() % 4 == 0 ? static_cast<int>(rng() % 8) : i % 2;
            int decision;
            {
                QmDecoder::Session session(decoder);
                decision = rng() % 2 == 0 ? session.Decode(cx) : session.DecodeBranchFree(cx);
            }
            ASSERT_EQ(decision, oracle.Decode(cx)) << "run " << run << " decision " << i;
            ASSERT_EQ(decoder.Damaged(), oracle.damaged) << "run " << run << " decision " << i;
            ASSERT_EQ(decoder.EndSeen(), oracle.ended) << "run " << run << " decision " << i;
        }
    }
}

TEST(WicTransform, InverseMatchesHandComputedCases) {
    const struct {
        int side, levels;
        float step;
        std::vector<float> in, want;
    } cases[] = {
        {2, 1, 1.0f, {10, 4, 2, 8}, {9, 9, 7, 15}},
        {2, 1, 2.0f, {10, 4, 2, 8}, {3, 1, 0, 6}},  // low halves divided by the step
        {4,
         2,
         1.0f,
         {16, 0, 0, 0, 0, 4, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0},
         {13, 14, 15, 15, 21, 18.5f, 16, 16, 13, 15, 17, 17, 13, 15, 17, 17}},
    };
    for (const auto& c : cases) {
        std::vector<float> m = c.in;
        int lines = 0;
        wic::InverseWavelet(m.data(), c.side, c.side, c.levels, c.step, [&] { ++lines; });
        EXPECT_EQ(m, c.want) << c.side << " step " << c.step;
        EXPECT_EQ(lines, c.side == 2 ? 4 : 4 + 8);  // a check before every column and row
    }
}

// One line lifted by the rule written out sample by sample.
std::vector<float> LiftedByTheRule(const std::vector<float>& line, float step) {
    const int m = static_cast<int>(line.size()) / 2;
    std::vector<float> even(m), lifted(line.size());
    for (int i = 0; i < m; ++i) {
        const float lo = step == 1.0f ? line[i] : line[i] / step;
        even[i] = i == 0 ? lo - line[m] * 0.5f : lo - (line[m + i - 1] + line[m + i]) * 0.25f;
    }
    for (int i = 0; i < m; ++i) {
        lifted[2 * i] = even[i];
        lifted[2 * i + 1] =
            i + 1 < m ? (even[i] + even[i + 1]) * 0.5f + line[m + i] : even[i] + line[m + i];
    }
    return lifted;
}

// The whole matrix by that rule: coarsest level first, the level's columns, then its rows.
void TransformByTheRule(std::vector<float>& matrix, int width, int height, int levels, float step) {
    const auto at = [&](int x, int y) -> float& { return matrix[size_t(y) * width + x]; };
    for (int k = levels - 1; k >= 0; --k) {
        const int w = width >> k, h = height >> k;
        for (int x = 0; x < w; ++x) {
            std::vector<float> column(h);
            for (int y = 0; y < h; ++y) {
                column[y] = at(x, y);
            }
            column = LiftedByTheRule(column, step);
            for (int y = 0; y < h; ++y) {
                at(x, y) = column[y];
            }
        }
        for (int y = 0; y < h; ++y) {
            const std::vector<float> row(&at(0, y), &at(0, y) + w);
            std::copy_n(LiftedByTheRule(row, step).begin(), w, &at(0, y));
        }
    }
}

// Lines long enough for the four-at-a-time loop and their ends.
TEST(WicTransform, LongLinesFollowTheLiftingRule) {
    std::mt19937 rng(11);
    for (const float step : {1.0f, 0.75f}) {
        for (int n = 2; n <= 42; n += 2) {
            std::vector<float> line(n), scratch(n);
            for (float& v : line) {
                v = static_cast<float>(static_cast<int>(rng() % 4001) - 2000) / 16.0f;
            }
            const std::vector<float> want = LiftedByTheRule(line, step);
            wic::InverseLift(line.data(), n, step, scratch.data());
            EXPECT_EQ(line, want) << "n " << n << " step " << step;
        }
    }
}

// The finest level made a row at a time gives, bit for bit, the rows of the whole transform
// (the colour pass relies on it), down to the two-row matrix.
TEST(WicTransform, FinestRowsMatchTheWholeTransform) {
    const struct {
        int width, height, levels;
        float step;
    } shapes[] = {{2, 2, 1, 1.0f}, {8, 4, 2, 1.5f}, {16, 32, 3, 1.0f}, {24, 40, 3, 0.75f}};
    std::mt19937 rng(5);
    for (const auto& c : shapes) {
        std::vector<float> whole(static_cast<size_t>(c.width) * c.height);
        for (float& v : whole) {
            v = static_cast<float>(static_cast<int>(rng() % 2001) - 1000) / 8.0f;
        }
        std::vector<float> rest = whole;
        TransformByTheRule(whole, c.width, c.height, c.levels, c.step);
        wic::InverseWavelet(rest.data(), c.width, c.height, c.levels, c.step, {}, nullptr, false);
        wic::FinestRows rows(rest.data(), c.width, c.height, c.step);
        for (int r = 0; r < c.height; ++r) {
            const float* row = rows.Row(r);
            for (int x = 0; x < c.width; ++x) {
                ASSERT_EQ(row[x], whole[static_cast<size_t>(r) * c.width + x])
                    << c.width << "x" << c.height << " at " << x << "," << r;
            }
        }
    }
}

// Random coefficients, mostly small with a few large ones and quiet regions, so that
// whole trees stay insignificant over several bit planes.
wictest::Coefficients RandomCoefficients(int width, int height, int levels, unsigned seed,
                                         int largest = 300000) {
    wictest::Coefficients c;
    c.width = width;
    c.height = height;
    c.matrix = {width, height, levels};
    std::mt19937 rng(seed);
    for (auto& plane : c.plane) {
        plane.resize(static_cast<size_t>(width) * height);
        for (size_t i = 0; i < plane.size(); ++i) {
            const unsigned r = rng();
            const int magnitude = r % 7 == 0     ? int(rng() % largest)
                                  : r % 101 == 0 ? largest - 1
                                  : r % 3 == 0   ? 0
                                                 : int(rng() % 9);
            plane[i] = (i / width) % 8 < 3 ? 0 : (r & 1 ? -magnitude : magnitude);
        }
    }
    return c;
}

// The finest level read a row at a time from the store, the rest moved into a quarter.
// With takeRows, the first takeRows rows are taken (read and cleared), the rest read and
// then cleared, and the quarter's levels cleared as they are moved, as the luminance is:
// the next plane decoded into the store shows whether all of it was cleared.
void ReadSplit(wic::ZerotreeStore& store, float* matrix, int takeRows = 0) {
    const auto w = static_cast<size_t>(store.Geometry().width);
    const size_t halfW = w / 2;
    const size_t halfH = static_cast<size_t>(store.Geometry().height) / 2;
    std::vector<float> quarter(halfW * halfH);
    store.MoveCoarserLevels(quarter.data(), takeRows > 0);
    for (size_t y = 0; y < halfH; ++y) {
        std::copy_n(quarter.data() + y * halfW, halfW, matrix + y * w);
        float* high = matrix + (halfH + y) * w;
        if (static_cast<int>(y) < takeRows) {
            store.TakeFinestRow(static_cast<int>(y), matrix + y * w + halfW, high, high + halfW);
        } else {
            store.ReadFinestRow(static_cast<int>(y), matrix + y * w + halfW, high, high + halfW);
        }
    }
    if (takeRows > 0) {
        store.ClearFinestRowsFrom(takeRows);
    }
}

// The three planes' samples, one matrix after the other: the first read as the decoder
// reads the luminance, the second moved out whole, the last read as the colour pass reads
// the colour differences.
std::vector<float> DecodePlanes(const std::vector<uint8_t>& file, const wic::WicGeometry& g) {
    QmDecoder qm(file.data() + 24, file.size() - 24, wic::kContextCount);
    const size_t count = static_cast<size_t>(g.width) * g.height;
    std::vector<float> samples(3 * count);
    wic::ZerotreeStore store(g, std::max({file[21], file[22], file[23]}));
    for (int p = 0; p < 3; ++p) {
        wic::ZerotreeDecode(file[21 + p], qm, store, {});
        if (p == 0) {
            ReadSplit(store, samples.data(), std::max(1, g.height / 4));
        } else if (p == 1) {
            store.MoveToMatrix(samples.data() + count);
        } else {
            ReadSplit(store, samples.data() + 2 * count);
        }
    }
    EXPECT_FALSE(qm.Damaged());
    return samples;
}

// Up to 15 bit planes the scan keeps 16-bit words: 32767 is the largest magnitude they
// hold, 32768 needs 32-bit words (the larger shapes draw largest - 1 a few times).
TEST(WicZerotree, IntegerCoefficientsComeBackExactly) {
    const wic::WicGeometry shapes[] = {{2, 2, 1}, {32, 16, 3}, {16, 48, 4}, {64, 64, 6}};
    for (const auto& g : shapes) {
        for (const int largest : {300000, 32769, 32768, 9}) {
            const wictest::Coefficients c =
                RandomCoefficients(g.width, g.height, g.levels, g.width, largest);
            const std::vector<float> samples = DecodePlanes(wictest::EncodeWic(c), g);
            const size_t count = c.plane[0].size();
            for (int p = 0; p < 3; ++p) {
                for (size_t i = 0; i < count; ++i) {
                    ASSERT_EQ(samples[p * count + i], c.plane[p][i])
                        << g.width << "x" << g.height << " largest " << largest << " plane " << p
                        << " at " << i;
                }
            }
        }
    }
}

TEST(WicZerotree, AnEndedPlaneKeepsMidpointsAndTheNextPlanesStillDecode) {
    const wictest::Coefficients c = RandomCoefficients(32, 32, 3, 7);
    const std::vector<float> samples =
        DecodePlanes(wictest::EncodeWic(c, {.cutLumaLastBitPlane = true}), c.matrix);
    const size_t count = c.plane[0].size();
    for (size_t i = 0; i < count; ++i) {
        // Without the last bit plane a value is known to within 2: its middle is odd.
        const int32_t v = c.plane[0][i];
        const int32_t want = std::abs(v) < 2 ? 0 : (v < 0 ? -(std::abs(v) | 1) : (v | 1));
        ASSERT_EQ(samples[i], want) << i;
        ASSERT_EQ(samples[count + i], c.plane[1][i]) << i;
        ASSERT_EQ(samples[2 * count + i], c.plane[2][i]) << i;
    }
}

// Rows are made eight pixels at a time (where the processor has AVX2) or four, with stores
// that reach past them, the rest one at a time: every width must give each pixel by the
// conversion rule and leave the bytes after the row alone, both ways.
TEST(WicPixels, RowsFollowTheConversionAtEveryWidthAndStopAtTheRowsEnd) {
    const float edges[] = {254.6f, -0.4f, 300.0f, NAN, 127.5f, -300.0f, 0.49f, 17.0f};
    std::mt19937 rng(3);
    for (int run = 0; run < 2 * 29; ++run) {
        const int width = 1 + run / 2;
        const auto vectors = run % 2 == 0 ? wic::RowVectors::Widest : wic::RowVectors::Sse2;
        std::vector<float> y(width), cr(width), cb(width);
        for (int x = 0; x < width; ++x) {
            y[x] = x < 8 ? edges[x] : static_cast<float>(rng() % 3000) / 10.0f - 20.0f;
            cr[x] = static_cast<float>(rng() % 2000) / 10.0f - 100.0f;
            cb[x] = x == 5 ? NAN : static_cast<float>(rng() % 2000) / 10.0f - 100.0f;
        }
        std::vector<uint8_t> grey(3 * width + 16, 0xA5), colour(3 * width + 16, 0xA5);
        wic::GreyRow(y.data(), width, grey.data(), vectors);
        wic::ColourRow(y.data(), cr.data(), cb.data(), width, colour.data(), vectors);
        for (int x = 0; x < width; ++x) {
            const uint8_t level = ColorFromFloatToInt(y[x]);
            const uint8_t want[3] = {
                ColorFromFloatToInt(y[x] + 1.772f * cb[x]),
                ColorFromFloatToInt(y[x] - 0.34414f * cb[x] - 0.71414f * cr[x]),
                ColorFromFloatToInt(y[x] + 1.402f * cr[x])};
            for (int k = 0; k < 3; ++k) {
                ASSERT_EQ(grey[3 * x + k], level) << "run " << run << " pixel " << x;
                ASSERT_EQ(colour[3 * x + k], want[k]) << "run " << run << " pixel " << x;
            }
        }
        for (size_t i = 3 * width; i < grey.size(); ++i) {
            ASSERT_EQ(grey[i], 0xA5) << "run " << run;
            ASSERT_EQ(colour[i], 0xA5) << "run " << run;
        }
    }
    EXPECT_EQ(ColorFromFloatToInt(254.6f), 255);
    EXPECT_EQ(ColorFromFloatToInt(-0.4f), 0);
    EXPECT_EQ(ColorFromFloatToInt(NAN), 0);
}

}  // namespace
