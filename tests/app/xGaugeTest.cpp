#include "app/xGauge.h"

#include <QApplication>
#include <QImage>
#include <gtest/gtest.h>

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

class GaugeTest : public ::testing::Test {
protected:
    void SetUp() override { App(); }
};

TEST_F(GaugeTest, BarWidthIsTheTruncatedShareOfTheClientWidth) {
    TxGauge gauge;
    ASSERT_EQ(gauge.width(), 150);
    gauge.SetMaxValue(3);
    gauge.SetProgress(1);
    EXPECT_NEAR(gauge.CalculatePercentDone(), 33.33f, 0.01f);
    EXPECT_EQ(gauge.CalculatePixelWidth(), 49);

    gauge.SetProgress(3);
    EXPECT_EQ(gauge.CalculatePixelWidth(), 150);
}

TEST_F(GaugeTest, EqualBoundsMeanAFullBar) {
    TxGauge gauge;
    gauge.SetMaxValue(0);
    EXPECT_EQ(gauge.CalculatePercentDone(), 100.0f);
    EXPECT_EQ(gauge.CalculatePixelWidth(), 150);
}

TEST_F(GaugeTest, BoundsNeverCrossAndProgressFollowsIntoTheRange) {
    TxGauge gauge;
    gauge.SetProgress(500);
    EXPECT_EQ(gauge.Progress(), 100);

    gauge.SetMinValue(200);  // above the maximum: clamped to it
    EXPECT_EQ(gauge.MinValue(), 100);
    EXPECT_EQ(gauge.Progress(), 100);

    gauge.SetMinValue(10);
    gauge.SetMaxValue(5);  // below the minimum: clamped to it
    EXPECT_EQ(gauge.MaxValue(), 10);
    EXPECT_EQ(gauge.Progress(), 10);

    gauge.SetProgress(-4);
    EXPECT_EQ(gauge.Progress(), 10);
}

// Renders the gauge and counts the pixels of one colour along its middle row.
int CountInMiddleRow(TxGauge& gauge, const QColor& colour) {
    QImage image(gauge.size(), QImage::Format_RGB32);
    gauge.render(&image);
    int count = 0;
    for (int x = 0; x < image.width(); ++x) {
        count += image.pixelColor(x, image.height() / 2) == colour;
    }
    return count;
}

TEST_F(GaugeTest, PaintsTheBarInItsColourUpToTheBarWidth) {
    TxGauge gauge;
    gauge.SetBorderStyle(gbNone);
    gauge.SetShowText(false);
    gauge.SetBarForeColor(Qt::red);
    gauge.SetBarBackColor(Qt::white);
    gauge.SetMaxValue(3);
    gauge.SetProgress(1);
    EXPECT_EQ(CountInMiddleRow(gauge, Qt::red), 49);
    EXPECT_EQ(CountInMiddleRow(gauge, Qt::white), 101);
}

TEST_F(GaugeTest, TextIsDrawnOnlyWhenShown) {
    TxGauge gauge;
    gauge.SetBorderStyle(gbNone);
    gauge.SetBarForeColor(Qt::white);
    gauge.SetBarBackColor(Qt::white);
    gauge.SetTextForeColor(Qt::black);
    gauge.SetTextBackColor(Qt::black);
    gauge.SetProgress(50);
    QImage withText(gauge.size(), QImage::Format_RGB32);
    gauge.render(&withText);
    gauge.SetShowText(false);
    QImage without(gauge.size(), QImage::Format_RGB32);
    gauge.render(&without);

    QImage blank(gauge.size(), QImage::Format_RGB32);
    blank.fill(Qt::white);
    EXPECT_EQ(without, blank);
    EXPECT_NE(withText, blank);
}

}  // namespace
