// What a load hands to the panel: reports built from the decoder's callbacks, and the
// channel that carries them; the panel tests cover the rest of the hand-over.

#include <gtest/gtest.h>

#include <cstring>

#include "Components/ImgPanel/LoadSession.h"

namespace {

// A decoder whose events the test raises by hand.
class HandDecoder : public TImgCtrl {
  public:
    // A picture whose every byte of screen row y holds y.
    void MakePicture(int w, int h, int bpp) {
        SetPicture(DibCreate(w, h, bpp));
        for (int y = 0; y < h; ++y) {
            std::memset(DibBits(Picture()) + size_t(h - 1 - y) * DibRowBytes(Picture()), y,
                        DibRowBytes(Picture()));
        }
    }
    void Raise(int from, int to, TImgEvent e) { DoProgress(from, to, e); }
};

TEST(LoadSessionTest, RowsAreCopiedAndFinishedSendsTheFinalPicture) {
    LoadChannel channel;
    int wakes = 0;
    LoadSession session(7, FrameGeometry{100, 100, 0, 2, -1.0}, {}, {}, channel, [&] { ++wakes; });
    HandDecoder decoder;
    decoder.OnProgress = [&session](TImgCtrl* s, PackedDib d, int f, int t, TImgEvent e) {
        session.OnImageLoadingProgress(s, d, f, t, e);
    };
    decoder.Raise(0, 5, TImgEvent::RowsDecoded);  // no picture yet: nothing to copy
    decoder.MakePicture(4, 50, 8);
    decoder.Raise(-20, 0, TImgEvent::RowsDecoded);  // the first strip is clamped to row 0
    decoder.Raise(0, 20, TImgEvent::RowsDecoded);
    decoder.Raise(40, 20, TImgEvent::RowsDecoded);   // either order
    decoder.Raise(45, 400, TImgEvent::RowsDecoded);  // clamped to the picture
    // Rows written again after they were sent (a second pass), and a new palette entry:
    // the finished picture must carry both.
    std::memset(DibBits(decoder.Picture()) + 49 * DibRowBytes(decoder.Picture()), 0xAB, 4);
    DibPalette(decoder.Picture())[3].rgbRed = 200;
    const PackedDib finished = decoder.Picture();
    decoder.Raise(0, 0, TImgEvent::Finished);
    auto reports = channel.Take(7);
    ASSERT_EQ(reports.size(), 5u);
    const std::pair<int, int> ranges[] = {{0, 0}, {0, 20}, {20, 40}, {45, 49}};
    for (int i = 0; i < 4; ++i) {
        const LoadReport& r = reports[i];
        ASSERT_EQ(r.kind, LoadReport::Kind::Rows) << i;
        EXPECT_EQ(std::make_pair(r.firstRow, r.lastRow), ranges[i]) << i;
        // The palette travels first and whenever it changed.
        EXPECT_EQ(r.palette.size(), i == 0 ? 256u : 0u) << i;
        ASSERT_EQ(r.rows.size(), 4u * (r.lastRow - r.firstRow + 1));
        // Stored bottom row first: the block's first row is the strip's last screen row.
        EXPECT_EQ(r.rows.front(), r.lastRow) << i;
        EXPECT_EQ(r.rows.back(), r.firstRow) << i;
    }
    // The finished picture itself moves over, rewritten rows and palette included; no
    // copy of it is made.
    EXPECT_EQ(reports[4].kind, LoadReport::Kind::Finished);
    EXPECT_EQ(reports[4].picture.get(), finished);
    EXPECT_EQ(decoder.Picture(), nullptr);
    EXPECT_EQ(DibPalette(reports[4].picture.get())[3].rgbRed, 200);
    EXPECT_EQ(wakes, 1);  // one wake-up for everything queued before the panel drained it
}

TEST(LoadSessionTest, APictureBudgetLeavesRoomForTheSystem) {
    const uint64_t gib = uint64_t{1} << 30;
    EXPECT_EQ(PictureBudget(std::nullopt), std::nullopt);
    EXPECT_EQ(PictureBudget(gib), gib - gib / 8);
    EXPECT_EQ(PictureBudget(256 << 20), 192u << 20);  // 64 MiB at least
    EXPECT_EQ(PictureBudget(16 * gib), 14 * gib);
    EXPECT_EQ(PictureBudget(100), 0u);
}

TEST(LoadChannelTest, WakesOncePerDrainAndDropsOtherGenerations) {
    LoadChannel channel;
    const auto report = [](uint64_t generation) {
        LoadReport r;
        r.generation = generation;
        return r;
    };
    EXPECT_TRUE(channel.Post(report(1)));
    EXPECT_FALSE(channel.Post(report(2)));  // a wake-up is already on its way
    const auto taken = channel.Take(2);
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].generation, 2u);
    EXPECT_TRUE(channel.Post(report(2)));
    channel.Discard();
    EXPECT_TRUE(channel.Take(2).empty());
}

}  // namespace
