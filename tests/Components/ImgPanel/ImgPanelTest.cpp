// The image panel widget on the offscreen platform: loading with its delay, the loader
// thread, errors, stopping, fitting, fixed scale with dragging, and shown bitmaps.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "Components/ImgPanel/ImgErrors.h"
#include "Components/ImgPanel/ImgPanel.h"
#include "tests/Components/ImgPanel/TestJpeg.h"

namespace {

using namespace std::chrono_literals;
using testjpeg::ScratchDir;

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "imgpanel_tests";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
    }
    void TearDown() override { delete app_; }

  private:
    QApplication* app_ = nullptr;
};
const auto* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

constexpr int kWaitMs = 20000;

// Watches a panel's callbacks (they run on the loader thread) and can hold the decoder in
// one of its row strips until released or told to stop.
struct Watcher {
    std::atomic<int> headers{0};
    std::atomic<int> strips{0};
    std::atomic<int> finished{0};
    std::atomic<int> events{0};
    std::atomic<int> holdAtStrip{-1};  // the strip (counted from 0) the decoder waits in
    std::atomic<bool> heldNow{false};
    std::atomic<bool> release{false};
    std::mutex mutex;
    std::vector<std::pair<bool, std::string>> errors;  // (had a sender, text)
    std::vector<bool> errorsOnUiThread;

    void Attach(TImgPanelCtrl& panel) {
        panel.SetOnProgressLoading(
            [this](TImgCtrl* sender, PackedDib, int, int, TImgEvent e) { OnProgress(sender, e); });
        panel.SetOnErrorLoading([this](TImgCtrl* sender, const std::string& text) {
            std::lock_guard<std::mutex> lock(mutex);
            errors.emplace_back(sender != nullptr, text);
            errorsOnUiThread.push_back(QThread::currentThread() == qApp->thread());
        });
    }

    void OnProgress(TImgCtrl* sender, TImgEvent e) {
        ++events;
        if (e == TImgEvent::HeaderRead) {
            ++headers;
        } else if (e == TImgEvent::Finished) {
            ++finished;
        } else if (e == TImgEvent::RowsDecoded && strips++ == holdAtStrip) {
            heldNow = true;
            const auto deadline = std::chrono::steady_clock::now() + 20s;
            while (!release && !sender->AbortRequested() &&
                   std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(1ms);
            }
            heldNow = false;
        }
    }

    std::vector<std::pair<bool, std::string>> Errors() {
        std::lock_guard<std::mutex> lock(mutex);
        return errors;
    }
};

bool WaitIdle(TImgPanelCtrl& panel) {
    return QTest::qWaitFor([&] { return !panel.IsWaiting() && !panel.IsLoading(); }, kWaitMs);
}

QColor Centre(TImgPanelCtrl& panel) {
    const QImage shot = panel.grab().toImage();
    const QRect client = panel.ClientRect();
    return shot.pixelColor(client.center());
}

bool Near(const QColor& c, int r, int g, int b, int tolerance = 12) {
    return std::abs(c.red() - r) <= tolerance && std::abs(c.green() - g) <= tolerance &&
           std::abs(c.blue() - b) <= tolerance;
}

void SendMouse(QWidget& w, QEvent::Type type, QPoint at, Qt::MouseButton button,
               Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(at), QPointF(w.mapToGlobal(at)), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &event);
}

class ImgPanelTest : public ::testing::Test {
  protected:
    ScratchDir dir;
    Watcher watcher;  // declared before the panel: outlives its loads

    std::string Jpeg(const std::string& name, const testjpeg::Picture& picture) {
        const std::string path = dir.File(name);
        testjpeg::WriteJpeg(path, picture);
        return path;
    }
    static QString Q(const std::string& s) { return QString::fromStdString(s); }
};

