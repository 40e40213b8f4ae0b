// The image panel showing a WIC file on the offscreen platform: the decoder comes from the
// panel's factory, the picture is drawn grey first and then in colour.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <memory>
#include <mutex>
#include <vector>

#include "Components/ImgPanel/ImgPanel.h"
#include "tests/Components/ImgPanel/QtTestApp.h"
#include "tests/Components/ImgPanel/TestJpeg.h"
#include "tests/Components/ImgPanel/WicTestEncoder.h"

namespace {

const auto* const kQtApp = ::testing::AddGlobalTestEnvironment(new QtTestApp("wic_panel_tests"));

TEST(WicPanel, ShowsTheFileGreyFirstAndThenInColour) {
    testjpeg::ScratchDir dir;
    const int width = 120, height = 80;  // larger than the panel: reduced while decoded
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    for (size_t i = 0; i < rgb.size(); i += 3) {
        rgb[i] = 200, rgb[i + 1] = 60, rgb[i + 2] = 40;
    }
    const std::string path = dir.File("red.wic");
    ASSERT_TRUE(wictest::WriteFile(
        path, wictest::EncodeWic(wictest::TransformPicture(rgb, width, height, 3))));

    std::mutex mutex;
    std::vector<bool> stripsGrey;  // per reported strip, in order
    TImgPanel panel;
    panel.SetOnProgressLoading([&](TImgCtrl*, PackedDib dib, int from, int to, TImgEvent e) {
        if (e == TImgEvent::RowsDecoded) {
            std::lock_guard<std::mutex> lock(mutex);
            stripsGrey.push_back(wictest::RowsAreGrey(dib, from, to));
        }
    });
    panel.LoadFromFile(QString::fromStdString(path));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !panel.IsWaiting() && !panel.IsLoading(); }, 20000));

    ASSERT_TRUE(panel.IsReadyForPaint());
    EXPECT_FALSE(panel.ErrorState());
    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_GE(stripsGrey.size(), 2u);
    EXPECT_TRUE(stripsGrey.front());
    EXPECT_FALSE(stripsGrey.back());
    const QColor centre = panel.grab().toImage().pixelColor(panel.ClientRect().center());
    EXPECT_NEAR(centre.red(), 200, 3);
    EXPECT_NEAR(centre.green(), 60, 3);
    EXPECT_NEAR(centre.blue(), 40, 3);
}

}  // namespace
