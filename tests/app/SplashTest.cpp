#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QTest>

#include "app/SplashForm.h"
#include "tests/app/TestApp.h"

namespace {

// Timers may be a few milliseconds late, never early by more than the clock's grain; the
// upper bounds are loose so a loaded machine does not fail them.
constexpr qint64 kGrain = 10;

class SplashTest : public ::testing::Test {
  protected:
    void SetUp() override { EnsureApp(); }
};

TEST_F(SplashTest, StaysTheMinimumTimeThenGoes) {
    HideSplash(1500);  // without a splash: nothing to wait for
    ShowSplash();
    ASSERT_NE(CurrentSplash(), nullptr);
    EXPECT_TRUE(CurrentSplash()->isVisible());
    EXPECT_EQ(CurrentSplash()->size(), QSize(521, 317));  // the picture's size
    QElapsedTimer clock;
    clock.start();
    const qint64 before = CurrentSplash()->ShownFor();
    HideSplash(1500);
    EXPECT_GE(before + clock.elapsed(), 1500 - kGrain);
    EXPECT_LT(clock.elapsed(), 1500 + 2000);
    EXPECT_EQ(CurrentSplash(), nullptr);
}

TEST_F(SplashTest, WaitsOnlyWhatRemains) {
    ShowSplash();
    QTest::qWait(400);
    QElapsedTimer clock;
    clock.start();
    HideSplash(1500);
    EXPECT_GE(clock.elapsed(), 1100 - 400 - kGrain);  // at least the rest, qWait may overrun
    EXPECT_LT(clock.elapsed(), 1100 + 2000);
    EXPECT_EQ(CurrentSplash(), nullptr);

    ShowSplash();
    QTest::qWait(100);
    clock.restart();
    HideSplash(50);  // the minimum has passed: at once
    EXPECT_LT(clock.elapsed(), 1000);
}

}  // namespace
