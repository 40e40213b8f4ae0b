// The picture panel: fitting, the number box and what gets painted where.

#include <gtest/gtest.h>
#include <QImage>

#include "SlideFixtures.h"
#include "app/SlideShow/PicPanel.h"
#include "app/SlideShow/SlideGeometry.h"

namespace {

UniqueDib SolidPicture(int width, int height, QRgb color) {
    UniqueDib dib(DibCreate(width, height, 24));
    uint8_t* bits = DibBits(dib.get());
    const uint32_t rowBytes = DibRowBytes(dib.get());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* px = bits + size_t(y) * rowBytes + size_t(x) * 3;
            px[0] = static_cast<uint8_t>(qBlue(color));
            px[1] = static_cast<uint8_t>(qGreen(color));
            px[2] = static_cast<uint8_t>(qRed(color));
        }
    }
    return dib;
}

class PicPanelTest : public ::testing::Test {
  protected:
    void Fill(int count, int width, int height) {
        for (int i = 0; i < count; ++i) {
            pictures.push_back(
                SolidPicture(width, height, i % 2 == 0 ? qRgb(200, 0, 0) : qRgb(0, 0, 200)));
        }
    }

    QApplication& app = slidetest::App();
    DibList pictures;
    TPicPanel panel;
};

}  // namespace

TEST_F(PicPanelTest, ScaledPictureIsFittedToTheWiderPanelSide) {
    Fill(1, 160, 120);
    panel.resize(1000, 800);
    panel.Scale = 8;
    panel.SetImages(&pictures);
    panel.CalcImageRect();
    EXPECT_EQ(panel.ImageRect, QRect(0, 25, 1000, 750));
}

TEST_F(PicPanelTest, NumberBoxSitsInTheCornerAndReadsPositionOfCount) {
    Fill(12, 40, 30);
    panel.resize(400, 300);
    panel.SetImages(&pictures);
    panel.SetCurImage(2);
    const QSize text = panel.fontMetrics().size(Qt::TextSingleLine, "8888 / ");
    EXPECT_EQ(panel.StatRect, QRect(400 - text.width() - 8, 300 - text.height() - 4,
                                    text.width() + 8, text.height() + 4));
    EXPECT_EQ(slideshow::StatText(panel.CurImage, 12), "3 / 12");
    // Dark text on a white cell inside the box.
    const QImage shot = panel.grab().toImage();
    bool white = false;
    bool dark = false;
    for (int y = panel.StatRect.top() + 1; y < panel.StatRect.bottom(); ++y) {
        for (int x = panel.StatRect.left() + 1; x < panel.StatRect.right(); ++x) {
            white |= shot.pixel(x, y) == qRgb(255, 255, 255);
            dark |= qGray(shot.pixel(x, y)) < 80;
        }
    }
    EXPECT_TRUE(white);
    EXPECT_TRUE(dark);
}

TEST_F(PicPanelTest, PaintsThePictureCentredOnTheBackground) {
    Fill(2, 40, 30);
    panel.resize(200, 150);
    panel.BackgroundColor = QColor(0, 200, 0);
    panel.SetImages(&pictures);
    panel.SetCurImage(1);
    const QImage shot = panel.grab().toImage();
    EXPECT_EQ(panel.ImageRect, QRect(80, 60, 40, 30));
    EXPECT_EQ(shot.pixel(100, 75), qRgb(0, 0, 200));
    EXPECT_EQ(shot.pixel(5, 5), qRgb(0, 200, 0));
    EXPECT_EQ(shot.pixel(79, 75), qRgb(0, 200, 0));
}

TEST_F(PicPanelTest, EmptyListOrIndexPastTheEndShowsOnlyBackground) {
    panel.resize(120, 90);
    panel.BackgroundColor = QColor(10, 20, 30);
    panel.SetImages(&pictures);
    EXPECT_TRUE(panel.StatRect.isEmpty());
    EXPECT_EQ(panel.grab().toImage().pixel(60, 45), qRgb(10, 20, 30));

    Fill(2, 40, 30);
    panel.SetCurImage(2);
    EXPECT_EQ(panel.CurImage, -1);
    EXPECT_TRUE(panel.ImageRect.isEmpty());
    const QImage shot = panel.grab().toImage();
    EXPECT_EQ(shot.pixel(60, 45), qRgb(10, 20, 30));
    EXPECT_EQ(shot.pixel(118, 88), qRgb(10, 20, 30));

    panel.SetImages(nullptr);
    EXPECT_EQ(panel.CurImage, -1);
}

TEST_F(PicPanelTest, ReplacedPicturesAreRedrawnNotTakenFromOldFrames) {
    Fill(1, 40, 30);
    panel.resize(200, 150);
    panel.SetImages(&pictures);
    panel.SetCurImage(0);
    EXPECT_EQ(panel.grab().toImage().pixel(100, 75), qRgb(200, 0, 0));
    pictures[0] = SolidPicture(40, 30, qRgb(0, 0, 200));
    panel.UpdateImage();
    EXPECT_EQ(panel.grab().toImage().pixel(100, 75), qRgb(0, 0, 200));
}
