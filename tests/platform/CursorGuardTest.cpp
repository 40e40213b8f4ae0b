#include "platform/CursorGuard.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QCursor>

#include <stdexcept>

#include "WidgetTestApp.h"

namespace {

using platform::CursorGuard;

Qt::CursorShape CurrentOverride() {
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor != nullptr ? cursor->shape() : Qt::CustomCursor;  // CustomCursor: none
}

TEST(CursorGuardTest, EveryWayOutRestoresTheCursor) {
    platform_test::EnsureApplication();
    ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
    {
        CursorGuard wait;
        EXPECT_EQ(CurrentOverride(), Qt::WaitCursor);
        {
            CursorGuard busy(Qt::BusyCursor);
            EXPECT_EQ(CurrentOverride(), Qt::BusyCursor);
        }
        EXPECT_EQ(CurrentOverride(), Qt::WaitCursor);
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    try {
        CursorGuard wait;
        throw std::runtime_error("interrupted");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(CursorGuardTest, AnEarlyRestoreIsNotRepeated) {
    platform_test::EnsureApplication();
    CursorGuard outer;
    {
        CursorGuard inner(Qt::BusyCursor);
        inner.Restore();
        EXPECT_EQ(CurrentOverride(), Qt::WaitCursor);
        inner.Restore();
        EXPECT_EQ(CurrentOverride(), Qt::WaitCursor);
    }
    EXPECT_EQ(CurrentOverride(), Qt::WaitCursor);  // the inner destructor took nothing more
    outer.Restore();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

}  // namespace
