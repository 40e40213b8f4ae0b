#include "Components/PkgFolder/SettleWindow.h"

#include <algorithm>
#include <limits>

void SettleWindow::Change(std::int64_t nowMs) {
    if (open_) {
        return;
    }
    open_ = true;
    dueMs_ = nowMs + delayMs_;
}

int SettleWindow::TimeoutMs(std::int64_t nowMs) const {
    if (!open_) {
        return -1;
    }
    const std::int64_t left = std::max<std::int64_t>(dueMs_ - nowMs, 0);
    return static_cast<int>(std::min<std::int64_t>(left, std::numeric_limits<int>::max()));
}

bool SettleWindow::TakeDue(std::int64_t nowMs) {
    if (!open_ || nowMs < dueMs_) {
        return false;
    }
    open_ = false;
    return true;
}
