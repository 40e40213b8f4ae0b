#include "app/MainWindow/xGauge.h"

#include <gtest/gtest.h>
#include <QImage>

#include "tests/app/TestApp.h"

namespace {

// The bar is the truncated share of the client width, painted in its colour up to there.
TEST(GaugeTest, BarWidthIsTheTruncatedSharePaintedInTheBarColour) {
    EnsureApp();
    TxGauge gauge;
    ASSERT_EQ(gauge.width(), 150);
    gauge.SetMaxValue(3);
    gauge.SetProgress(1);
    EXPECT_EQ(gauge.CalculatePixelWidth(), 49);
    gauge.SetBorderStyle(gbNone);
    gauge.SetShowText(false);
    gauge.SetBarForeColor(Qt::red);
    gauge.SetBarBackColor(Qt::white);
    QImage image(gauge.size(), QImage::Format_RGB32);
    gauge.render(&image);
    int red = 0;
    for (int x = 0; x < image.width(); ++x) {
        red += image.pixelColor(x, image.height() / 2) == QColor(Qt::red);
    }
    EXPECT_EQ(red, 49);
    EXPECT_EQ(image.pixelColor(image.width() - 1, image.height() / 2), QColor(Qt::white));
    gauge.SetProgress(3);
    EXPECT_EQ(gauge.CalculatePixelWidth(), 150);
    gauge.SetMaxValue(0);  // equal bounds: a full bar, no division by zero
    EXPECT_EQ(gauge.CalculatePixelWidth(), 150);
}

}  // namespace