TEST_F(ImgPanelTest, StartsEmptyWithItsDefaults) {
    TImgPanel panel;
    EXPECT_EQ(panel.size(), QSize(100, 100));
    EXPECT_EQ(panel.ImageFile(), "");
    EXPECT_EQ(panel.GetDelayLoading(), 100);
    EXPECT_EQ(panel.ImageSplit(), 0);
    EXPECT_TRUE(panel.ShowErrorMsg());
    EXPECT_TRUE(panel.ProgressiveDisplay());
    EXPECT_EQ(panel.SupportedFormat(), "*.bmp, *.ico, *.gif, *.jpeg, *.tiff, *.png, *.wic, *.j2k");
    EXPECT_EQ(panel.ScaleType(), sctSquare);
    EXPECT_EQ(panel.DisplayScanlines(), 20);
    EXPECT_EQ(panel.LoadingPriority(), tpNormal);
    EXPECT_DOUBLE_EQ(panel.Scale(), -1.0);
    EXPECT_EQ(panel.ScrollCursor(), Qt::PointingHandCursor);
    EXPECT_EQ(panel.FrameType(), ftLowered);
    EXPECT_EQ(panel.FilterType(), 12);
    EXPECT_FALSE(panel.IsReadyForPaint());
    EXPECT_TRUE(panel.GetImageRect().isEmpty());
    EXPECT_EQ(panel.property("DelayLoading").toInt(), 100);
    EXPECT_EQ(panel.property("ImageFile").toString(), "");
}

TEST_F(ImgPanelTest, SettersKeepTheirRanges) {
    TImgPanel panel;
    for (int bad : {5, 1001, 0, -1}) {
        panel.SetDelayLoading(bad);
        EXPECT_EQ(panel.GetDelayLoading(), 100) << bad;
    }
    panel.SetDelayLoading(1000);
    EXPECT_EQ(panel.GetDelayLoading(), 1000);
    panel.SetDelayLoading(10);
    EXPECT_EQ(panel.GetDelayLoading(), 10);
    panel.SetDisplayScanlines(0);
    EXPECT_EQ(panel.DisplayScanlines(), 20);
    panel.SetDisplayScanlines(5);
    EXPECT_EQ(panel.DisplayScanlines(), 5);
    panel.SetImageSplit(-1);
    EXPECT_EQ(panel.ImageSplit(), 0);
    EXPECT_TRUE(panel.setProperty("ImageSplit", 4));
    EXPECT_EQ(panel.ImageSplit(), 4);
}

TEST_F(ImgPanelTest, EmptyNameChangesNothing) {
    TImgPanel panel;
    const std::string red = Jpeg("red.jpg", testjpeg::Solid(30, 20, 255, 0, 0));
    panel.LoadFromFile(Q(red));
    EXPECT_TRUE(panel.IsWaiting());
    panel.LoadFromFile("");
    EXPECT_TRUE(panel.IsWaiting());
    EXPECT_EQ(panel.ImageFile(), Q(red));
}

TEST_F(ImgPanelTest, LoadedPictureIsFittedCentredAndPainted) {
    TImgPanel panel;
    watcher.Attach(panel);
    panel.LoadFromFile(Q(Jpeg("red.jpg", testjpeg::Solid(300, 200, 230, 20, 20))));
    ASSERT_TRUE(WaitIdle(panel));
    EXPECT_EQ(watcher.headers, 1);
    EXPECT_EQ(watcher.finished, 1);
    ASSERT_TRUE(panel.IsReadyForPaint());
    EXPECT_EQ(panel.GetImageRect(), QRect(0, 0, 96, 64));
    EXPECT_EQ(panel.ClientRect(), QRect(2, 18, 96, 64));
    ASSERT_NE(panel.DisplayedPicture(), nullptr);
    EXPECT_EQ(DibWidth(panel.DisplayedPicture()), 96);
    EXPECT_EQ(DibHeight(panel.DisplayedPicture()), 64);
    EXPECT_TRUE(Near(Centre(panel), 230, 20, 20)) << Centre(panel).name().toStdString();
    const QImage shot = panel.grab().toImage();
    EXPECT_EQ(shot.pixelColor(0, 0), panel.palette().color(QPalette::Button));
    EXPECT_TRUE(watcher.Errors().empty());
}

