#include "platform/CursorGuard.h"

#include <gtest/gtest.h>

#include <QCursor>
#include <stdexcept>

#include "WidgetTestApp.h"

namespace {

using platform::CursorGuard;

Qt::CursorShape CurrentOverride() {
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor != nullptr ? cursor->shape() : Qt::CustomCursor;  // CustomCursor: none
}

TEST(CursorGuardTest, EveryWayOutRestoresTheCursorOnce) {
    platform_test::EnsureApplication();
    {
        CursorGuard wait;
        {
            CursorGuard busy(Qt::BusyCursor);
            EXPECT_EQ(CurrentOverride(), Qt::BusyCursor);
            busy.Restore();
            busy.Restore();
            EXPECT_EQ(CurrentOverride(), Qt::WaitCursor);
        }
        EXPECT_EQ(CurrentOverride(), Qt::WaitCursor);  // the destructor took nothing more
    }
    EXPECT_EQ(CurrentOverride(), Qt::CustomCursor);
    try {
        CursorGuard wait;
        throw std::runtime_error("interrupted");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(CurrentOverride(), Qt::CustomCursor);
}

}  // namespace
