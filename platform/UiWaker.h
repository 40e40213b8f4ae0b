#pragma once
// Wakes the UI thread from a worker thread with a posted event that carries nothing.
//
// Workers hand their results over through a std::mutex-guarded queue of their own and only
// post a wake-up here; the UI thread then drains the queue. Data never travels inside a
// Qt event, whose cross-thread ordering rests on futexes that ThreadSanitizer cannot see.
// Owners keep the waker as a member that outlives the worker thread (which they join), so
// a wake-up is never posted to a destroyed object; wake-ups still queued when the waker is
// destroyed are discarded by Qt.

#include <functional>

#include <QEvent>
#include <QObject>

namespace platform {

class UiWaker : public QObject {
  public:
    // onWake runs on the thread this object lives on (the UI thread).
    explicit UiWaker(std::function<void()> onWake);

    // Callable from any thread.
    void Post();

  protected:
    void customEvent(QEvent* event) override;

  private:
    static QEvent::Type WakeEventType();

    const std::function<void()> onWake_;
};

}  // namespace platform