TEST_F(ImgPanelTest, SmallPictureIsShownAtItsOwnSizeInTheMiddle) {
    TImgPanel panel;
    panel.LoadFromFile(Q(Jpeg("small.jpg", testjpeg::Solid(50, 40, 0, 0, 255))));
    ASSERT_TRUE(WaitIdle(panel));
    EXPECT_EQ(panel.ClientRect(), QRect(25, 30, 50, 40));
    EXPECT_TRUE(Near(Centre(panel), 0, 0, 255));
}

TEST_F(ImgPanelTest, ABurstOfLoadsDecodesOnlyTheLastFile) {
    TImgPanel panel;
    watcher.Attach(panel);
    panel.LoadFromFile(Q(Jpeg("r.jpg", testjpeg::Solid(60, 40, 255, 0, 0))));
    panel.LoadFromFile(Q(Jpeg("g.jpg", testjpeg::Solid(60, 40, 0, 255, 0))));
    const std::string blue = Jpeg("b.jpg", testjpeg::Solid(60, 40, 0, 0, 255));
    panel.LoadFromFile(Q(blue));
    ASSERT_TRUE(WaitIdle(panel));
    EXPECT_EQ(watcher.headers, 1);
    EXPECT_EQ(panel.ImageFile(), Q(blue));
    EXPECT_TRUE(Near(Centre(panel), 0, 0, 255));
}

TEST_F(ImgPanelTest, UnknownOrNotYetDecodableFormatsShowUnsupported) {
    const std::pair<const char*, std::vector<uint8_t>> files[] = {
        {"notes.txt", {'h', 'e', 'l', 'l', 'o'}},
        {"picture.bmp", {'B', 'M', 0x36, 0, 0, 0}},  // a format whose decoder is not built
    };
    for (const auto& [name, bytes] : files) {
        TImgPanel panel;
        watcher.Attach(panel);
        const std::string path = dir.File(name);
        testjpeg::WriteBytes(path, bytes);
        panel.LoadFromFile(Q(path));
        ASSERT_TRUE(WaitIdle(panel));
        EXPECT_TRUE(panel.ErrorState()) << name;
        EXPECT_EQ(panel.ErrorText(), "Unsupported image's format.");
        EXPECT_EQ(panel.ImageFile(), "");
        panel.Refresh();  // nothing left to reload
        EXPECT_FALSE(panel.IsWaiting());
    }
    const auto errors = watcher.Errors();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_FALSE(errors[0].first);  // no sender
    EXPECT_EQ(errors[0].second, "Unsupported image's format.");
    EXPECT_TRUE(watcher.errorsOnUiThread[0]);
}

TEST_F(ImgPanelTest, BrokenJpegShowsErrorLoadingFile) {
    const std::string good = Jpeg("good.jpg", testjpeg::Detailed(200, 150, 2));
    std::vector<uint8_t> bytes = testjpeg::ReadBytes(good);
    bytes.resize(bytes.size() / 2);
    const std::string broken = dir.File("broken.jpg");
    testjpeg::WriteBytes(broken, bytes);
    TImgPanel panel;
    watcher.Attach(panel);
    panel.LoadFromFile(Q(broken));
    ASSERT_TRUE(WaitIdle(panel));
    EXPECT_TRUE(panel.ErrorState());
    EXPECT_EQ(panel.ErrorText(), "Error loading file.");
    EXPECT_FALSE(panel.IsReadyForPaint());
    const auto errors = watcher.Errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].first);
    EXPECT_EQ(errors[0].second, "Unknown error.");  // the decoder's own words
    EXPECT_FALSE(watcher.errorsOnUiThread[0]);
}

