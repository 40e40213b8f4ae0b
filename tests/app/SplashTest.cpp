#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QTimer>

#include "app/SplashForm.h"
#include "tests/app/TestApp.h"

namespace {

// Whether the event loop ran while HideSplash waited: a zero timer posted before the call
// fires inside its wait, or not at all until the test runs the loop itself.
bool LoopRanDuringHide(int minimumMs, bool* upMeanwhile = nullptr) {
    bool ran = false;
    QTimer::singleShot(0, [&] {
        ran = true;
        if (upMeanwhile != nullptr) {
            *upMeanwhile = CurrentSplash() != nullptr && CurrentSplash()->isVisible();
        }
    });
    HideSplash(minimumMs);
    const bool ranInside = ran;
    QCoreApplication::processEvents();  // the timer of a call that did not wait
    return ranInside;
}

// The splash stays up, painting, until the minimum time since it was shown has passed; when
// that time is already over it goes at once.
TEST(SplashTest, StaysUpForWhatRemainsOfTheMinimumTime) {
    EnsureApp();
    HideSplash(1500);  // without a splash: nothing to wait for
    ShowSplash();
    ASSERT_NE(CurrentSplash(), nullptr);
    EXPECT_EQ(CurrentSplash()->size(), QSize(521, 317));  // the picture's size
    bool upMeanwhile = false;
    EXPECT_TRUE(LoopRanDuringHide(1000, &upMeanwhile));
    EXPECT_TRUE(upMeanwhile);
    EXPECT_EQ(CurrentSplash(), nullptr);

    ShowSplash();
    while (CurrentSplash()->ShownFor() < 50) {
        QCoreApplication::processEvents();
    }
    EXPECT_FALSE(LoopRanDuringHide(50));
    EXPECT_EQ(CurrentSplash(), nullptr);
}

}  // namespace
