// What a load hands to the panel: reports built from the decoder's callbacks, and the
// channel that carries them.

#include <gtest/gtest.h>

#include <cstring>

#include "Components/ImgPanel/ImgErrors.h"
#include "Components/ImgPanel/LoadSession.h"

namespace {

// A decoder whose events the test raises by hand.
class HandDecoder : public TImgCtrl {
  public:
    HandDecoder(int width, int height) {
        width_ = width;
        height_ = height;
    }
    void MakePicture(int w, int h, int bpp) { SetPicture(DibCreate(w, h, bpp)); }
    void Raise(int from, int to, TImgEvent e) { DoProgress(from, to, e); }
    void Fail(unsigned long code) {
        RunDecodeFrame("x", [code] { throw TImgDecodeError{code}; });
    }
    // Writes value into every byte of screen row y.
    void FillRow(int y, uint8_t value) {
        PackedDib dib = Picture();
        std::memset(DibBits(dib) + static_cast<size_t>(DibHeight(dib) - 1 - y) * DibRowBytes(dib),
                    value, DibRowBytes(dib));
    }
};

class LoadSessionTest : public ::testing::Test {
  protected:
    static constexpr uint64_t kGeneration = 7;
    LoadChannel channel;
    FrameGeometry geometry{100, 100, 0, 2, -1.0};
    std::vector<std::string> userErrors;
    int userProgress = 0;
    int wakes = 0;

    std::unique_ptr<LoadSession> MakeSession() {
        return std::make_unique<LoadSession>(
            kGeneration, geometry,
            [this](TImgCtrl*, PackedDib, int, int, TImgEvent) { ++userProgress; },
            [this](TImgCtrl*, const std::string& text) { userErrors.push_back(text); }, channel,
            [this] { ++wakes; });
    }
    void Connect(HandDecoder& decoder, LoadSession& session) {
        decoder.OnProgress = [&session](TImgCtrl* s, PackedDib d, int f, int t, TImgEvent e) {
            session.OnImageLoadingProgress(s, d, f, t, e);
        };
        decoder.OnError = [&session](TImgCtrl* s, const std::string& text) {
            session.OnErrorOccur(s, text);
        };
    }
};

TEST_F(LoadSessionTest, HeaderSetsTheCoefficientFromTheSnapshotAndReportsTheSize) {
    auto session = MakeSession();
    HandDecoder decoder(300, 200);
    Connect(decoder, *session);
    decoder.Raise(0, 0, TImgEvent::HeaderRead);
    EXPECT_DOUBLE_EQ(decoder.DisplayCoeff(), 0.32);
    EXPECT_EQ(userProgress, 1);
    auto reports = channel.Take(kGeneration);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].kind, LoadReport::Kind::Header);
    EXPECT_EQ(reports[0].pictureWidth, 300);
    EXPECT_EQ(reports[0].pictureHeight, 200);
    EXPECT_EQ(reports[0].generation, kGeneration);
}

TEST_F(LoadSessionTest, RowsAreCopiedAndFinishedSendsOnlyWhatIsMissing) {
    auto session = MakeSession();
    HandDecoder decoder(10, 50);
    Connect(decoder, *session);
    decoder.MakePicture(4, 50, 24);
    for (int y = 0; y < 50; ++y) {
        decoder.FillRow(y, static_cast<uint8_t>(y));
    }
    decoder.Raise(-20, 0, TImgEvent::RowsDecoded);  // the first strip is clamped to row 0
    decoder.Raise(0, 20, TImgEvent::RowsDecoded);
    decoder.Raise(40, 20, TImgEvent::RowsDecoded);  // either order
    decoder.Raise(0, 0, TImgEvent::Finished);
    const auto reports = channel.Take(kGeneration);
    ASSERT_EQ(reports.size(), 5u);
    const std::pair<int, int> ranges[] = {{0, 0}, {0, 20}, {20, 40}, {41, 49}};
    for (int i = 0; i < 4; ++i) {
        const LoadReport& r = reports[i];
        ASSERT_EQ(r.kind, LoadReport::Kind::Rows) << i;
        EXPECT_EQ(r.firstRow, ranges[i].first) << i;
        EXPECT_EQ(r.lastRow, ranges[i].second) << i;
        EXPECT_EQ(r.dibWidth, 4);
        EXPECT_EQ(r.dibHeight, 50);
        EXPECT_EQ(r.dibBitCount, 24);
        const size_t rowBytes = 12;
        ASSERT_EQ(r.rows.size(), rowBytes * (r.lastRow - r.firstRow + 1));
        // Stored bottom row first: the block's first row is the strip's last screen row.
        EXPECT_EQ(r.rows.front(), r.lastRow) << i;
        EXPECT_EQ(r.rows.back(), r.firstRow) << i;
    }
    EXPECT_EQ(reports[4].kind, LoadReport::Kind::Finished);
    EXPECT_EQ(wakes, 1);  // one wake-up for everything queued before the panel drained it
}

TEST_F(LoadSessionTest, RowsOutsideThePictureAreClampedAndMissingPicturesIgnored) {
    auto session = MakeSession();
    HandDecoder decoder(10, 10);
    Connect(decoder, *session);
    decoder.Raise(0, 5, TImgEvent::RowsDecoded);  // no picture yet: nothing to copy
    decoder.MakePicture(3, 10, 8);
    decoder.Raise(5, 400, TImgEvent::RowsDecoded);
    const auto reports = channel.Take(kGeneration);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].firstRow, 5);
    EXPECT_EQ(reports[0].lastRow, 9);
    EXPECT_EQ(reports[0].palette.size(), 256u);  // the palette travels with the first rows
}

TEST_F(LoadSessionTest, AbortIsSilentOtherFailuresShowOneText) {
    auto session = MakeSession();
    HandDecoder decoder(10, 10);
    Connect(decoder, *session);
    decoder.Fail(ImgError::Aborted);
    EXPECT_TRUE(channel.Take(kGeneration).empty());
    decoder.Fail(ImgError::OpenFailed);
    const auto reports = channel.Take(kGeneration);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].kind, LoadReport::Kind::Error);
    EXPECT_EQ(reports[0].text, "Error loading file.");
    ASSERT_EQ(userErrors.size(), 2u);  // the user hears about both, in the decoder's words
    EXPECT_EQ(userErrors[1], FormatErrorMessage(ImgError::OpenFailed));
}

TEST(LoadChannelTest, WakesOncePerDrainAndDropsOtherGenerations) {
    LoadChannel channel;
    LoadReport a;
    a.generation = 1;
    LoadReport b;
    b.generation = 2;
    EXPECT_TRUE(channel.Post(LoadReport(a)));
    EXPECT_FALSE(channel.Post(LoadReport(b)));  // a wake-up is already on its way
    const auto taken = channel.Take(2);
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].generation, 2u);
    EXPECT_TRUE(channel.Post(LoadReport(b)));
    channel.Discard();
    EXPECT_TRUE(channel.Take(2).empty());
}

}  // namespace