TEST_F(ImgPanelTest, ClearDuringADecodeStopsItAndNothingArrivesAfterwards) {
    TImgPanel panel;
    panel.SetDelayLoading(10);
    watcher.Attach(panel);
    watcher.holdAtStrip = 0;
    panel.LoadFromFile(Q(Jpeg("big.jpg", testjpeg::Detailed(1600, 1200, 4))));
    ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.heldNow.load(); }, kWaitMs));
    panel.Clear();
    EXPECT_FALSE(panel.IsLoading());  // the thread has ended
    const int eventsAtClear = watcher.events;
    const auto errors = watcher.Errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].second, FormatErrorMessage(ImgError::Aborted));
    QTest::qWait(100);  // let any queued report arrive, if one was left
    EXPECT_EQ(watcher.events, eventsAtClear);
    EXPECT_EQ(watcher.finished, 0);
    EXPECT_FALSE(panel.ErrorState());
    EXPECT_FALSE(panel.IsReadyForPaint());
    EXPECT_EQ(panel.DisplayedPicture(), nullptr);
    EXPECT_EQ(panel.ImageFile(), "");
}

TEST_F(ImgPanelTest, ANewLoadStopsTheRunningOneWithoutAnErrorText) {
    TImgPanel panel;
    panel.SetDelayLoading(10);
    watcher.Attach(panel);
    watcher.holdAtStrip = 0;
    panel.LoadFromFile(Q(Jpeg("big.jpg", testjpeg::Detailed(1600, 1200, 4))));
    ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.heldNow.load(); }, kWaitMs));
    panel.LoadFromFile(Q(Jpeg("green.jpg", testjpeg::Solid(60, 40, 0, 200, 0))));
    ASSERT_TRUE(WaitIdle(panel));
    EXPECT_FALSE(panel.ErrorState());
    EXPECT_EQ(panel.ErrorText(), "");
    EXPECT_TRUE(panel.IsReadyForPaint());
    EXPECT_TRUE(Near(Centre(panel), 0, 200, 0));
}

TEST_F(ImgPanelTest, RowsShowWhileDecodingOnlyWithProgressiveDisplay) {
    for (bool progressive : {true, false}) {
        Watcher local;
        TImgPanel panel;
        panel.SetDelayLoading(10);
        panel.SetProgressiveDisplay(progressive);
        local.Attach(panel);
        local.holdAtStrip = 1;  // the first strip's rows are on their way to the panel
        panel.LoadFromFile(Q(Jpeg("big.jpg", testjpeg::Solid(800, 600, 250, 250, 0))));
        ASSERT_TRUE(QTest::qWaitFor([&] { return local.heldNow.load(); }, kWaitMs));
        // The strip's report is queued before the hold: let the panel take it in.
        QTest::qWait(50);
        EXPECT_EQ(panel.IsReadyForPaint(), progressive);
        local.release = true;
        ASSERT_TRUE(WaitIdle(panel));
        EXPECT_TRUE(panel.IsReadyForPaint());
    }
}

