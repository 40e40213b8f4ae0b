#pragma once
// Shows an override cursor (the wait cursor by default) for the guard's lifetime, so that
// every way out of a long operation, an exception included, puts the cursor back. Guards
// nest. Without a QGuiApplication (a test of non-visual code) the guard does nothing.
// UI thread only.

#include <Qt>

namespace platform {

class CursorGuard {
  public:
    explicit CursorGuard(Qt::CursorShape shape = Qt::WaitCursor);
    ~CursorGuard();
    CursorGuard(const CursorGuard&) = delete;
    CursorGuard& operator=(const CursorGuard&) = delete;

    // Puts the previous cursor back now; the destructor then does nothing.
    void Restore();

  private:
    bool active_ = false;
};

}  // namespace platform
