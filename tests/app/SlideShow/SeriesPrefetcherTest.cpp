// Decoding a series ahead on worker threads: order, failures and stopping early.

#include "app/SlideShow/SeriesPrefetcher.h"

#include <gtest/gtest.h>

#include "SlideFixtures.h"
#include "app/SlideShow/SeriesLoader.h"

using slideshow::SeriesPrefetcher;

namespace {

class SeriesPrefetcherTest : public ::testing::Test {
  protected:
    // Pictures whose widths tell them apart: 16, 24, 32 ...
    QStringList Make(int count) {
        QStringList files;
        for (int i = 0; i < count; ++i) {
            files.append(series.Add(QStringLiteral("w%1.jpg").arg(i), {16 + 8 * i, 16, Qt::red}));
        }
        return files;
    }

    slidetest::Series series;
};

}  // namespace

TEST_F(SeriesPrefetcherTest, HandsOutPicturesInSeriesOrderWhateverTheWorkers) {
    const QStringList files = Make(9);
    for (int workers : {1, 2, 3, 5}) {
        SeriesPrefetcher prefetcher(files, 1, workers);
        for (int i = 0; i < 9; ++i) {
            UniqueDib picture = prefetcher.TakeNext();
            ASSERT_TRUE(picture) << i;
            EXPECT_EQ(DibWidth(picture.get()), 16 + 8 * i) << "workers " << workers;
        }
        EXPECT_FALSE(prefetcher.TakeNext());
    }
    SeriesPrefetcher empty(QStringList(), 1, 3);
    EXPECT_FALSE(empty.TakeNext());
}

TEST_F(SeriesPrefetcherTest, UnreadablePictureGivesNullAndTheRestStillComes) {
    QStringList files = Make(4);
    files[1] = series.Path("missing.jpg");
    slidetest::Truncate(files[2], 120);
    SeriesPrefetcher prefetcher(files, 2, 3);
    EXPECT_TRUE(prefetcher.TakeNext());
    EXPECT_FALSE(prefetcher.TakeNext());
    EXPECT_FALSE(prefetcher.TakeNext());
    UniqueDib last = prefetcher.TakeNext();
    ASSERT_TRUE(last);
    EXPECT_EQ(DibWidth(last.get()), 20);  // 40 at 1/2
}

TEST_F(SeriesPrefetcherTest, StoppingEarlyAbortsAndJoins) {
    const QStringList files = Make(12);
    for (int taken = 0; taken < 3; ++taken) {
        SeriesPrefetcher prefetcher(files, 1, 3);
        for (int i = 0; i < taken; ++i) {
            EXPECT_TRUE(prefetcher.TakeNext());
        }
    }  // each prefetcher ends with pictures decoded, under way and not started
}

TEST(SeriesMemory, EstimateCountsTheSeriesItsTurnAndThePicturesInFlight) {
    const slideshow::SeriesPictureInfo info{1500, 1000, 24, 1000};
    const uint64_t picture = 4501504;  // 40 + 4500 x 1000 rounded up to whole pages
    EXPECT_EQ(slideshow::EstimateSeriesBytes(info, 36, 3), picture * (72 + 9) + 3000);
    EXPECT_TRUE(slideshow::FitsAvailableMemory(100, std::nullopt));
    EXPECT_TRUE(slideshow::FitsAvailableMemory(100, 100));
    EXPECT_FALSE(slideshow::FitsAvailableMemory(101, 100));
}

TEST(SeriesMemory, WorkersShrinkToWhatTheMemoryAllows) {
    const slideshow::SeriesPictureInfo info{1500, 1000, 24, 1000};
    const auto needed = [&](int workers) {
        return slideshow::EstimateSeriesBytes(info, 36, workers);
    };
    EXPECT_EQ(slideshow::WorkersThatFit(info, 36, 7, std::nullopt), 7);
    EXPECT_EQ(slideshow::WorkersThatFit(info, 36, 7, needed(7)), 7);
    EXPECT_EQ(slideshow::WorkersThatFit(info, 36, 7, needed(4) - 1), 3);
    EXPECT_EQ(slideshow::WorkersThatFit(info, 36, 7, needed(1)), 1);
    EXPECT_EQ(slideshow::WorkersThatFit(info, 36, 7, needed(1) - 1), 0);
    EXPECT_EQ(slideshow::WorkersThatFit(info, 36, 0, std::nullopt), 1);
}

TEST(SeriesMemory, HeaderGivesTheScaledSizeAndGreyness) {
    slidetest::Series series;
    const QString colour = series.Add("c.jpg", {100, 60, Qt::red});
    const auto info = slideshow::ReadSeriesPictureInfo(colour, 4);
    ASSERT_TRUE(info);
    EXPECT_EQ(QSize(info->outputWidth, info->outputHeight), QSize(25, 15));
    EXPECT_EQ(info->bitCount, 24);
    const auto grey =
        slideshow::ReadSeriesPictureInfo(series.Add("g.jpg", {100, 60, Qt::gray, true}), 8);
    ASSERT_TRUE(grey);
    EXPECT_EQ(grey->bitCount, 8);
    EXPECT_EQ(grey->outputWidth, 13);  // rounded up
    EXPECT_FALSE(slideshow::ReadSeriesPictureInfo(series.Path("none.jpg"), 1));
    slidetest::Truncate(colour, 10);
    EXPECT_FALSE(slideshow::ReadSeriesPictureInfo(colour, 1));
}