TEST_F(ImgPanelTest, FixedScaleShowsAWindowOfThePictureThatCanBeDragged) {
    TImgPanel panel;
    panel.SetScale(2.0);
    panel.SetFilterType(3);
    testjpeg::Picture quarters = testjpeg::Solid(300, 200, 255, 0, 0);
    for (int y = 0; y < 200; ++y) {
        for (int x = 150; x < 300; ++x) {
            uint8_t* px = quarters.At(x, y);
            px[0] = 0;
            px[2] = 255;  // the right half blue
        }
    }
    panel.LoadFromFile(Q(Jpeg("halves.jpg", quarters)));
    ASSERT_TRUE(WaitIdle(panel));
    EXPECT_EQ(panel.GetImageRect(), QRect(0, 0, 96, 96));
    EXPECT_EQ(DibWidth(panel.DisplayedPicture()), 600);
    EXPECT_TRUE(Near(Centre(panel), 255, 0, 0));

    const QPoint start(50, 50);
    SendMouse(panel, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(panel.cursor().shape(), Qt::PointingHandCursor);
    SendMouse(panel, QEvent::MouseMove, {10, 10}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(panel.ScrollOffset(), QPoint(-40, -40));
    SendMouse(panel, QEvent::MouseMove, {-2000, -2000}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(panel.ScrollOffset(), QPoint(-504, -304));  // the picture's far corner
    EXPECT_TRUE(Near(Centre(panel), 0, 0, 255));
    SendMouse(panel, QEvent::MouseMove, {3000, 3000}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(panel.ScrollOffset(), QPoint(0, 0));
    SendMouse(panel, QEvent::MouseButtonRelease, {3000, 3000}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(panel.cursor().shape(), Qt::ArrowCursor);
    SendMouse(panel, QEvent::MouseMove, {0, 0}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(panel.ScrollOffset(), QPoint(0, 0));  // released: no more dragging

    // Losing the window ends a drag and gives the cursor back.
    SendMouse(panel, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    QEvent deactivate(QEvent::WindowDeactivate);
    QCoreApplication::sendEvent(&panel, &deactivate);
    EXPECT_EQ(panel.cursor().shape(), Qt::ArrowCursor);
    SendMouse(panel, QEvent::MouseMove, {0, 0}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(panel.ScrollOffset(), QPoint(0, 0));
}

TEST_F(ImgPanelTest, FittedPictureCannotBeDragged) {
    TImgPanel panel;
    panel.LoadFromFile(Q(Jpeg("wide.jpg", testjpeg::Gradient(300, 200))));
    ASSERT_TRUE(WaitIdle(panel));
    SendMouse(panel, QEvent::MouseButtonPress, {50, 50}, Qt::LeftButton, Qt::LeftButton);
    SendMouse(panel, QEvent::MouseMove, {10, 10}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(panel.ScrollOffset(), QPoint(0, 0));
    EXPECT_NE(panel.cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(ImgPanelTest, GrowingBeyondTheDecodedSizeReloadsShrinkingDoesNot) {
    TImgPanel panel;
    panel.show();  // a hidden widget gets its resize events only when shown
    watcher.Attach(panel);
    panel.LoadFromFile(Q(Jpeg("wide.jpg", testjpeg::Gradient(600, 400))));
    ASSERT_TRUE(WaitIdle(panel));
    panel.resize(80, 80);
    EXPECT_FALSE(panel.IsWaiting());
    EXPECT_EQ(panel.ClientRect().width(), 76);
    panel.resize(300, 300);
    EXPECT_TRUE(panel.IsWaiting());
    ASSERT_TRUE(WaitIdle(panel));
    EXPECT_EQ(watcher.headers, 2);
    EXPECT_EQ(DibWidth(panel.DisplayedPicture()), 296);
}

TEST_F(ImgPanelTest, ChangingTheScaleOfAShownPictureReloadsIt) {
    TImgPanel panel;
    panel.LoadFromFile(Q(Jpeg("wide.jpg", testjpeg::Gradient(300, 200))));
    ASSERT_TRUE(WaitIdle(panel));
    panel.SetScale(0.5);
    EXPECT_TRUE(panel.IsWaiting());
    ASSERT_TRUE(WaitIdle(panel));
    EXPECT_EQ(panel.GetImageRect(), QRect(0, 0, 96, 96));  // 150 x 100, cut to the space
    EXPECT_EQ(DibWidth(panel.DisplayedPicture()), 150);
}

TEST_F(ImgPanelTest, MarginAndNoFrameChangeThePlace) {
    TImgPanel panel;
    panel.SetFrameType(ftNone);
    panel.LoadFromFile(Q(Jpeg("wide.jpg", testjpeg::Gradient(300, 200))));
    ASSERT_TRUE(WaitIdle(panel));
    EXPECT_EQ(panel.ClientRect(), QRect(0, 17, 100, 66));
    TImgPanel margin;
    margin.SetImageSplit(10);
    margin.LoadFromFile(Q(dir.File("wide.jpg")));
    ASSERT_TRUE(WaitIdle(margin));
    EXPECT_EQ(margin.ClientRect(), QRect(12, 25, 76, 50));
    const QImage shot = margin.grab().toImage();
    EXPECT_EQ(shot.pixelColor(5, 50), margin.palette().color(QPalette::Button));
}

struct BitmapCase {
    const char* what;
    QImage image;
    QColor expected;
};

QImage Filled(QImage::Format format, QColor colour) {
    QImage image(40, 30, format);
    if (format == QImage::Format_Indexed8) {
        image.setColorTable({qRgb(0, 0, 0), colour.rgb()});
        image.fill(1);
    } else if (format == QImage::Format_Mono) {
        image.setColorTable({qRgb(0, 0, 0), colour.rgb()});
        image.fill(1);
    } else {
        image.fill(colour);
    }
    return image;
}

TEST_F(ImgPanelTest, AssignBitmapShowsAnImageOfAnyFormatAtOnce) {
    const BitmapCase cases[] = {
        {"rgb32", Filled(QImage::Format_RGB32, QColor(10, 200, 30)), QColor(10, 200, 30)},
        {"argb32", Filled(QImage::Format_ARGB32, QColor(200, 10, 30)), QColor(200, 10, 30)},
        {"rgb888", Filled(QImage::Format_RGB888, QColor(1, 2, 250)), QColor(1, 2, 250)},
        {"indexed", Filled(QImage::Format_Indexed8, QColor(90, 90, 200)), QColor(90, 90, 200)},
        {"mono", Filled(QImage::Format_Mono, QColor(255, 255, 255)), QColor(255, 255, 255)},
        {"grey", Filled(QImage::Format_Grayscale8, QColor(128, 128, 128)), QColor(128, 128, 128)},
    };
    for (const BitmapCase& c : cases) {
        TImgPanel panel;
        panel.AssignBitmap(c.image);
        EXPECT_TRUE(panel.IsReadyForPaint()) << c.what;
        EXPECT_FALSE(panel.IsLoading());
        EXPECT_EQ(panel.ImageFile(), "");
        EXPECT_EQ(panel.ClientRect(), QRect(30, 35, 40, 30)) << c.what;
        EXPECT_TRUE(Near(Centre(panel), c.expected.red(), c.expected.green(), c.expected.blue(), 2))
            << c.what << " " << Centre(panel).name().toStdString();
    }
    TImgPanel empty;
    empty.AssignBitmap(QImage());
    EXPECT_FALSE(empty.IsReadyForPaint());
    EXPECT_EQ(empty.DisplayedPicture(), nullptr);
}

TEST_F(ImgPanelTest, AssignBitmapReplacesARunningLoad) {
    TImgPanel panel;
    panel.SetDelayLoading(10);
    watcher.Attach(panel);
    watcher.holdAtStrip = 0;
    panel.LoadFromFile(Q(Jpeg("big.jpg", testjpeg::Detailed(1600, 1200, 4))));
    ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.heldNow.load(); }, kWaitMs));
    panel.AssignBitmap(Filled(QImage::Format_RGB32, QColor(0, 0, 0)));
    QTest::qWait(50);
    EXPECT_FALSE(panel.IsLoading());
    EXPECT_TRUE(Near(Centre(panel), 0, 0, 0, 2));
}

TEST_F(ImgPanelTest, DoubleClickIsReported) {
    TImgPanel panel;
    QSignalSpy spy(&panel, &TImgPanelCtrl::OnDblClick);
    SendMouse(panel, QEvent::MouseButtonDblClick, {20, 20}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(spy.count(), 1);
}

TEST_F(ImgPanelTest, DestroyingThePanelDuringADecodeEndsTheThread) {
    auto panel = std::make_unique<TImgPanel>();
    panel->SetDelayLoading(10);
    watcher.Attach(*panel);
    watcher.holdAtStrip = 0;
    panel->LoadFromFile(Q(Jpeg("big.jpg", testjpeg::Detailed(1600, 1200, 4))));
    ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.heldNow.load(); }, kWaitMs));
    panel.reset();
    EXPECT_FALSE(watcher.heldNow);
    QTest::qWait(50);  // a wake-up queued for the dead panel must not reach it
    EXPECT_EQ(watcher.finished, 0);
}

}  // namespace
