// The picture panel: fitting, the number box and what gets painted where.

#include <gtest/gtest.h>
#include <QImage>
#include <cstring>

#include "SlideFixtures.h"
#include "app/SlideShow/PicPanel.h"
#include "app/SlideShow/SlideGeometry.h"

namespace {

UniqueDib SolidPicture(int width, int height, QRgb color) {
    UniqueDib dib(DibCreate(width, height, 24));
    for (int y = 0; y < height; ++y) {
        uint8_t* px = DibBits(dib.get()) + size_t(y) * DibRowBytes(dib.get());
        for (int x = 0; x < width; ++x, px += 3) {
            px[0] = static_cast<uint8_t>(qBlue(color));
            px[1] = static_cast<uint8_t>(qGreen(color));
            px[2] = static_cast<uint8_t>(qRed(color));
        }
    }
    return dib;
}

class PicPanelTest : public ::testing::Test {
  protected:
    // Red and blue pictures by turns.
    void Fill(int count, int width, int height) {
        for (int i = 0; i < count; ++i) {
            pictures.push_back(SolidPicture(width, height, i % 2 == 0 ? kRed : kBlue));
        }
    }
    QRgb Pixel(int x, int y) { return panel.grab().toImage().pixel(x, y); }

    static constexpr QRgb kRed = qRgb(200, 0, 0);
    static constexpr QRgb kBlue = qRgb(0, 0, 200);
    QApplication& app = EnsureApp();
    DibList pictures;
    TPicPanel panel;
};

}  // namespace

// Without pictures, or past the last one, only the background shows.
TEST_F(PicPanelTest, PaintsTheCurrentPictureCentredAndFittedAtItsScaleOrOnlyTheBackground) {
    const QRgb green = qRgb(0, 200, 0);
    panel.resize(200, 150);
    panel.BackgroundColor = QColor(green);
    panel.SetImages(&pictures);
    EXPECT_TRUE(panel.StatRect.isEmpty());
    EXPECT_EQ(Pixel(100, 75), green);
    Fill(2, 40, 30);
    panel.SetCurImage(1);
    EXPECT_EQ(panel.ImageRect, QRect(80, 60, 40, 30));
    const QImage shot = panel.grab().toImage();
    EXPECT_EQ(shot.pixel(100, 75), kBlue);
    EXPECT_EQ(shot.pixel(5, 5), green);
    EXPECT_EQ(shot.pixel(79, 75), green);
    // A replaced picture is redrawn, not taken from the old frame.
    pictures[1] = SolidPicture(40, 30, kRed);
    panel.UpdateImage();
    EXPECT_EQ(Pixel(100, 75), kRed);
    // Decoded at 1/2, the picture is shown at twice its decoded size.
    panel.Scale = 2;
    panel.CalcImageRect();
    EXPECT_EQ(panel.ImageRect, QRect(60, 45, 80, 60));
    panel.SetCurImage(2);
    EXPECT_EQ(panel.CurImage, -1);
    EXPECT_EQ(Pixel(100, 75), green);
    panel.SetImages(nullptr);
    EXPECT_EQ(panel.CurImage, -1);
}

TEST_F(PicPanelTest, FramesStayTrueAcrossResizesAndReplacedPictures) {
    Fill(2, 400, 300);
    panel.resize(400, 300);
    panel.SetImages(&pictures);
    panel.SetCurImage(1);
    panel.resize(200, 150);  // stale frames: their memory serves the new size's frames
    panel.SetCurImage(0);
    EXPECT_EQ(Pixel(100, 75), kRed);
    panel.resize(400, 300);
    EXPECT_EQ(Pixel(200, 150), kRed);
    panel.SetCurImage(1);
    EXPECT_EQ(Pixel(200, 150), kBlue);
    panel.SetCurImage(0);
    // Painted over in place, as a new picture at a freed one's address would be.
    const UniqueDib blue = SolidPicture(400, 300, kBlue);
    std::memcpy(DibBits(pictures[0].get()), DibBits(blue.get()), DibRowBytes(blue.get()) * 300);
    panel.ForgetFrames();
    panel.SetCurImage(0);
    EXPECT_EQ(Pixel(200, 150), kBlue);
    EXPECT_EQ(Pixel(0, 0), kBlue);
}

TEST_F(PicPanelTest, NumberBoxSitsInTheCornerWithDarkTextOnWhite) {
    Fill(12, 40, 30);
    panel.resize(400, 300);
    panel.SetImages(&pictures);
    panel.SetCurImage(2);
    EXPECT_EQ(panel.StatRect,
              slideshow::StatBoxRect(panel.rect(),
                                     panel.fontMetrics().size(Qt::TextSingleLine, "8888 / ")));
    const QImage shot = panel.grab().toImage();
    bool white = false;
    bool dark = false;
    const QRect inside = panel.StatRect.adjusted(1, 1, -1, -1);
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            white |= shot.pixel(x, y) == qRgb(255, 255, 255);
            dark |= qGray(shot.pixel(x, y)) < 80;
        }
    }
    EXPECT_TRUE(white);
    EXPECT_TRUE(dark);
}
