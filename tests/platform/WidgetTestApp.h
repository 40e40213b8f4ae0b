#pragma once
// The one QApplication of a widget test program, made on first use (offscreen platform).

namespace platform_test {

void EnsureApplication();

}  // namespace platform_test
