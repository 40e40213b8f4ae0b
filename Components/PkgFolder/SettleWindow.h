#pragma once
// The settle window of a directory watch: the first change of a burst opens it, and one
// report is due `delay` ms later; changes inside the window fold into that report without
// moving it, so a steady stream of changes still reports every `delay` ms. Times are
// milliseconds of a monotonic clock handed in by the caller, so the rules can be checked
// with made-up times.

#include <cstdint>

class SettleWindow {
  public:
    explicit SettleWindow(std::int64_t delayMs) : delayMs_(delayMs) {}

    // A change at `nowMs`: opens the window unless it is open already.
    void Change(std::int64_t nowMs);
    bool IsOpen() const { return open_; }
    // Milliseconds until the report is due (0 when overdue), -1 while no window is open.
    int TimeoutMs(std::int64_t nowMs) const;
    // True once when the open window has run out at `nowMs`; the window is closed then.
    bool TakeDue(std::int64_t nowMs);

  private:
    std::int64_t delayMs_;
    std::int64_t dueMs_ = 0;
    bool open_ = false;
};
