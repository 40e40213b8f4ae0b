#pragma once
// The one QApplication of a widget test program, made on first use (offscreen platform).

#include <QApplication>

namespace platform_test {

inline void EnsureApplication() {
    static int argc = 1;
    static char name[] = "platform_widget_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* application =
        QApplication::instance() == nullptr ? new QApplication(argc, argv) : nullptr;
    (void)application;
}

}  // namespace platform_test
