// Decoding a series ahead on worker threads: order, failures and stopping early.

#include "app/SlideShow/SeriesPrefetcher.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QBuffer>
#include <QFile>
#include <QImage>

#include <atomic>
#include <csignal>
#include <thread>

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

// Each prefetcher is also left with pictures decoded, under way and not started, and must
// stop and join its workers.
TEST_F(SeriesPrefetcherTest, HandsOutPicturesInSeriesOrderWhateverTheWorkers) {
    const QStringList files = Make(9);
    for (int workers : {1, 2, 3, 5}) {
        SeriesPrefetcher prefetcher(files, 1, workers);
        SeriesPrefetcher leftEarly(files, 1, workers);
        EXPECT_TRUE(leftEarly.TakeNext());
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

// A decode under way when the prefetcher goes must stop at its next row, not run to its
// end. The picture comes through a pipe: the writer learns how much of it the decoder
// read before it closed the file.
TEST_F(SeriesPrefetcherTest, StoppingAbortsTheDecodeUnderWay) {
    QImage noise(2048, 1536, QImage::Format_RGB32);
    for (int y = 0; y < noise.height(); ++y) {
        auto* line = reinterpret_cast<quint32*>(noise.scanLine(y));
        for (int x = 0; x < noise.width(); ++x) {
            line[x] = quint32(x * 2654435761u + y * 40503u) | 0xff000000u;
        }
    }
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(noise.save(&buffer, "jpeg", 95));
    const QString pipe = series.Path("pipe.jpg");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const auto previous = std::signal(SIGPIPE, SIG_IGN);  // a closed pipe is an answer here

    std::atomic<bool> headerSent{false};
    std::atomic<bool> stopping{false};
    qint64 written = 0;
    std::thread writer([&] {
        // Opening waits for the decoder to open its end.
        const int fd = ::open(QFile::encodeName(pipe).constData(), O_WRONLY);
        const qint64 head = 4096;  // the header: the decoder then waits for picture data
        written = ::write(fd, jpeg.constData(), head);
        headerSent.store(true);
        while (!stopping.load()) {
            std::this_thread::yield();
        }
        while (written < jpeg.size()) {
            const ssize_t n = ::write(fd, jpeg.constData() + written,
                                      std::min<qint64>(4096, jpeg.size() - written));
            if (n <= 0) {
                break;  // the decoder closed the file
            }
            written += n;
        }
        ::close(fd);
    });
    {
        SeriesPrefetcher prefetcher({pipe}, 1, 1);
        while (!headerSent.load()) {
            std::this_thread::yield();
        }
        stopping.store(true);
    }
    writer.join();
    std::signal(SIGPIPE, previous);
    EXPECT_LT(written, jpeg.size() / 2) << "of " << jpeg.size() << " bytes";
}

TEST(SeriesMemory, EstimateCountsEverythingThePreviewHolds) {
    const slideshow::SeriesPictureInfo info{1500, 1000, 24, 1000};
    const uint64_t picture = 4501504;             // 40 + 4500 x 1000 rounded up to whole pages
    const uint64_t thumbnail = 2 * 4 * 112 * 75;  // an image and a pixmap of the 112 x 75 cell
    const uint64_t budget = uint64_t{512} << 20;
    // The series and its turn, the pictures in flight, the thumbnails and the frames: all
    // 36 frames fit the budget, 2000 of them are held to it.
    EXPECT_EQ(slideshow::EstimateSeriesBytes(info, 36, 3, budget),
              picture * (72 + 9) + 3000 + 36 * thumbnail + 36 * 4 * 1500 * 1000);
    EXPECT_EQ(slideshow::EstimateSeriesBytes(info, 2000, 3, budget),
              picture * (4000 + 9) + 3000 + 2000 * thumbnail + budget);
}

// Room is left for the rest of the system, and the workers shrink to what the memory allows.
TEST(SeriesMemory, WorkersShrinkToWhatTheMemoryAllowsLeavingRoomForTheSystem) {
    const uint64_t gib = uint64_t{1} << 30;
    EXPECT_TRUE(slideshow::FitsAvailableMemory(100 * gib, std::nullopt));
    EXPECT_TRUE(slideshow::FitsAvailableMemory(gib - gib / 8, gib));
    EXPECT_FALSE(slideshow::FitsAvailableMemory(gib - gib / 8 + 1, gib));
    EXPECT_FALSE(slideshow::FitsAvailableMemory((300 << 20) + 1, 364 << 20));  // 64 MiB at least
    EXPECT_FALSE(slideshow::FitsAvailableMemory(100, 100));
    // Just under what a large machine has left: an eighth of it stays free.
    EXPECT_FALSE(slideshow::FitsAvailableMemory(23'100'000'000, 23'200'000'000));
    EXPECT_TRUE(slideshow::FitsAvailableMemory(20'300'000'000, 23'200'000'000));

    const slideshow::SeriesPictureInfo info{1500, 1000, 24, 1000};
    // The least memory available with which a series for so many workers fits, the system's
    // reserve included.
    const auto needed = [&](int workers) {
        const uint64_t bytes = slideshow::EstimateSeriesBytes(info, 36, workers);
        uint64_t low = bytes, high = 2 * bytes + slideshow::kMemoryReserve;
        while (low < high) {
            const uint64_t mid = low + (high - low) / 2;
            slideshow::FitsAvailableMemory(bytes, mid) ? high = mid : low = mid + 1;
        }
        return low;
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
